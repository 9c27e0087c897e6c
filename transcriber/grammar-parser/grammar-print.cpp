// Prints a parsed grammar back as one "name ::= elements" line per rule.
#include "grammar-parser.h"

#include <string>

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

// Printable ASCII as itself, everything else as its code point.
static void print_code_point(FILE * file, uint32_t value) {
    if (value >= 0x20 && value <= 0x7F) {
        std::fputc(int(value), file);
    } else {
        std::fprintf(file, "<U+%04X>", unsigned(value));
    }
}

static std::string position(size_t rule_id, size_t index) {
    return std::to_string(rule_id) + "," + std::to_string(index);
}

// Prints every rule; on a malformed state stops at once with `error` set.
static bool print_rules(FILE * file, const parse_state & state, std::string & error) {
    std::map<uint32_t, const std::string *> names;
    for (const auto & [name, id] : state.symbol_table) {
        names[id] = &name;
    }
    const auto name_of = [&](size_t id) -> const std::string * {
        const auto found = id <= UINT32_MAX ? names.find(uint32_t(id)) : names.end();
        if (found == names.end()) {
            error = "map::at";  // the id has no name in the symbol table
            return nullptr;
        }
        return found->second;
    };

    for (size_t rule_id = 0; rule_id < state.rules.size(); ++rule_id) {
        const rule_elements & rule = state.rules[rule_id];
        if (rule.empty() || rule.back().type != WHISPER_GRETYPE_END) {
            error = "malformed rule, does not end with WHISPER_GRETYPE_END: " + std::to_string(rule_id);
            return false;
        }
        const std::string * rule_name = name_of(rule_id);
        if (!rule_name) return false;
        std::fprintf(file, "%s ::= ", rule_name->c_str());

        for (size_t i = 0; i + 1 < rule.size(); ++i) {
            const whisper_grammar_element & element = rule[i];
            switch (element.type) {
            case WHISPER_GRETYPE_END:
                error = "unexpected end of rule: " + position(rule_id, i);
                return false;
            case WHISPER_GRETYPE_ALT:
                std::fputs("| ", file);
                break;
            case WHISPER_GRETYPE_RULE_REF: {
                const std::string * ref_name = name_of(element.value);
                if (!ref_name) return false;
                std::fprintf(file, "%s ", ref_name->c_str());
                break;
            }
            case WHISPER_GRETYPE_CHAR:
                std::fputc('[', file);
                print_code_point(file, element.value);
                break;
            case WHISPER_GRETYPE_CHAR_NOT:
                std::fputs("[^", file);
                print_code_point(file, element.value);
                break;
            case WHISPER_GRETYPE_CHAR_RNG_UPPER:
                if (i == 0 || !is_char_element(rule[i - 1])) {
                    error = "WHISPER_GRETYPE_CHAR_RNG_UPPER without preceding char: " + position(rule_id, i);
                    return false;
                }
                std::fputc('-', file);
                print_code_point(file, element.value);
                break;
            case WHISPER_GRETYPE_CHAR_ALT:
                if (i == 0 || !is_char_element(rule[i - 1])) {
                    error = "WHISPER_GRETYPE_CHAR_ALT without preceding char: " + position(rule_id, i);
                    return false;
                }
                print_code_point(file, element.value);
                break;
            }
            // A class closes unless the next element continues it.
            if (is_char_element(element)) {
                const whisper_gretype next = rule[i + 1].type;
                if (next != WHISPER_GRETYPE_CHAR_ALT && next != WHISPER_GRETYPE_CHAR_RNG_UPPER) {
                    std::fputs("] ", file);
                }
            }
        }
        std::fputc('\n', file);
    }
    return true;
}

void print_grammar(FILE * file, const parse_state & state) {
    std::string error;
    if (!print_rules(file, state, error)) {
        std::fprintf(stderr, "\n%s: error printing grammar: %s\n", "print_grammar", error.c_str());
    }
}

} // namespace grammar_parser
