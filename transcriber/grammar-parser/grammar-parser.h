// GBNF grammar parser: turns grammar text ("name ::= alternatives" rules) into the rule
// tables that the speech engine's grammar-constrained sampling consumes, and prints a
// parsed grammar back in a readable form.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "whisper.h"

namespace grammar_parser {

// One rule: its alternatives in order, separated by one WHISPER_GRETYPE_ALT element each
// and closed by one WHISPER_GRETYPE_END element.
using rule_elements = std::vector<whisper_grammar_element>;

struct parse_state {
    // Every rule name mentioned in the text or generated for a group or repetition, with
    // its id. Ids are handed out in order of first mention.
    std::map<std::string, uint32_t, std::less<>> symbol_table;

    // The rule of each id. An id that was referenced but never defined has an empty rule,
    // or lies beyond the end. An empty list means the text did not parse (or held no rule).
    std::vector<rule_elements> rules;

    // One pointer per entry of `rules`, in id order, to the rule's first element: the rule
    // list the engine takes. The pointers stay valid while `rules` is left unchanged. An
    // undefined id (empty rule) gives a null pointer; see find_undefined_rule.
    std::vector<const whisper_grammar_element *> c_rules() const;
};

// Parses NUL-terminated grammar text. On a syntax error, prints
// "parse: error parsing grammar: <message>" to standard error and returns an empty state.
// Empty text, or text of only blanks, line breaks and comments, gives an empty state
// without a message.
parse_state parse(const char * text);

// Prints one line per rule ("name ::= elements"). A malformed state stops the printing
// with "print_grammar: error printing grammar: <message>" on standard error.
void print_grammar(FILE * file, const parse_state & state);

// The lowest id that is named in `symbol_table` or referenced by a rule but has no rule
// of its own, or -1 when there is none. The engine must not be handed a grammar with such
// a hole (it would follow a reference into nothing); a caller can reject it up front.
int64_t find_undefined_rule(const parse_state & state);

} // namespace grammar_parser
