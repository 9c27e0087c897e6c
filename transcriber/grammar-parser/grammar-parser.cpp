// Syntax of the grammar text: rules, alternatives, sequences, groups and repetition
// operators, and the ids of the rule names.
#include "grammar-steps.h"

#include <cstring>
#include <utility>

namespace grammar_parser {

uint32_t get_symbol_id(parse_state & state, std::string_view name) {
    const auto found = state.symbol_table.find(name);
    if (found != state.symbol_table.end()) {
        return found->second;
    }
    const auto id = static_cast<uint32_t>(state.symbol_table.size());
    state.symbol_table.emplace(std::string(name), id);
    return id;
}

[[gnu::noinline]] uint32_t generate_symbol_id(parse_state & state, const std::string & base_name) {
    const auto id = static_cast<uint32_t>(state.symbol_table.size());
    state.symbol_table.insert_or_assign(base_name + '_' + std::to_string(id), id);
    return id;
}

// A rule defined twice keeps its later definition.
static void store_rule(parse_state & state, uint32_t id, rule_elements rule) {
    if (state.rules.size() <= id) {
        state.rules.resize(size_t(id) + 1);
    }
    state.rules[id] = std::move(rule);
}

// Rewrites the item out[item_start..] followed by operator `op` ("*", "+" or "?") into a
// reference to a new rule: S* is N ::= S N | ; S+ is N ::= S N | S ; S? is N ::= S | .
[[gnu::noinline]] static void apply_repetition(parse_state & state, const std::string & rule_name,
                                               rule_elements & out, size_t item_start, char op) {
    const uint32_t id = generate_symbol_id(state, rule_name);
    const auto item = out.begin() + static_cast<std::ptrdiff_t>(item_start);
    rule_elements rule(item, out.end());
    if (op != '?') {
        rule.push_back({WHISPER_GRETYPE_RULE_REF, id});
    }
    rule.push_back({WHISPER_GRETYPE_ALT, 0});
    if (op == '+') {
        rule.insert(rule.end(), item, out.end());
    }
    rule.push_back({WHISPER_GRETYPE_END, 0});
    store_rule(state, id, std::move(rule));
    out.resize(item_start);
    out.push_back({WHISPER_GRETYPE_RULE_REF, id});
}

// The item parsers below stay out of line: parse_sequence and parse_alternates recurse once
// per nested group, and their frames are kept small so deep nesting costs little stack.

// A literal "...": one WHISPER_GRETYPE_CHAR per character; `pos` is at the opening quote.
[[gnu::noinline]] static const char * parse_literal(parse_context & ctx, const char * pos, rule_elements & out) {
    ++pos;
    while (peek(ctx, pos) != '"') {
        uint32_t value = 0;
        pos = parse_char(ctx, pos, value);
        if (!pos) return nullptr;
        out.push_back({WHISPER_GRETYPE_CHAR, value});
    }
    return pos + 1;
}

// A class [...] or [^...]; `pos` is at the "[".
[[gnu::noinline]] static const char * parse_class(parse_context & ctx, const char * pos, rule_elements & out) {
    ++pos;
    auto first_type = WHISPER_GRETYPE_CHAR;
    if (peek(ctx, pos) == '^') {
        ++pos;
        first_type = WHISPER_GRETYPE_CHAR_NOT;
    }
    const size_t start = out.size();
    while (peek(ctx, pos) != ']') {
        uint32_t value = 0;
        pos = parse_char(ctx, pos, value);
        if (!pos) return nullptr;
        out.push_back({out.size() == start ? first_type : WHISPER_GRETYPE_CHAR_ALT, value});
        // A "-" right before "]" is a member of its own, not a range.
        if (peek(ctx, pos) == '-' && peek(ctx, pos + 1) != ']') {
            uint32_t upper = 0;
            pos = parse_char(ctx, pos + 1, upper);
            if (!pos) return nullptr;
            out.push_back({WHISPER_GRETYPE_CHAR_RNG_UPPER, upper});
        }
    }
    return pos + 1;
}

// A reference to the rule whose name starts at `pos`.
[[gnu::noinline]] static const char * parse_reference(parse_context & ctx, const char * pos, rule_elements & out) {
    const char * name_end = parse_name(ctx, pos);
    if (!name_end) return nullptr;
    out.push_back({WHISPER_GRETYPE_RULE_REF, get_symbol_id(ctx.state, std::string_view(pos, size_t(name_end - pos)))});
    return name_end;
}

// A group ( alternatives ), stored as a new rule and referenced; `pos` is at the "(".
static const char * parse_group(parse_context & ctx, const char * pos, const std::string & rule_name,
                                rule_elements & out) {
    if (ctx.depth >= max_group_depth) {
        return fail_at(ctx, "groups nested too deeply at ", pos);
    }
    pos = skip_blanks(pos + 1, ctx.end, true);
    const uint32_t group_id = generate_symbol_id(ctx.state, rule_name);
    ++ctx.depth;
    pos = parse_alternates(ctx, pos, rule_name, group_id, true);
    --ctx.depth;
    if (!pos) return nullptr;
    out.push_back({WHISPER_GRETYPE_RULE_REF, group_id});
    if (peek(ctx, pos) != ')') {
        return fail_at(ctx, "expecting ')' at ", pos);
    }
    return pos + 1;
}

const char * parse_sequence(parse_context & ctx, const char * pos, const std::string & rule_name,
                            rule_elements & out, bool nested) {
    // Where the most recent item began; an operator applies to out[last_item_start..].
    size_t last_item_start = out.size();
    while (pos < ctx.end) {
        const char c = *pos;
        if (c == '"' || c == '[' || c == '(' || is_name_char(c)) {
            last_item_start = out.size();
            if (c == '"') {
                pos = parse_literal(ctx, pos, out);
            } else if (c == '[') {
                pos = parse_class(ctx, pos, out);
            } else if (c == '(') {
                pos = parse_group(ctx, pos, rule_name, out);
            } else {
                pos = parse_reference(ctx, pos, out);
            }
            if (!pos) return nullptr;
        } else if (c == '*' || c == '+' || c == '?') {
            if (last_item_start == out.size()) {
                return fail_at(ctx, "expecting preceding item to */+/? at ", pos);
            }
            // last_item_start stays: a further operator applies to the new reference.
            apply_repetition(ctx.state, rule_name, out, last_item_start, c);
            ++pos;
        } else {
            break;
        }
        pos = skip_blanks(pos, ctx.end, nested);
    }
    return pos;
}

const char * parse_alternates(parse_context & ctx, const char * pos, const std::string & rule_name,
                              uint32_t rule_id, bool nested) {
    rule_elements rule;
    pos = parse_sequence(ctx, pos, rule_name, rule, nested);
    if (!pos) return nullptr;
    while (peek(ctx, pos) == '|') {
        rule.push_back({WHISPER_GRETYPE_ALT, 0});
        pos = skip_blanks(pos + 1, ctx.end, true);
        pos = parse_sequence(ctx, pos, rule_name, rule, nested);
        if (!pos) return nullptr;
    }
    rule.push_back({WHISPER_GRETYPE_END, 0});
    store_rule(ctx.state, rule_id, std::move(rule));
    return pos;
}

// Parses every rule of the text; false after the first syntax error.
static bool parse_rules(parse_context & ctx, const char * pos) {
    pos = skip_blanks(pos, ctx.end, true);
    while (pos < ctx.end) {
        const char * name_end = parse_name(ctx, pos);
        if (!name_end) return false;
        const std::string name(pos, name_end);
        const uint32_t id = get_symbol_id(ctx.state, name);
        pos = skip_blanks(name_end, ctx.end, false);
        if (!(peek(ctx, pos) == ':' && peek(ctx, pos + 1) == ':' && peek(ctx, pos + 2) == '=')) {
            fail_at(ctx, "expecting ::= at ", pos);
            return false;
        }
        pos = skip_blanks(pos + 3, ctx.end, true);
        pos = parse_alternates(ctx, pos, name, id, false);
        if (!pos) return false;
        if (peek(ctx, pos) == '\r') {
            pos += peek(ctx, pos + 1) == '\n' ? 2 : 1;
        } else if (peek(ctx, pos) == '\n') {
            ++pos;
        } else if (pos < ctx.end) {
            fail_at(ctx, "expecting newline or end at ", pos);
            return false;
        }
        pos = skip_blanks(pos, ctx.end, true);
    }
    return true;
}

parse_state parse(const char * text) {
    parse_state state;
    if (text == nullptr) {
        return state;
    }
    parse_context ctx{text + std::strlen(text), state, {}, 0};
    if (!parse_rules(ctx, text)) {
        std::fprintf(stderr, "%s: error parsing grammar: %s\n", "parse", ctx.error.c_str());
        return parse_state{};
    }
    return state;
}

} // namespace grammar_parser
