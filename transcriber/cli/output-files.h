// The per-input output opener: names each transcript file (the output base plus the
// format's extension), opens it, or sends the one permitted format to standard output.
#pragma once

#include "whisper-params.h"
#include "whisper.h"

#include <cstddef>
#include <fstream>
#include <ostream>
#include <string>

struct fout_factory {
    std::string path;
    size_t base_length;
    bool to_stdout;
    bool stdout_used = false;
    bool open_failed = false;
    whisper_new_segment_callback segment_printer;
    std::filebuf file;
    // Writes to `file`, or to the process's own standard output (through std::cout, which
    // shares C stdio's stream) so that its bytes stay in order with the live lines.
    std::ostream stream{nullptr};

    // `fname_out`: the output base as given (may be empty, then the input path is the base).
    // With the base "-" no live printer is chosen and `print_progress` is cleared for good.
    fout_factory(const std::string & fname_out, const std::string & fname_inp, whisper_params & params);

    // Makes `stream` ready for one format; false when that format is to be skipped.
    bool open(const char * ext, const char * writer_name);
};
