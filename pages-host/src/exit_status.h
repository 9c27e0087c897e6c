// Exit statuses of LumivanePages; each tells the host which step failed. 1 is never used.
#pragma once

namespace pages {

enum exit_status : int {
  status_written = 0,         // output written
  status_usage = 2,           // not exactly three arguments
  status_input_refused = 3,   // input unreadable or over 64 MiB
  status_not_utf8 = 4,        // script unreadable or not UTF-8, or input not UTF-8
  status_exception = 5,       // a script exception reached the host
  status_bad_result = 6,      // the entry function did not return 1 to 256 MiB of typed array
  status_write_failed = 7,    // the output file could not be written
};

// Bounds on what a run holds in memory.
inline constexpr unsigned long max_input_bytes = 64ul << 20;
inline constexpr unsigned long max_output_bytes = 256ul << 20;

}  // namespace pages
