// Tests of the grammar parser through its public functions and its lexical steps.
//
// Every grammar text is handed over in a heap buffer of exactly its length plus the NUL,
// so that a sanitizer build reports any read past the end of the text.
//
// Run with --write-seeds=DIR to write every grammar text of these tables into DIR, one
// file each: the seed corpus of the fuzz target.
#include "grammar-parser.h"
#include "grammar-steps.h"

#include <gtest/gtest.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define GRAMMAR_TESTS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GRAMMAR_TESTS_SANITIZED 1
#endif
#endif
#ifdef GRAMMAR_TESTS_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using grammar_parser::parse_state;

// Captures what is written to standard error (file descriptor 2) while it lives.
class stderr_capture {
public:
    stderr_capture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = dup(2);
        dup2(fileno(file_), 2);
    }
    ~stderr_capture() { finish(); }
    stderr_capture(const stderr_capture &) = delete;
    stderr_capture & operator=(const stderr_capture &) = delete;

    std::string finish() {
        if (saved_ < 0) return text_;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
        text_ = read_all(file_);
        std::fclose(file_);
        return text_;
    }

    static std::string read_all(FILE * file) {
        std::string text;
        std::rewind(file);
        char chunk[4096];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
        return text;
    }

private:
    FILE *      file_;
    int         saved_ = -1;
    std::string text_;
};

// A NUL-terminated copy of `text` with nothing readable after the NUL.
std::unique_ptr<char[]> exact_copy(std::string_view text) {
    auto buffer = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(buffer.get(), text.data(), text.size());
    buffer[text.size()] = '\0';
    return buffer;
}

// What print_grammar writes to its file, and to standard error.
struct printout {
    std::string printed;
    std::string errors;
};

printout print(const parse_state & state) {
    FILE * file = std::tmpfile();
    stderr_capture capture;
    grammar_parser::print_grammar(file, state);
    printout out;
    out.errors = capture.finish();
    out.printed = stderr_capture::read_all(file);
    std::fclose(file);
    return out;
}

struct outcome {
    parse_state state;
    std::string parse_errors;
    printout    listing;  // printed only when the parse gave rules
};

outcome parse_and_print(std::string_view grammar) {
    const auto text = exact_copy(grammar);
    outcome out;
    stderr_capture capture;
    out.state = grammar_parser::parse(text.get());
    out.parse_errors = capture.finish();
    if (!out.state.rules.empty()) out.listing = print(out.state);
    return out;
}

whisper_grammar_element el(whisper_gretype type, uint32_t value = 0) { return {type, value}; }

constexpr auto END = WHISPER_GRETYPE_END;
constexpr auto ALT = WHISPER_GRETYPE_ALT;
constexpr auto REF = WHISPER_GRETYPE_RULE_REF;
constexpr auto CHR = WHISPER_GRETYPE_CHAR;
constexpr auto NOT = WHISPER_GRETYPE_CHAR_NOT;
constexpr auto RNG = WHISPER_GRETYPE_CHAR_RNG_UPPER;
constexpr auto CAL = WHISPER_GRETYPE_CHAR_ALT;

// ---------------------------------------------------------------------------------------
// Grammars that parse: the full listing print_grammar gives for them.

struct listing_case {
    std::string grammar;
    std::string listing;
};

const std::vector<listing_case> listing_cases = {
    {R"(root ::= "yes" | "no")", "root ::= [y] [e] [s] | [n] [o] \n"},
    {"root ::= [a-z0-9]", "root ::= [a-z0-9] \n"},
    {R"(root ::= "a"*)", "root ::= root_1 \nroot_1 ::= [a] root_1 | \n"},
    {R"(root ::= "a"+)", "root ::= root_1 \nroot_1 ::= [a] root_1 | [a] \n"},
    {R"(root ::= "a"?)", "root ::= root_1 \nroot_1 ::= [a] | \n"},
    {R"(root ::= [^\n])", "root ::= [^<U+000A>] \n"},
    {"root ::= \"a\" \"b\"\nx ::= root", "root ::= [a] [b] \nx ::= root \n"},
    {"x ::= y\ny ::= \"a\"", "x ::= y \ny ::= [a] \n"},
    // A line break inside a group, and around its alternatives.
    {"root ::= (\"a\"\n \"b\")", "root ::= root_1 \nroot_1 ::= [a] [b] \n"},
    {"root ::= (\n\"a\"\n|\n\"b\"\n)", "root ::= root_1 \nroot_1 ::= [a] | [b] \n"},
    {"root ::= \"a\" |\n  \"b\"", "root ::= [a] | [b] \n"},
    {"root ::=\n  \"a\"", "root ::= [a] \n"},
    {"root ::= [a-]", "root ::= [a-] \n"},
    {"root ::= [-a]", "root ::= [-a] \n"},
    {"root ::= \"\xC3\xA9\"", "root ::= [<U+00E9>] \n"},
    {"a ::= \"x\"\nb ::= a\na ::= \"y\"", "a ::= [y] \nb ::= a \n"},
    {R"(root ::= "\t\r\n\\\"\[\]")", "root ::= [<U+0009>] [<U+000D>] [<U+000A>] [\\] [\"] [[] []] \n"},
    {R"(root ::= "\x41\u00e9\U0001F600\x7f")", "root ::= [A] [<U+00E9>] [<U+1F600>] [\x7F] \n"},
    {R"(root ::= [\x00-\x1F])", "root ::= [<U+0000>-<U+001F>] \n"},
    {R"(root ::= [^a-zA-Z_])", "root ::= [^a-zA-Z_] \n"},
    {R"(root ::= [\]\[-])", "root ::= [][-] \n"},
    {R"(root ::= "ab"+)", "root ::= root_1 \nroot_1 ::= [a] [b] root_1 | [a] [b] \n"},
    {R"(root ::= "a"*?)", "root ::= root_2 \nroot_1 ::= [a] root_1 | \nroot_2 ::= root_1 | \n"},
    {R"(root ::= "a" *)", "root ::= root_1 \nroot_1 ::= [a] root_1 | \n"},
    {"root ::= (\"a\" (\"b\")*)",
     "root ::= root_1 \nroot_1 ::= [a] root_3 \nroot_2 ::= [b] \nroot_3 ::= root_2 root_3 | \n"},
    {"root ::= [a]+ (\"b\")? c*\nc ::= \"c\"",
     "root ::= root_1 root_3 root_5 \nroot_1 ::= [a] root_1 | [a] \nroot_2 ::= [b] \n"
     "root_3 ::= root_2 | \nc ::= [c] \nroot_5 ::= c root_5 | \n"},
    // Generated rules inside a later rule take that rule's name.
    {"root ::= x\nx ::= (\"a\")+", "root ::= x \nx ::= x_3 \nx_2 ::= [a] \nx_3 ::= x_2 x_3 | x_2 \n"},
    {R"(root ::= "" "a" | )", "root ::= [a] | \n"},
    {R"(root ::= "a" | | "b")", "root ::= [a] | | [b] \n"},
    {"my-Rule-2 ::= \"a\"", "my-Rule-2 ::= [a] \n"},
    // Line ends: CRLF, a lone CR, LF; blanks, tabs and comments everywhere.
    {"a ::= \"x\"\r\nb ::= \"y\"\r\n", "a ::= [x] \nb ::= [y] \n"},
    {"a ::= \"x\"\rb ::= \"y\"\r", "a ::= [x] \nb ::= [y] \n"},
    {"# head\n\n  root\t::=\t\"a\" # tail\n# only a comment\r\n\n x ::= \"b\"#end",
     "root ::= [a] \nx ::= [b] \n"},
    {"root ::= ( \"a\" # inside a group\n | \"b\" )", "root ::= root_1 \nroot_1 ::= [a] | [b] \n"},
    // Undefined rules: the highest one is not listed at all.
    {"root ::= a", "root ::= a \n"},
    // A lone continuation byte reads as its low seven bits.
    {"root ::= \"\xBF\"", "root ::= [?] \n"},
};

TEST(GrammarListing, EveryCasePrintsItsListing) {
    for (const auto & c : listing_cases) {
        SCOPED_TRACE(c.grammar);
        const outcome out = parse_and_print(c.grammar);
        EXPECT_EQ(out.parse_errors, "");
        EXPECT_EQ(out.listing.errors, "");
        EXPECT_EQ(out.listing.printed, c.listing);
    }
}

// ---------------------------------------------------------------------------------------
// Ids: in order of first mention, whether that is a definition or a reference.

struct ids_case {
    std::string                      grammar;
    std::map<std::string, uint32_t>  symbols;
};

const std::vector<ids_case> ids_cases = {
    {"root ::= \"a\" \"b\"\nx ::= root", {{"root", 0}, {"x", 1}}},
    {"x ::= y\ny ::= \"a\"", {{"x", 0}, {"y", 1}}},
    {"root ::= a b\nb ::= \"x\"\nc ::= \"y\"", {{"root", 0}, {"a", 1}, {"b", 2}, {"c", 3}}},
    {"root ::= (\"a\")* x\nx ::= [b]?", {{"root", 0}, {"root_1", 1}, {"root_2", 2}, {"x", 3}, {"x_4", 4}}},
    {"a ::= \"x\"\nb ::= a\na ::= \"y\"", {{"a", 0}, {"b", 1}}},
};

TEST(GrammarIds, HandedOutInOrderOfFirstMention) {
    for (const auto & c : ids_cases) {
        SCOPED_TRACE(c.grammar);
        const outcome out = parse_and_print(c.grammar);
        const std::map<std::string, uint32_t> symbols(out.state.symbol_table.begin(), out.state.symbol_table.end());
        EXPECT_EQ(symbols, c.symbols);
    }
}

// ---------------------------------------------------------------------------------------
// The element tables themselves, where the listing would hide a difference.

struct elements_case {
    std::string                                        grammar;
    std::vector<std::vector<whisper_grammar_element>>  rules;
};

const std::vector<elements_case> elements_cases = {
    {"root ::= \"\xC3\xA9\"", {{el(CHR, 0xE9), el(END)}}},
    {"root ::= [a-]", {{el(CHR, 'a'), el(CAL, '-'), el(END)}}},
    {"root ::= [-a]", {{el(CHR, '-'), el(CAL, 'a'), el(END)}}},
    {"root ::= [^a-cx]", {{el(NOT, 'a'), el(RNG, 'c'), el(CAL, 'x'), el(END)}}},
    {"root ::= \"ab\" | [c]", {{el(CHR, 'a'), el(CHR, 'b'), el(ALT), el(CHR, 'c'), el(END)}}},
    {"root ::= \"\"", {{el(END)}}},
    {"root ::= (\"a\" | )+",
     {{el(REF, 2), el(END)},
      {el(CHR, 'a'), el(ALT), el(END)},
      {el(REF, 1), el(REF, 2), el(ALT), el(REF, 1), el(END)}}},
    // x is referenced before it is defined; y is referenced and never defined.
    {"root ::= x y\nx ::= \"q\"", {{el(REF, 1), el(REF, 2), el(END)}, {el(CHR, 'q'), el(END)}}},
    {"a ::= b\nc ::= \"z\"", {{el(REF, 1), el(END)}, {}, {el(CHR, 'z'), el(END)}}},
};

bool same_elements(const std::vector<whisper_grammar_element> & a, const std::vector<whisper_grammar_element> & b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].type != b[i].type || a[i].value != b[i].value) return false;
    }
    return true;
}

TEST(GrammarElements, RulesHoldTheExpectedElements) {
    for (const auto & c : elements_cases) {
        SCOPED_TRACE(c.grammar);
        const outcome out = parse_and_print(c.grammar);
        ASSERT_EQ(out.state.rules.size(), c.rules.size());
        for (size_t i = 0; i < c.rules.size(); ++i) {
            EXPECT_TRUE(same_elements(out.state.rules[i], c.rules[i])) << "rule " << i;
        }
    }
}

TEST(GrammarElements, CRulesPointAtEachRuleAndNullForHoles) {
    const outcome out = parse_and_print("a ::= b\nc ::= \"z\"");
    const auto pointers = out.state.c_rules();
    ASSERT_EQ(pointers.size(), 3u);
    EXPECT_EQ(pointers[0], out.state.rules[0].data());
    EXPECT_EQ(pointers[1], nullptr);
    EXPECT_EQ(pointers[2], out.state.rules[2].data());
    EXPECT_EQ(pointers[2][0].type, CHR);
    EXPECT_EQ(pointers[2][0].value, uint32_t('z'));
}

struct undefined_case {
    std::string grammar;
    int64_t     id;
};

TEST(GrammarElements, FindUndefinedRule) {
    const std::vector<undefined_case> cases = {
        {"root ::= \"a\" x\nx ::= (\"b\")*", -1},
        {"root ::= a", 1},
        {"root ::= a b\nb ::= \"x\"", 1},
        {"root ::= b\nb ::= c d\nd ::= \"x\"", 2},
    };
    for (const auto & c : cases) {
        SCOPED_TRACE(c.grammar);
        EXPECT_EQ(grammar_parser::find_undefined_rule(parse_and_print(c.grammar).state), c.id);
    }
    parse_state by_hand;
    by_hand.symbol_table = {{"root", 0}};
    by_hand.rules = {{el(REF, 9), el(END)}};
    EXPECT_EQ(grammar_parser::find_undefined_rule(by_hand), 9);
    EXPECT_EQ(grammar_parser::find_undefined_rule(parse_state{}), -1);
}

// ---------------------------------------------------------------------------------------
// Texts that give no rules.

TEST(GrammarEmpty, BlankTextGivesEmptyStateSilently) {
    for (const char * text : {"", " ", "\n\n", " \t\r\n", "# only a comment", "# one\r\n\t# two\n"}) {
        SCOPED_TRACE(text);
        const outcome out = parse_and_print(text);
        EXPECT_TRUE(out.state.rules.empty());
        EXPECT_TRUE(out.state.symbol_table.empty());
        EXPECT_EQ(out.parse_errors, "");
    }
    stderr_capture capture;
    EXPECT_TRUE(grammar_parser::parse(nullptr).rules.empty());
    EXPECT_EQ(capture.finish(), "");
}

// Syntax errors: the exact message, an empty state, and rules parsed before it dropped.
struct error_case {
    std::string grammar;
    std::string message;
};

const std::vector<error_case> error_cases = {
    {"::= \"a\"", "expecting name at ::= \"a\""},
    {"root ::= \"a\"\n\"b\"", "expecting name at \"b\""},
    {"root ::= \"a\"\n*", "expecting name at *"},
    {"root = \"a\"", "expecting ::= at = \"a\""},
    {"root :: \"a\"", "expecting ::= at :: \"a\""},
    {"root", "expecting ::= at "},
    {"root :", "expecting ::= at :"},
    {"root ::= \"a\" )", "expecting newline or end at )"},
    {"root ::= \"a\"\nx ::= \"b\" ] \"c\"", "expecting newline or end at ] \"c\""},
    {"root ::= x_1", "expecting newline or end at _1"},
    {"root ::= (\"a\"", "expecting ')' at "},
    {"root ::= (\"a\" ] )", "expecting ')' at ] )"},
    {"root ::= *\"a\"", "expecting preceding item to */+/? at *\"a\""},
    {"root ::= \"a\" | +\"b\"", "expecting preceding item to */+/? at +\"b\""},
    {"root ::= ( ? )", "expecting preceding item to */+/? at ? )"},
    {"root ::= \"\"*", "expecting preceding item to */+/? at *"},
    {R"(root ::= "\q")", R"(unknown escape at \q")"},
    {R"(root ::= [\-])", R"(unknown escape at \-])"},
    {R"(root ::= "\x4")", R"(expecting 2 hex chars at 4")"},
    {R"(root ::= "\u12G4")", R"(expecting 4 hex chars at 12G4")"},
    {R"(root ::= "\U1234567")", R"(expecting 8 hex chars at 1234567")"},
    // The earlier rule is dropped with the rest.
    {"a ::= \"x\"\nb ::= \"y", "unexpected end of input"},
};

// Malformed text that stops at the end of the input: nothing is read past it.
const std::vector<error_case> truncated_cases = {
    {"root ::= \"abc", "unexpected end of input"},
    {"root ::= \"", "unexpected end of input"},
    {"root ::= [abc", "unexpected end of input"},
    {"root ::= [", "unexpected end of input"},
    {"root ::= [^", "unexpected end of input"},
    {"root ::= [a-", "unexpected end of input"},
    {"root ::= [a-\\", "unknown escape at \\"},
    {"root ::= \"ab\\", "unknown escape at \\"},
    {"root ::= [\\", "unknown escape at \\"},
    {"root ::= \"\\x", "expecting 2 hex chars at "},
    {"root ::= \"\\u00", "expecting 4 hex chars at 00"},
    {"root ::= [\\U0001F60", "expecting 8 hex chars at 0001F60"},
    // Lone UTF-8 lead bytes at the end, inside and outside a literal or class.
    {"root ::= \"\xC3", "unexpected end of input"},
    {"root ::= \"\xF0\x9F", "unexpected end of input"},
    {"root ::= [\xE2", "unexpected end of input"},
    {"root ::= [a-\xE2\x82", "unexpected end of input"},
    // The lead byte swallows the closing quote as a continuation byte.
    {"root ::= \"\xE2\"", "unexpected end of input"},
    {"root ::= \xE2", "expecting newline or end at \xE2"},
    {"\xF0", "expecting name at \xF0"},
    {"root ::= (", "expecting ')' at "},
    {"root ::= (\"a\" |", "expecting ')' at "},
    {"root ::= ", ""},  // not an error: an empty rule
};

void expect_parse_error(const error_case & c) {
    SCOPED_TRACE(c.grammar);
    const outcome out = parse_and_print(c.grammar);
    EXPECT_EQ(out.parse_errors, "parse: error parsing grammar: " + c.message + "\n");
    EXPECT_TRUE(out.state.rules.empty());
    EXPECT_TRUE(out.state.symbol_table.empty());
}

TEST(GrammarErrors, EachErrorHasItsMessage) {
    for (const auto & c : error_cases) expect_parse_error(c);
}

TEST(GrammarErrors, TruncatedTextNeverReadsPastTheEnd) {
    for (const auto & c : truncated_cases) {
        if (c.message.empty()) {
            const outcome out = parse_and_print(c.grammar);
            EXPECT_EQ(out.parse_errors, "");
            ASSERT_EQ(out.state.rules.size(), 1u);
            EXPECT_EQ(out.listing.printed, "root ::= \n");
        } else {
            expect_parse_error(c);
        }
    }
}

TEST(GrammarErrors, EveryPrefixOfAGrammarParsesOrFailsCleanly) {
    // Cuts a grammar that uses every construct at each byte, so that every step meets the
    // end of the text in turn.
    const std::string grammar = "root ::= (\"a\\x41\\u00e9\" | [^a-z\\]\xC3\xA9-]+)* name? # c\r\n"
                                "name ::= \"\\U0001F600\xE2\x82\xAC\"\n";
    for (size_t n = 0; n <= grammar.size(); ++n) {
        SCOPED_TRACE(n);
        const outcome out = parse_and_print(grammar.substr(0, n));
        if (n == 0) {
            EXPECT_TRUE(out.state.rules.empty());
            EXPECT_EQ(out.parse_errors, "");
        } else if (out.state.rules.empty()) {
            EXPECT_EQ(out.parse_errors.rfind("parse: error parsing grammar: ", 0), 0u);
            EXPECT_EQ(out.parse_errors.back(), '\n');
        } else if (grammar_parser::find_undefined_rule(out.state) < 0) {
            EXPECT_EQ(out.listing.errors, "");  // only a cut before a rule's definition leaves a hole
        }
    }
    EXPECT_EQ(parse_and_print(grammar).listing.printed,
              "root ::= root_3 root_5 \n"
              "root_1 ::= [a] [A] [<U+00E9>] | root_2 \n"
              "root_2 ::= [^a-z]<U+00E9>-] root_2 | [^a-z]<U+00E9>-] \n"
              "root_3 ::= root_1 root_3 | \n"
              "name ::= [<U+1F600>] [<U+20AC>] \n"
              "root_5 ::= name | \n");
}

TEST(GrammarErrors, NestingIsCappedInsteadOfExhaustingTheStack) {
    const auto nested = [](int depth) {
        return "root ::= " + std::string(size_t(depth), '(') + "\"a\"" + std::string(size_t(depth), ')');
    };
    const int cap = grammar_parser::max_group_depth;
    const outcome deepest = parse_and_print(nested(cap));
    EXPECT_EQ(deepest.parse_errors, "");
    EXPECT_EQ(deepest.state.rules.size(), size_t(cap) + 1);

    const std::string too_deep = nested(cap + 1);
    const outcome refused = parse_and_print(too_deep);
    EXPECT_TRUE(refused.state.rules.empty());
    EXPECT_EQ(refused.parse_errors,
              "parse: error parsing grammar: groups nested too deeply at " + too_deep.substr(9 + size_t(cap)) + "\n");

    const outcome huge = parse_and_print("root ::= " + std::string(200000, '('));
    EXPECT_TRUE(huge.state.rules.empty());
    EXPECT_EQ(huge.parse_errors.rfind("parse: error parsing grammar: groups nested too deeply at (", 0), 0u);
}

// ---------------------------------------------------------------------------------------
// print_grammar on malformed states: the message, and what was printed before it.

struct print_error_case {
    const char *                                       what;
    std::map<std::string, uint32_t>                    symbols;
    std::vector<std::vector<whisper_grammar_element>>  rules;
    std::string                                        printed;
    std::string                                        message;
};

TEST(GrammarPrintErrors, StopAtTheFaultWithItsMessage) {
    const std::vector<print_error_case> cases = {
        {"empty rule", {{"root", 0}}, {{}}, "", "malformed rule, does not end with WHISPER_GRETYPE_END: 0"},
        {"no end", {{"root", 0}}, {{el(CHR, 'a')}}, "", "malformed rule, does not end with WHISPER_GRETYPE_END: 0"},
        {"hole below a defined rule", {{"root", 0}, {"a", 1}, {"b", 2}},
         {{el(REF, 1), el(END)}, {}, {el(CHR, 'x'), el(END)}}, "root ::= a \n",
         "malformed rule, does not end with WHISPER_GRETYPE_END: 1"},
        {"end inside", {{"root", 0}}, {{el(CHR, 'a'), el(END), el(CHR, 'b'), el(END)}}, "root ::= [a] ",
         "unexpected end of rule: 0,1"},
        {"range first", {{"root", 0}}, {{el(RNG, 'z'), el(END)}}, "root ::= ",
         "WHISPER_GRETYPE_CHAR_RNG_UPPER without preceding char: 0,0"},
        {"range after ref", {{"root", 0}}, {{el(REF, 0), el(RNG, 'z'), el(END)}}, "root ::= root ",
         "WHISPER_GRETYPE_CHAR_RNG_UPPER without preceding char: 0,1"},
        {"char alt after alt", {{"root", 0}}, {{el(CHR, 'a'), el(ALT), el(CAL, 'b'), el(END)}}, "root ::= [a] | ",
         "WHISPER_GRETYPE_CHAR_ALT without preceding char: 0,2"},
        {"char alt first", {{"root", 0}}, {{el(CAL, 'b'), el(END)}}, "root ::= ",
         "WHISPER_GRETYPE_CHAR_ALT without preceding char: 0,0"},
        {"rule without a name", {}, {{el(END)}}, "", "map::at"},
        {"reference without a name", {{"root", 0}}, {{el(CHR, 'a'), el(REF, 7), el(END)}}, "root ::= [a] ", "map::at"},
    };
    for (const auto & c : cases) {
        SCOPED_TRACE(c.what);
        parse_state state;
        state.symbol_table.insert(c.symbols.begin(), c.symbols.end());
        state.rules = c.rules;
        const printout out = print(state);
        EXPECT_EQ(out.printed, c.printed);
        EXPECT_EQ(out.errors, "\nprint_grammar: error printing grammar: " + c.message + "\n");
    }
}

TEST(GrammarPrintErrors, UndefinedRuleBelowTheHighestIsReported) {
    const outcome out = parse_and_print("root ::= a b\nb ::= \"x\"");
    EXPECT_EQ(out.parse_errors, "");
    ASSERT_EQ(out.state.rules.size(), 3u);
    EXPECT_EQ(out.listing.printed, "root ::= a b \n");
    EXPECT_EQ(out.listing.errors,
              "\nprint_grammar: error printing grammar: malformed rule, does not end with WHISPER_GRETYPE_END: 1\n");
    EXPECT_EQ(out.state.rules.size(), 3u);  // printing leaves the state alone
}

TEST(GrammarPrintErrors, OnStandardErrorTheMessageFollowsTheCutLine) {
    // The driver lists the grammar on standard error, where the listing and the message meet.
    parse_state state;
    state.symbol_table = {{"root", 0}, {"x", 1}};
    state.rules = {{el(CHR, 'a'), el(REF, 1), el(END)}, {el(CHR, 'b'), el(ALT), el(RNG, 'c'), el(END)}};
    stderr_capture capture;
    grammar_parser::print_grammar(stderr, state);
    EXPECT_EQ(capture.finish(), "root ::= [a] x \nx ::= [b] | \n"
                                "print_grammar: error printing grammar: "
                                "WHISPER_GRETYPE_CHAR_RNG_UPPER without preceding char: 1,2\n");
}

// ---------------------------------------------------------------------------------------
// Lexical steps.

struct utf8_case {
    std::string bytes;
    uint32_t    value;
    size_t      length;
};

TEST(GrammarSteps, DecodeUtf8) {
    const std::vector<utf8_case> cases = {
        {"A", 0x41, 1},
        {"\x7F", 0x7F, 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xE2\x82\xAC", 0x20AC, 3},
        {"\xF0\x9F\x98\x80", 0x1F600, 4},
        {"\xC3\xA9z", 0xE9, 2},
        {"\x80", 0x00, 1},          // lone continuation byte: its low seven bits
        {"\xBF" "A", 0x3F, 1},
        {"\xC3", 0x03, 1},          // lead byte at the end: stops there
        {"\xF0\x9F", 0x1F, 2},
        {"\xE2\x28\xA1", (2u << 12) | (0x28u << 6) | 0x21u, 3},  // continuations not validated
        {"\xFF\xBF\xBF\xBF", 0x3FFFFFu, 4},
    };
    for (const auto & c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        const auto text = exact_copy(c.bytes);
        uint32_t value = 0xDEADu;
        const char * after = grammar_parser::decode_utf8(text.get(), text.get() + c.bytes.size(), value);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(size_t(after - text.get()), c.length);
    }
}

struct hex_case {
    std::string text;
    int         size;
    uint32_t    value;  // when it parses
    std::string error;  // when it does not
};

TEST(GrammarSteps, ParseHex) {
    const std::vector<hex_case> cases = {
        {"41", 2, 0x41, ""},
        {"aF", 2, 0xAF, ""},
        {"414", 2, 0x41, ""},
        {"FFFFFFFF", 8, 0xFFFFFFFFu, ""},
        {"0001f600", 8, 0x1F600, ""},
        {"4", 2, 0, "expecting 2 hex chars at 4"},
        {"", 4, 0, "expecting 4 hex chars at "},
        {"12g4", 4, 0, "expecting 4 hex chars at 12g4"},
    };
    for (const auto & c : cases) {
        SCOPED_TRACE(c.text);
        const auto text = exact_copy(c.text);
        parse_state state;
        grammar_parser::parse_context ctx{text.get() + c.text.size(), state, {}, 0};
        uint32_t value = 0;
        const char * after = grammar_parser::parse_hex(ctx, text.get(), c.size, value);
        if (c.error.empty()) {
            ASSERT_NE(after, nullptr);
            EXPECT_EQ(value, c.value);
            EXPECT_EQ(after, text.get() + c.size);
        } else {
            EXPECT_EQ(after, nullptr);
            EXPECT_EQ(ctx.error, c.error);
        }
    }
}

// ---------------------------------------------------------------------------------------

int write_seeds(const std::string & dir) {
    std::vector<std::string> texts;
    for (const auto & c : listing_cases) texts.push_back(c.grammar);
    for (const auto & c : ids_cases) texts.push_back(c.grammar);
    for (const auto & c : elements_cases) texts.push_back(c.grammar);
    for (const auto & c : error_cases) texts.push_back(c.grammar);
    for (const auto & c : truncated_cases) texts.push_back(c.grammar);
    for (size_t i = 0; i < texts.size(); ++i) {
        std::ofstream out(dir + "/seed-" + std::to_string(i), std::ios::binary);
        out << texts[i];
        if (!out) {
            std::fprintf(stderr, "cannot write seeds into %s\n", dir.c_str());
            return 1;
        }
    }
    std::printf("%zu seeds written to %s\n", texts.size(), dir.c_str());
    return 0;
}

} // namespace

int main(int argc, char ** argv) {
    const std::string_view flag = "--write-seeds=";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, flag.size()) == flag) return write_seeds(std::string(arg.substr(flag.size())));
    }
#ifdef GRAMMAR_TESTS_SANITIZED
    // Sanitizer reports go to the real standard error even while a test captures fd 2.
    __sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<intptr_t>(dup(2))));
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
