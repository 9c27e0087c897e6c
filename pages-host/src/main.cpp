// LumivanePages SCRIPT INPUT OUTPUT
//
// Runs the host's Pages bundle over a JSON description of a document and writes the
// document it returns. The exit status tells the host which step failed.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "exit_status.h"
#include "file_io.h"
#include "script_host.h"
#include "utf.h"

namespace {

constexpr rlim_t cpu_seconds = 120;

const char* const input_refused_message =
    "O documento ultrapassa o limite de preparação do Pages.\n";

// Reads a whole file as UTF-8 text; false when it cannot be read or is not UTF-8.
bool read_utf8_file(const char* path, size_t max_bytes, std::u16string& text) {
  std::string bytes;
  if (pages::read_file_capped(path, max_bytes, bytes) != pages::read_result::ok) return false;
  return pages::utf8_to_utf16(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                              text);
}

int run(int argc, char** argv) {
  if (argc != 4) return pages::status_usage;

  // The limit bounds runaway scripts without a watchdog; its result is deliberately not
  // checked, as a lower inherited hard limit still bounds the run.
  const rlimit cpu{cpu_seconds, cpu_seconds};
  setrlimit(RLIMIT_CPU, &cpu);
  // A file-size limit then shows as a failed write (status 7) instead of a kill that
  // would leave a temporary file behind.
  std::signal(SIGXFSZ, SIG_IGN);

  const char* script_path = argv[1];
  const char* input_path = argv[2];
  const char* output_path = argv[3];

  std::u16string input_json;
  {
    std::string input_bytes;
    if (pages::read_file_capped(input_path, pages::max_input_bytes, input_bytes) !=
        pages::read_result::ok) {
      std::fputs(input_refused_message, stderr);
      return pages::status_input_refused;
    }
    if (!pages::utf8_to_utf16(reinterpret_cast<const unsigned char*>(input_bytes.data()),
                              input_bytes.size(), input_json))
      return pages::status_not_utf8;
  }
  std::u16string script;
  if (!read_utf8_file(script_path, static_cast<size_t>(-1) / 2, script))
    return pages::status_not_utf8;

  pages::bundle_run outcome = pages::run_bundle(script, input_json, script_path, output_path);
  if (outcome.status == pages::status_exception) {
    const std::string line = "Pages: " + outcome.exception_text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
  return outcome.status;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
