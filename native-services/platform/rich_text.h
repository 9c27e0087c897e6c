// The rich-text document model shared by the readers (RTF, RTFD, plain text) and the writers
// (DOCX, HTML). Lengths are in twips (1/20 point) and font sizes in half-points, the units both
// RTF and WordprocessingML use, so nothing is rounded on the way through.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lv::rich {

struct Color {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Color &) const = default;
};

enum class VerticalPosition { baseline, superscript, subscript };

struct CharacterStyle {
    std::string font_family;        // empty: the document default
    int size_half_points = 0;       // 0: the document default
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike_through = false;
    VerticalPosition vertical = VerticalPosition::baseline;
    std::optional<Color> foreground;
    std::optional<Color> background;
    std::string link;               // target URL, empty when the run is no link
    bool operator==(const CharacterStyle &) const = default;
};

enum class Alignment { left, center, right, justified };
enum class TabKind { left, center, right, decimal };

struct TabStop {
    int position = 0;  // twips from the left indent
    TabKind kind = TabKind::left;
    bool operator==(const TabStop &) const = default;
};

struct ParagraphStyle {
    Alignment alignment = Alignment::left;
    int left_indent = 0;
    int right_indent = 0;
    int first_line_indent = 0;  // negative: hanging
    int space_before = 0;
    int space_after = 0;
    std::vector<TabStop> tab_stops;
    bool operator==(const ParagraphStyle &) const = default;
};

struct Attachment {
    std::string file_name;
    std::vector<std::uint8_t> bytes;
};

// A stretch of text in one style, or one attachment. Text is UTF-8; '\t' is a tab and '\n' a
// line break inside the paragraph.
struct Run {
    CharacterStyle style;
    std::string text;
    int attachment = -1;  // index into Document::attachments, or -1 for text
};

struct Paragraph {
    ParagraphStyle style;
    std::vector<Run> runs;
};

struct Document {
    std::vector<Paragraph> paragraphs;
    std::vector<Attachment> attachments;
};

// A document of unstyled text: one paragraph per line (LF, CR LF, CR or U+2029 end one),
// U+2028 a line break inside the paragraph.
Document plain_document(const std::string &utf8);

}  // namespace lv::rich
