// libFuzzer target over the command line: the argument parser and the response-file reader.
// Input layout: argument bytes separated by NUL, then optionally 0x01 and the bytes of a
// response file, then optionally 0x01 and a value for WHISPER_ARG_DEVICE. The arguments are
// parsed as given, and the response file is expanded and parsed as "@file" would be. Exits
// of the parser come back here as an exception, so one process runs every input.
#include "full-params.h"
#include "response-file.h"
#include "whisper-params.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

struct parser_exit {
    int status;
};

// One memory file reused for every response file, reached by its /proc path.
struct response_file {
    int fd = memfd_create("response", 0);
    std::string path = "@/proc/self/fd/" + std::to_string(fd);

    void fill(const uint8_t * data, size_t size) {
        if (ftruncate(fd, 0) != 0 || (size > 0 && pwrite(fd, data, size, 0) != (ssize_t) size)) {
            abort();
        }
    }
};

std::vector<std::string> split(const uint8_t * data, size_t size, char sep) {
    std::vector<std::string> parts;
    std::string cur;
    for (size_t i = 0; i < size; ++i) {
        if (char(data[i]) == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(char(data[i]));
        }
    }
    parts.push_back(cur);
    return parts;
}

void parse(std::vector<std::string> args) {
    std::vector<char *> ptrs;
    for (auto & a : args) {
        ptrs.push_back(a.data());
    }
    ptrs.push_back(nullptr);
    whisper_params params;
    try {
        whisper_params_parse(int(args.size()), ptrs.data(), params);
    } catch (const parser_exit &) {
        return;
    }
    // A parse that returns leaves a record the driver hands to the engine as is.
    if (params.threads < 1 || params.processors < 1 || !(params.temperature >= 0.0f && params.temperature <= 1.0f)) {
        abort();
    }
    (void) whisper_build_full_params(params, !params.grammar_rule.empty());
}

} // namespace

void whisper_params_exit(int status) {
    throw parser_exit{status};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size) {
    static response_file rsp;
    const uint8_t * rsp_begin = static_cast<const uint8_t *>(memchr(data, 1, size));
    const size_t args_size = rsp_begin ? size_t(rsp_begin - data) : size;
    const uint8_t * device = nullptr;
    size_t rsp_size = 0;
    if (rsp_begin) {
        ++rsp_begin;
        const size_t rest = size - args_size - 1;
        device = static_cast<const uint8_t *>(memchr(rsp_begin, 1, rest));
        rsp_size = device ? size_t(device - rsp_begin) : rest;
    }
    if (device) {
        ++device;
        setenv("WHISPER_ARG_DEVICE", std::string(reinterpret_cast<const char *>(device), data + size - device).c_str(), 1);
    } else {
        unsetenv("WHISPER_ARG_DEVICE");
    }

    std::vector<std::string> args{"LumivaneSpeech"};
    if (args_size > 0) {
        for (auto & a : split(data, args_size, '\0')) {
            args.push_back(std::move(a));
        }
    }
    parse(args);

    if (rsp_begin) {
        rsp.fill(rsp_begin, rsp_size);
        std::string at = rsp.path;
        char * argv[] = {args[0].data(), at.data(), nullptr};
        try {
            parse(expand_response_file(2, argv));
        } catch (const parser_exit &) {
        }
    }
    return 0;
}
