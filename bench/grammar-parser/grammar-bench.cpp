// Grammar parser benchmark.
//
// Run: cmake --build <build dir> --target bench-grammar-parser
//      (or run <build dir>/bench/grammar-parser/grammar_parser_bench [rules])
//
// Parses and prints a large generated grammar (every construct: literals with escapes and
// UTF-8, classes with ranges, groups, all three operators, comments) and reports the
// throughput against baselines measured in the same run over the same text: for parsing,
// a pass that turns every byte into one element and every line into one rule (the least
// work of any parser giving this output); for printing, writing every byte with fputc.
#include "grammar-parser.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string make_grammar(int rules) {
    std::string text = "# generated benchmark grammar\nroot ::= r0 (\" \" r1)*\n";
    for (int i = 0; i < rules; ++i) {
        std::string next(1, 'r');
        next += std::to_string((i + 1) % rules);
        text += 'r';
        text += std::to_string(i);
        text += " ::= \"w\\u00e9rd-\xC3\xA9\\x41\" [a-zA-Z0-9_-]+ ( ";
        text += next;
        text += " | [^\\n\"] \"x\"? )* | \"\\\"q\\\"\" ";
        text += next;
        text += "  # alternative\n";
    }
    return text;
}

template <typename F> double best_seconds(int repeats, F && run) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char ** argv) {
    const int rules = argc > 1 ? std::atoi(argv[1]) : 20000;
    const std::string text = make_grammar(rules);
    const double megabytes = double(text.size()) / 1e6;
    FILE * sink = std::fopen("/dev/null", "w");
    if (!sink) return 1;

    size_t baseline_rules = 0;
    const double split = best_seconds(5, [&] {
        std::vector<grammar_parser::rule_elements> lines(1);
        for (const char c : text) {
            if (c == '\n') {
                lines.back().push_back({WHISPER_GRETYPE_END, 0});
                lines.emplace_back();
            } else {
                lines.back().push_back({WHISPER_GRETYPE_CHAR, static_cast<unsigned char>(c)});
            }
        }
        baseline_rules = lines.size();
    });
    size_t rule_count = 0;
    const double parse = best_seconds(5, [&] { rule_count = grammar_parser::parse(text.c_str()).rules.size(); });

    const grammar_parser::parse_state state = grammar_parser::parse(text.c_str());
    const double put = best_seconds(5, [&] {
        for (const char c : text) std::fputc(c, sink);
        std::fflush(sink);
    });
    const double print = best_seconds(5, [&] {
        grammar_parser::print_grammar(sink, state);
        std::fflush(sink);
    });

    std::printf("grammar: %.2f MB, %d rules written, %zu rules parsed\n", megabytes, rules + 1, rule_count);
    std::printf("parse: %7.1f MB/s   baseline (byte per element, %zu lines): %7.1f MB/s   time ratio %.2f\n",
                megabytes / parse, baseline_rules, megabytes / split, parse / split);
    std::printf("print: %7.1f MB/s   baseline (fputc per byte):             %7.1f MB/s   time ratio %.2f\n",
                megabytes / print, megabytes / put, print / put);
    std::fclose(sink);
    return rule_count == 0;
}
