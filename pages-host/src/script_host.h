// One run of a Pages bundle in a fresh script context.
#pragma once

#include <string>

#include "exit_status.h"
#include "js_handles.h"

namespace pages {

struct bundle_run {
  exit_status status = status_written;
  std::string exception_text;  // with status_exception: the latest exception's string form
};

// Defines the natives and the prelude, evaluates `script`, publishes `input_json` as
// `__inputJson`, calls the entry function and writes its typed array to `output_path`.
bundle_run run_bundle(const js_string& script, const js_string& input_json,
                      const char* script_path, const char* output_path);

}  // namespace pages
