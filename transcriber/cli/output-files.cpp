#include "output-files.h"

#include "diagnostics.h"
#include "segment-printer.h"

#include <cstdio>
#include <iostream>

fout_factory::fout_factory(const std::string & fname_out, const std::string & fname_inp, whisper_params & params)
    : path(fname_out.empty() ? fname_inp : fname_out), base_length(path.size()), to_stdout(path == "-"),
      segment_printer(to_stdout ? nullptr : whisper_print_segment_callback) {
    if (to_stdout) {
        params.print_progress = false;
    }
}

bool fout_factory::open(const char * ext, const char * writer_name) {
    stream.flush();
    stream.rdbuf(nullptr);
    if (file.is_open()) {
        file.close();
    }
    stream.clear();

    if (to_stdout) {
        if (stdout_used) {
            fprintf(stderr, "warning: Not appending multiple file formats to stdout\n");
            return false;
        }
        stdout_used = true;
        stream.rdbuf(std::cout.rdbuf());
        return true;
    }

    path.resize(base_length);
    path += ext;
    if (!file.open(path, std::ios::out | std::ios::trunc | std::ios::binary)) {
        fprintf(stderr, "%s: failed to open '%s' for writing\n", "open", path.c_str());
        open_failed = true;
        return false;
    }
    stream.rdbuf(&file);
    diag_info("%s: saving output to '%s'\n", writer_name, path.c_str());
    return true;
}
