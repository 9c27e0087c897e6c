// LumivanePages SCRIPT INPUT OUTPUT
//
// Runs the host's Pages bundle over a JSON description of a document and writes the
// document it returns. The exit status tells the host which step failed.
#include <csignal>
#include <cstdio>
#include <string>

#include "exit_status.h"
#include "js_handles.h"
#include "js_text.h"
#include "run_limits.h"
#include "script_host.h"

namespace {

constexpr size_t no_size_limit = static_cast<size_t>(-1) / 2;

const char* const input_refused_message =
    "O documento ultrapassa o limite de preparação do Pages.\n";

int run(int argc, char** argv) {
  if (argc != 4) return pages::status_usage;

  // Runaway and sleeping scripts are bounded before anything is read, without a watchdog.
  pages::limit_run_time();
  // Before the first text is handed to the engine.
  pages::start_engine();
  // A file-size limit then shows as a failed write (status 7) instead of a kill that
  // would leave a temporary file behind.
  std::signal(SIGXFSZ, SIG_IGN);

  const char* script_path = argv[1];
  const char* input_path = argv[2];
  const char* output_path = argv[3];

  pages::js_string input_json;
  switch (pages::read_utf8_text(input_path, pages::max_input_bytes, input_json)) {
    case pages::text_result::ok: break;
    case pages::text_result::unreadable:
    case pages::text_result::too_large:
      std::fputs(input_refused_message, stderr);
      return pages::status_input_refused;
    case pages::text_result::not_utf8: return pages::status_not_utf8;
  }
  pages::js_string script;
  if (pages::read_utf8_text(script_path, no_size_limit, script) != pages::text_result::ok)
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
