#include "main_thread.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace lv::desktop {

bool is_main_thread() {
    // The initial thread's id is the process id.
    return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}

}  // namespace lv::desktop
