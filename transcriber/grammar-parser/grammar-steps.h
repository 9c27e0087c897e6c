// The steps of the grammar parser, shared by its sources and its tests.
//
// Every step reads the text through a position `pos` and the end of the text `end` (the
// terminating NUL). No step reads at or beyond `end`, whatever the text holds. A step
// that can fail returns nullptr after recording the message in the context; the first
// message recorded is the one reported.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "grammar-parser.h"

namespace grammar_parser {

// Deepest nesting of parenthesised groups accepted. Each level costs two stack frames;
// the cap keeps hostile input from exhausting the stack, far above any real grammar.
inline constexpr int max_group_depth = 1000;

struct parse_context {
    const char *  end;    // terminating NUL of the text, never read
    parse_state & state;  // what has been parsed so far
    std::string   error;  // message of the step that failed
    int           depth;  // groups currently open
};

// The byte at `pos`, or NUL at the end of the text.
inline char peek(const parse_context & ctx, const char * pos) {
    return pos < ctx.end ? *pos : '\0';
}

// Records `message` and returns nullptr.
const char * fail(parse_context & ctx, std::string message);
// Records `message` followed by the rest of the text from `pos`, and returns nullptr.
const char * fail_at(parse_context & ctx, const char * message, const char * pos);

bool is_name_char(char c);

// Skips blanks (space, tab) and "#" comments; with `newlines` also CR and LF.
const char * skip_blanks(const char * pos, const char * end, bool newlines);

// Returns the end of the name that starts at `pos` ("expecting name at ").
const char * parse_name(parse_context & ctx, const char * pos);

// Reads exactly `size` hex digits into `value` ("expecting <size> hex chars at ").
const char * parse_hex(parse_context & ctx, const char * pos, int size, uint32_t & value);

// Decodes one UTF-8 sequence that starts at `pos` (< end), without validation; stops
// early at the end of the text.
const char * decode_utf8(const char * pos, const char * end, uint32_t & value);

// Reads one character of a literal or class: an escape or a UTF-8 sequence.
const char * parse_char(parse_context & ctx, const char * pos, uint32_t & value);

// The id of `name`, added with the next free id when the name is new.
uint32_t get_symbol_id(parse_state & state, std::string_view name);

// A new id for a rule generated inside rule `base_name`, registered as base_name_<id>.
uint32_t generate_symbol_id(parse_state & state, const std::string & base_name);

// Parses one sequence of items into `out`; stops before the first byte that starts none.
const char * parse_sequence(parse_context & ctx, const char * pos, const std::string & rule_name,
                            rule_elements & out, bool nested);

// Parses "|"-separated sequences and stores them as rule `rule_id`.
const char * parse_alternates(parse_context & ctx, const char * pos, const std::string & rule_name,
                              uint32_t rule_id, bool nested);

} // namespace grammar_parser
