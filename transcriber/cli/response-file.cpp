#include "response-file.h"

#include "whisper-params.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

std::vector<std::string> split_response_lines(const std::string & content) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> expand_response_file(int argc, char ** argv) {
    std::vector<std::string> args(argv, argv + argc);
    if (argc != 2 || argv[1][0] != '@') {
        return args;
    }

    const char * path = argv[1] + 1;
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    if (!in || std::filesystem::is_directory(path, ec)) {
        fprintf(stderr, "error: response file '%s' not found\n", path);
        whisper_params_exit(1);
    }
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    std::vector<std::string> expanded{args[0]};
    for (auto & line : split_response_lines(content)) {
        expanded.push_back(std::move(line));
    }
    return expanded;
}
