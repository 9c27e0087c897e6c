// Prints a parsed grammar back as one "name ::= elements" line per rule.
#include "grammar-parser.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

namespace grammar_parser {

static bool is_char_element(const whisper_grammar_element & element) {
    switch (element.type) {
    case WHISPER_GRETYPE_CHAR:
    case WHISPER_GRETYPE_CHAR_NOT:
    case WHISPER_GRETYPE_CHAR_RNG_UPPER:
    case WHISPER_GRETYPE_CHAR_ALT: return true;
    default: return false;
    }
}

// Printable ASCII as itself, everything else as its code point ("<U+%04X>").
static void append_code_point(std::string & line, uint32_t value) {
    if (value >= 0x20 && value <= 0x7F) {
        line += char(value);
        return;
    }
    int digits = 4;
    while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
    line += "<U+";
    for (int i = digits - 1; i >= 0; --i) line += "0123456789ABCDEF"[(value >> (4 * i)) & 0xF];
    line += '>';
}

static std::string position(size_t rule_id, size_t index) {
    return std::to_string(rule_id) + "," + std::to_string(index);
}

// Id to name, from the symbol table. Of two names with one id the later in name order
// wins; an id without a name fails like a checked map lookup.
class rule_names {
public:
    explicit rule_names(const parse_state & state) {
        entries_.reserve(state.symbol_table.size());
        for (const auto & [name, id] : state.symbol_table) entries_.emplace_back(id, &name);
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const entry & a, const entry & b) { return a.first < b.first; });
    }

    const std::string * find(size_t id, std::string & error) const {
        const auto after = std::upper_bound(entries_.begin(), entries_.end(), id,
                                            [](size_t wanted, const entry & e) { return wanted < e.first; });
        if (after == entries_.begin() || std::prev(after)->first != id) {
            error = "map::at";
            return nullptr;
        }
        return std::prev(after)->second;
    }

private:
    using entry = std::pair<uint32_t, const std::string *>;
    std::vector<entry> entries_;
};

// Appends the listing of rule `rule_id` to `line`; on a malformed rule stops at the fault
// with `error` set, leaving what came before it in `line`.
static bool append_rule(std::string & line, const parse_state & state, const rule_names & names, size_t rule_id,
                        std::string & error) {
    const rule_elements & rule = state.rules[rule_id];
    if (rule.empty() || rule.back().type != WHISPER_GRETYPE_END) {
        error = "malformed rule, does not end with WHISPER_GRETYPE_END: " + std::to_string(rule_id);
        return false;
    }
    const std::string * rule_name = names.find(rule_id, error);
    if (!rule_name) return false;
    line += *rule_name;
    line += " ::= ";

    for (size_t i = 0; i + 1 < rule.size(); ++i) {
        const whisper_grammar_element & element = rule[i];
        switch (element.type) {
        case WHISPER_GRETYPE_END:
            error = "unexpected end of rule: " + position(rule_id, i);
            return false;
        case WHISPER_GRETYPE_ALT:
            line += "| ";
            break;
        case WHISPER_GRETYPE_RULE_REF: {
            const std::string * ref_name = names.find(element.value, error);
            if (!ref_name) return false;
            line += *ref_name;
            line += ' ';
            break;
        }
        case WHISPER_GRETYPE_CHAR:
            line += '[';
            append_code_point(line, element.value);
            break;
        case WHISPER_GRETYPE_CHAR_NOT:
            line += "[^";
            append_code_point(line, element.value);
            break;
        case WHISPER_GRETYPE_CHAR_RNG_UPPER:
            if (i == 0 || !is_char_element(rule[i - 1])) {
                error = "WHISPER_GRETYPE_CHAR_RNG_UPPER without preceding char: " + position(rule_id, i);
                return false;
            }
            line += '-';
            append_code_point(line, element.value);
            break;
        case WHISPER_GRETYPE_CHAR_ALT:
            if (i == 0 || !is_char_element(rule[i - 1])) {
                error = "WHISPER_GRETYPE_CHAR_ALT without preceding char: " + position(rule_id, i);
                return false;
            }
            append_code_point(line, element.value);
            break;
        }
        // A class closes unless the next element continues it.
        if (is_char_element(element)) {
            const whisper_gretype next = rule[i + 1].type;
            if (next != WHISPER_GRETYPE_CHAR_ALT && next != WHISPER_GRETYPE_CHAR_RNG_UPPER) line += "] ";
        }
    }
    line += '\n';
    return true;
}

void print_grammar(FILE * file, const parse_state & state) {
    const rule_names names(state);
    std::string line;
    std::string error;
    for (size_t rule_id = 0; rule_id < state.rules.size(); ++rule_id) {
        line.clear();
        const bool printed = append_rule(line, state, names, rule_id, error);
        std::fwrite(line.data(), 1, line.size(), file);  // a line cut by a fault stays printed
        if (!printed) {
            std::fflush(file);
            std::fprintf(stderr, "\n%s: error printing grammar: %s\n", "print_grammar", error.c_str());
            return;
        }
    }
}

} // namespace grammar_parser
