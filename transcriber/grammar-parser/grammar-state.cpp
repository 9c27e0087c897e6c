// Queries on a parsed grammar: the engine's rule list and the check for undefined rules.
#include "grammar-parser.h"

namespace grammar_parser {

std::vector<const whisper_grammar_element *> parse_state::c_rules() const {
    std::vector<const whisper_grammar_element *> pointers;
    pointers.reserve(rules.size());
    for (const rule_elements & rule : rules) {
        pointers.push_back(rule.empty() ? nullptr : rule.data());
    }
    return pointers;
}

int64_t find_undefined_rule(const parse_state & state) {
    int64_t lowest = -1;
    const auto note = [&](uint32_t id) {
        const bool defined = id < state.rules.size() && !state.rules[id].empty();
        if (!defined && (lowest < 0 || id < lowest)) {
            lowest = id;
        }
    };
    for (const auto & entry : state.symbol_table) {
        note(entry.second);
    }
    for (const rule_elements & rule : state.rules) {
        for (const whisper_grammar_element & element : rule) {
            if (element.type == WHISPER_GRETYPE_RULE_REF) {
                note(element.value);
            }
        }
    }
    return lowest;
}

} // namespace grammar_parser
