// Lexical steps of the grammar parser: blanks and comments, names, characters, escapes and
// UTF-8 sequences.
#include "grammar-steps.h"

#include <utility>

namespace grammar_parser {

const char * fail(parse_context & ctx, std::string message) {
    if (ctx.error.empty()) {
        ctx.error = std::move(message);
    }
    return nullptr;
}

const char * fail_at(parse_context & ctx, const char * message, const char * pos) {
    std::string text(message);
    text.append(pos, ctx.end);
    return fail(ctx, std::move(text));
}

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

const char * skip_blanks(const char * pos, const char * end, bool newlines) {
    while (pos < end) {
        const char c = *pos;
        if (c == ' ' || c == '\t' || (newlines && (c == '\r' || c == '\n'))) {
            ++pos;
        } else if (c == '#') {
            // A comment runs up to the line break, which is left for the caller.
            while (pos < end && *pos != '\r' && *pos != '\n') {
                ++pos;
            }
        } else {
            break;
        }
    }
    return pos;
}

const char * parse_name(parse_context & ctx, const char * pos) {
    const char * name_end = pos;
    while (name_end < ctx.end && is_name_char(*name_end)) {
        ++name_end;
    }
    if (name_end == pos) {
        return fail_at(ctx, "expecting name at ", pos);
    }
    return name_end;
}

static int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char * parse_hex(parse_context & ctx, const char * pos, int size, uint32_t & value) {
    const char * digit = pos;
    uint32_t result = 0;
    int count = 0;
    for (; count < size && digit < ctx.end; ++count, ++digit) {
        const int d = hex_digit_value(*digit);
        if (d < 0) {
            break;
        }
        result = result * 16 + uint32_t(d);
    }
    if (count < size) {
        return fail_at(ctx, ("expecting " + std::to_string(size) + " hex chars at ").c_str(), pos);
    }
    value = result;
    return digit;
}

const char * decode_utf8(const char * pos, const char * end, uint32_t & value) {
    // Sequence length by the lead byte's top four bits; a stray continuation byte
    // (0x8_ to 0xB_) counts as a sequence of one.
    static constexpr int lengths[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3, 4};
    const auto lead = static_cast<unsigned char>(*pos++);
    const int length = lengths[lead >> 4];
    uint32_t result = lead & ((1u << (8 - length)) - 1);
    for (int i = 1; i < length && pos < end; ++i, ++pos) {
        result = (result << 6) + (static_cast<unsigned char>(*pos) & 0x3Fu);
    }
    value = result;
    return pos;
}

const char * parse_char(parse_context & ctx, const char * pos, uint32_t & value) {
    if (pos >= ctx.end) {
        // An unterminated literal or class runs into the end of the text here.
        return fail(ctx, "unexpected end of input");
    }
    if (*pos != '\\') {
        return decode_utf8(pos, ctx.end, value);
    }
    // At the end of the text the escape letter reads as NUL: an unknown escape.
    const char letter = peek(ctx, pos + 1);
    switch (letter) {
    case 'x': return parse_hex(ctx, pos + 2, 2, value);
    case 'u': return parse_hex(ctx, pos + 2, 4, value);
    case 'U': return parse_hex(ctx, pos + 2, 8, value);
    case 't': value = '\t'; return pos + 2;
    case 'r': value = '\r'; return pos + 2;
    case 'n': value = '\n'; return pos + 2;
    case '\\':
    case '"':
    case '[':
    case ']': value = static_cast<unsigned char>(letter); return pos + 2;
    default: return fail_at(ctx, "unknown escape at ", pos);
    }
}

} // namespace grammar_parser
