// lumivane-make-test-model SCRIPT OUT.bin
//
// Writes a small model in the engine's ggml format whose transcript is the script's
// (see README.md). SCRIPT is a JSON file, or "-" for standard input.
#include "decoder_plan.h"
#include "model_file.h"
#include "model_weights.h"
#include "script.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

constexpr const char * k_usage = "usage: lumivane-make-test-model SCRIPT OUT.bin  (SCRIPT: a JSON file, or - for stdin)\n";

bool read_all(const std::string & path, std::string & out) {
    if (path == "-") {
        out.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return !in.bad();
}

int fail(const std::string & message) {
    fprintf(stderr, "error: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char ** argv) {
    if (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
        fputs(k_usage, stdout);
        return 0;
    }
    if (argc != 3) {
        fputs(k_usage, stderr);
        return 1;
    }
    const std::string script_path = argv[1];
    const std::string out_path = argv[2];

    std::string text;
    if (!read_all(script_path, text)) return fail("cannot read script '" + script_path + "'");

    std::string error;
    test_script script;
    if (!parse_test_script(text, script, error)) return fail(error);

    decoder_plan plan;
    if (!plan_decoder(script, plan, error)) return fail(error);

    if (!write_model_file(build_model(script, plan), out_path, error)) return fail(error);
    return 0;
}
