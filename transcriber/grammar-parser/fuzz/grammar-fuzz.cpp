// libFuzzer target: parses arbitrary bytes as grammar text and prints the result, checking
// the invariants every parse result must hold. The text is handed over in a buffer of
// exactly its length plus the NUL, so a read past the end is caught by ASan.
#include "grammar-parser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

namespace {

void require(bool condition, const char * what) {
    if (!condition) {
        std::fprintf(stdout, "invariant broken: %s\n", what);
        std::abort();
    }
}

void check_state(const grammar_parser::parse_state & state) {
    if (state.rules.empty()) {
        require(state.symbol_table.empty(), "no rules but symbols");
        return;
    }
    const size_t symbols = state.symbol_table.size();
    std::set<uint32_t> ids;
    for (const auto & entry : state.symbol_table) {
        require(entry.second < symbols, "symbol id beyond the table");
        ids.insert(entry.second);
    }
    require(ids.size() == symbols, "two names share an id");
    require(state.rules.size() <= symbols, "more rules than symbols");
    for (const auto & rule : state.rules) {
        if (rule.empty()) continue;  // referenced, never defined
        require(rule.back().type == WHISPER_GRETYPE_END, "rule does not end with END");
        for (size_t i = 0; i + 1 < rule.size(); ++i) {
            const auto & element = rule[i];
            require(element.type != WHISPER_GRETYPE_END, "END inside a rule");
            if (element.type == WHISPER_GRETYPE_RULE_REF) require(element.value < symbols, "reference to no symbol");
        }
    }
    const auto pointers = state.c_rules();
    require(pointers.size() == state.rules.size(), "c_rules size");
    for (size_t i = 0; i < pointers.size(); ++i) {
        require(pointers[i] == (state.rules[i].empty() ? nullptr : state.rules[i].data()), "c_rules pointer");
    }
    const int64_t undefined = grammar_parser::find_undefined_rule(state);
    require(undefined < int64_t(symbols), "undefined id beyond the table");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size) {
    static FILE * sink = std::fopen("/dev/null", "w");
    const std::unique_ptr<char[]> text(new char[size + 1]);
    if (size > 0) std::memcpy(text.get(), data, size);
    text[size] = '\0';

    const grammar_parser::parse_state state = grammar_parser::parse(text.get());
    check_state(state);
    grammar_parser::print_grammar(sink, state);
    return 0;
}
