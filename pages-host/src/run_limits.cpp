#include "run_limits.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <JavaScriptCore/JavaScript.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace pages {

namespace {

constexpr rlim_t cpu_seconds = 120;
constexpr rlim_t wall_clock_factor = 5;
constexpr rlim_t script_memory_bytes = rlim_t{4} << 30;
// Headroom below which an engine abort is taken for exhausted memory: the allocations
// the engine cannot fail gracefully are far smaller than this.
constexpr size_t exhausted_headroom_bytes = size_t{64} << 20;

// Sets soft and hard limit alike to `wanted`, or to the inherited hard limit if lower.
// Returns the limit in force.
rlim_t set_limit(int resource, rlim_t wanted) {
  rlimit current{};
  if (getrlimit(resource, &current) == 0 && current.rlim_max != RLIM_INFINITY)
    wanted = std::min(wanted, current.rlim_max);
  const rlimit limit{wanted, wanted};
  // A failure leaves the inherited limit, which bounds the run all the same.
  setrlimit(resource, &limit);
  return getrlimit(resource, &current) == 0 ? current.rlim_max : wanted;
}

// Arms a one-shot timer on `clock` that sends SIGXCPU after `nanoseconds`.
void arm_sigxcpu_timer(clockid_t clock, long long nanoseconds) {
  sigevent event{};
  event.sigev_notify = SIGEV_SIGNAL;
  event.sigev_signo = SIGXCPU;
  timer_t timer{};
  if (timer_create(clock, &event, &timer) != 0) return;
  itimerspec when{};
  when.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
  when.it_value.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
  timer_settime(timer, 0, &when, nullptr);
}

// The process's data size in bytes, as the kernel counts it against RLIMIT_DATA.
rlim_t data_size() {
  FILE* status = std::fopen("/proc/self/status", "re");
  if (!status) return 0;
  char line[256];
  unsigned long long kib = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmData: %llu kB", &kib) == 1) break;
  std::fclose(status);
  return static_cast<rlim_t>(kib) << 10;
}

// The engine ends with one of these when an allocation it cannot fail gracefully fails.
// With memory exhausted that is the script's doing, and the run ends as at a time limit;
// any other abort goes on as it was.
void on_engine_abort(int signal) {
  void* probe = mmap(nullptr, exhausted_headroom_bytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (probe == MAP_FAILED) {
    std::signal(SIGXCPU, SIG_DFL);
    raise(SIGXCPU);
  } else {
    munmap(probe, exhausted_headroom_bytes);
  }
  raise(signal);  // the handler was reset, so this ends the process as before
}

}  // namespace

void limit_run_time() {
  const rlim_t seconds = set_limit(RLIMIT_CPU, cpu_seconds);
  if (seconds == RLIM_INFINITY) return;
  const long long limit_ns = static_cast<long long>(seconds) * 1'000'000'000;
  // The kernel checks CPU time once per tick; a second ahead of the limit is ample.
  arm_sigxcpu_timer(CLOCK_PROCESS_CPUTIME_ID, limit_ns - std::min(limit_ns / 2, 1'000'000'000LL));
  arm_sigxcpu_timer(CLOCK_MONOTONIC, limit_ns * static_cast<long long>(wall_clock_factor));
}

void start_engine() {
  setenv("GIGACAGE_ENABLED", "0", 1);
  // The engine announces the choice on standard error, which belongs to the script's
  // exception report; the message is kept from it.
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
  JSContextGroupRelease(JSContextGroupCreate());
  if (saved >= 0 && null >= 0) dup2(saved, STDERR_FILENO);
  if (null >= 0) close(null);
  if (saved >= 0) close(saved);
}

void limit_script_memory() {
  set_limit(RLIMIT_DATA, data_size() + script_memory_bytes);
  struct sigaction action {};
  action.sa_handler = on_engine_abort;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGABRT, SIGILL, SIGTRAP}) sigaction(signal, &action, nullptr);
}

}  // namespace pages
