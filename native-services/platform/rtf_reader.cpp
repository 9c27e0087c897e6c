#include "rtf_reader.h"

#include "text_decoding.h"

#include <iconv.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <string_view>

namespace lv::rich {
namespace {

// What the text of the current group feeds.
enum class Destination { text, skip, font_table, color_table, field_instruction, picture, next_graphic };
enum class PictureKind { none, png, jpeg };

struct GroupState {
    Destination destination = Destination::text;
    bool owns_destination = false;   // this group opened its destination
    bool ignorable_next = false;     // "\*" seen: an unknown next word skips the group
    bool attachment_holder = false;  // the group around an attachment: its text is a placeholder
    CharacterStyle style;            // font_family is resolved from `font` when text is emitted
    int font = -1;                   // -1: the document default
    ParagraphStyle paragraph;
    TabKind pending_tab_kind = TabKind::left;
    int unicode_skip = 1;            // \ucN: fallback characters after each \uN
    PictureKind picture_kind = PictureKind::none;
};

struct Font {
    std::string name;
    int code_page = 0;  // 0: the document's
};

int charset_code_page(int charset) {
    switch (charset) {
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;  // ANSI, default, symbol: the document's code page
    }
}

std::string iconv_name(int code_page) {
    switch (code_page) {
    case 10000: return "MACINTOSH";
    case 65001: return "UTF-8";
    case 20127: return "ASCII";
    case 1361: return "JOHAB";
    default: return "CP" + std::to_string(code_page);
    }
}

// Code pages are opened once per document; an unknown one reads as Windows-1252.
class CodePages {
public:
    ~CodePages() {
        for (auto &[page, converter] : converters_) iconv_close(converter);
    }
    void decode(int code_page, const std::string &bytes, std::string &out) {
        iconv_t converter = get(code_page);
        if (converter == reinterpret_cast<iconv_t>(-1)) {
            for (unsigned char c : bytes) append_utf8(out, c);
            return;
        }
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        char *in = const_cast<char *>(bytes.data());
        std::size_t in_left = bytes.size();
        char chunk[1024];
        while (in_left > 0) {
            char *dst = chunk;
            std::size_t dst_left = sizeof chunk;
            const std::size_t result = iconv(converter, &in, &in_left, &dst, &dst_left);
            out.append(chunk, dst - chunk);
            if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
            append_utf8(out, 0xFFFD);  // a byte the code page does not map, or a cut sequence
            ++in;
            --in_left;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
    }

private:
    iconv_t get(int code_page) {
        auto found = converters_.find(code_page);
        if (found != converters_.end()) return found->second;
        iconv_t converter = iconv_open("UTF-8", iconv_name(code_page).c_str());
        if (converter == reinterpret_cast<iconv_t>(-1)) converter = iconv_open("UTF-8", "CP1252");
        converters_[code_page] = converter;
        return converter;
    }
    std::map<int, iconv_t> converters_;
};

bool is_letter(std::uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int hex_value(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// The target of a HYPERLINK field instruction: its first argument, or "#anchor" for \l.
std::string hyperlink_target(const std::string &instruction) {
    std::size_t i = 0;
    auto next_token = [&](bool &quoted) -> std::optional<std::string> {
        while (i < instruction.size() && std::strchr(" \t\r\n", instruction[i])) ++i;
        if (i >= instruction.size()) return std::nullopt;
        quoted = instruction[i] == '"';
        std::string token;
        if (quoted) {
            ++i;
            while (i < instruction.size() && instruction[i] != '"') token += instruction[i++];
            if (i < instruction.size()) ++i;
        } else {
            while (i < instruction.size() && !std::strchr(" \t\r\n", instruction[i])) token += instruction[i++];
        }
        return token;
    };
    bool quoted = false;
    const auto keyword = next_token(quoted);
    if (!keyword || quoted || strcasecmp(keyword->c_str(), "HYPERLINK") != 0) return {};
    std::string target, anchor;
    while (const auto token = next_token(quoted)) {
        if (!quoted && !token->empty() && (*token)[0] == '\\') {
            const std::string switch_name = token->substr(1);
            bool argument_quoted = false;
            if (switch_name == "l") {
                if (const auto argument = next_token(argument_quoted)) anchor = *argument;
            } else if (switch_name == "o" || switch_name == "t") {
                next_token(argument_quoted);
            }
        } else if (target.empty()) {
            target = *token;
        }
    }
    if (!anchor.empty()) target += "#" + anchor;
    return target;
}

class Reader {
public:
    Reader(const std::uint8_t *bytes, std::size_t count, const AttachmentLoader &loader)
        : p_(bytes), end_(bytes + count), load_attachment_(loader) {}

    std::optional<Document> read() {
        if (end_ - p_ < 5 || std::memcmp(p_, "{\\rtf", 5) != 0) return std::nullopt;
        GroupState initial;
        initial.style.size_half_points = 24;
        stack_.push_back(initial);  // the state outside every group
        while (p_ < end_ && !finished_) {
            const std::uint8_t c = *p_;
            if (c == '{') {
                ++p_;
                flush_bytes();
                skip_ = 0;
                if (static_cast<int>(stack_.size()) > rtf_max_group_depth) return std::nullopt;
                GroupState inner = stack_.back();
                inner.owns_destination = false;
                inner.ignorable_next = false;
                inner.attachment_holder = false;
                stack_.push_back(inner);
            } else if (c == '}') {
                ++p_;
                flush_bytes();
                skip_ = 0;
                close_group();
            } else if (c == '\\') {
                ++p_;
                control();
            } else if (c == '\r' || c == '\n' || c == 0) {
                ++p_;
            } else if (c == '\t') {
                ++p_;
                flush_bytes();
                emit_text("\t");
            } else {
                ++p_;
                text_byte(c);
            }
        }
        flush_bytes();
        if (!current_.runs.empty()) end_paragraph();
        return std::move(document_);
    }

private:
    GroupState &state() { return stack_.back(); }

    void close_group() {
        if (stack_.size() <= 1) {
            finished_ = true;
            return;
        }
        GroupState closed = std::move(stack_.back());
        stack_.pop_back();
        if (stack_.size() == 1) finished_ = true;  // the document group ended
        if (!closed.owns_destination) return;
        switch (closed.destination) {
        case Destination::font_table:
            commit_font();
            break;
        case Destination::field_instruction:
            state().style.link = hyperlink_target(field_instruction_);
            field_instruction_.clear();
            break;
        case Destination::picture:
            finish_picture(closed.picture_kind);
            break;
        case Destination::next_graphic:
            finish_next_graphic();
            break;
        default:
            break;
        }
    }

    // --- text ---------------------------------------------------------------------------------

    void text_byte(std::uint8_t c) {
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (state().destination == Destination::picture) {
            picture_nibble(c);
            return;
        }
        pending_bytes_ += static_cast<char>(c);
    }

    int current_code_page() {
        const int font = state().font >= 0 ? state().font : default_font_;
        const auto found = fonts_.find(font);
        if (found != fonts_.end() && found->second.code_page != 0) return found->second.code_page;
        return document_code_page_;
    }

    void flush_bytes() {
        if (pending_bytes_.empty()) return;
        std::string utf8;
        code_pages_.decode(current_code_page(), pending_bytes_, utf8);
        pending_bytes_.clear();
        emit_text(utf8);
    }

    void emit_code_point(std::uint32_t cp) {
        flush_bytes();
        std::string utf8;
        append_utf8(utf8, cp);
        emit_text(utf8);
    }

    void emit_text(const std::string &utf8) {
        GroupState &s = state();
        switch (s.destination) {
        case Destination::text:
            if (!s.attachment_holder) append_run_text(utf8);
            break;
        case Destination::font_table:
            for (char c : utf8) {
                if (c == ';') commit_font();
                else font_name_ += c;
            }
            break;
        case Destination::color_table:
            for (char c : utf8) {
                if (c == ';') {
                    colors_.push_back(color_started_ ? std::optional<Color>(color_) : std::nullopt);
                    color_ = {};
                    color_started_ = false;
                }
            }
            break;
        case Destination::field_instruction:
            if (field_instruction_.size() < 65536) field_instruction_ += utf8;
            break;
        case Destination::next_graphic:
            if (next_graphic_name_open_ && next_graphic_name_.size() < 4096) next_graphic_name_ += utf8;
            break;
        default:
            break;
        }
    }

    CharacterStyle resolved_style() {
        CharacterStyle style = state().style;
        const int font = state().font >= 0 ? state().font : default_font_;
        const auto found = fonts_.find(font);
        if (found != fonts_.end()) style.font_family = found->second.name;
        return style;
    }

    void append_run_text(const std::string &utf8) {
        CharacterStyle style = resolved_style();
        if (!current_.runs.empty() && current_.runs.back().attachment < 0 && current_.runs.back().style == style) {
            current_.runs.back().text += utf8;
        } else {
            current_.runs.push_back(Run{std::move(style), utf8, -1});
        }
    }

    void append_attachment(Attachment attachment) {
        document_.attachments.push_back(std::move(attachment));
        current_.runs.push_back(Run{resolved_style(), {}, static_cast<int>(document_.attachments.size() - 1)});
    }

    void end_paragraph() {
        current_.style = state().paragraph;
        document_.paragraphs.push_back(std::move(current_));
        current_ = Paragraph{};
    }

    // --- tables and destinations --------------------------------------------------------------

    void commit_font() {
        const std::string name = trim(font_name_);
        if (table_font_ >= 0 && !name.empty()) {
            fonts_[table_font_] = Font{name, table_code_page_};
        }
        font_name_.clear();
        table_code_page_ = 0;
    }

    void picture_nibble(std::uint8_t c) {
        const int value = hex_value(c);
        if (value < 0 || picture_bytes_.size() >= max_picture_) return;
        if (picture_high_ < 0) {
            picture_high_ = value;
        } else {
            picture_bytes_.push_back(static_cast<std::uint8_t>(picture_high_ << 4 | value));
            picture_high_ = -1;
        }
    }

    void finish_picture(PictureKind kind) {
        std::vector<std::uint8_t> bytes = std::move(picture_bytes_);
        picture_bytes_.clear();
        picture_high_ = -1;
        if (kind == PictureKind::none || bytes.empty() || state().destination != Destination::text) return;
        ++picture_count_;
        const std::string name = "image" + std::to_string(picture_count_) + (kind == PictureKind::png ? ".png" : ".jpg");
        append_attachment(Attachment{name, std::move(bytes)});
    }

    void finish_next_graphic() {
        const std::string name = trim(next_graphic_name_);
        next_graphic_name_.clear();
        next_graphic_name_open_ = false;
        if (state().destination != Destination::text) return;
        state().attachment_holder = true;  // what follows in this group stands for the attachment
        if (name.empty() || !load_attachment_) return;
        std::optional<std::vector<std::uint8_t>> bytes = load_attachment_(name);
        if (bytes) append_attachment(Attachment{name, std::move(*bytes)});
    }

    void enter(Destination destination) {
        state().destination = destination;
        state().owns_destination = true;
    }

    // --- control words ------------------------------------------------------------------------

    void control() {
        if (p_ >= end_) return;
        const std::uint8_t c = *p_;
        if (is_letter(c)) {
            std::string word;
            while (p_ < end_ && is_letter(*p_)) {
                if (word.size() < 32) word += static_cast<char>(*p_);
                ++p_;
            }
            bool has_parameter = false;
            bool negative = false;
            long long value = 0;
            if (p_ < end_ && *p_ == '-' && p_ + 1 < end_ && *(p_ + 1) >= '0' && *(p_ + 1) <= '9') {
                negative = true;
                ++p_;
            }
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
                has_parameter = true;
                if (value < INT_MAX) value = value * 10 + (*p_ - '0');
                ++p_;
            }
            if (p_ < end_ && *p_ == ' ') ++p_;
            if (value > INT_MAX) value = INT_MAX;
            const int parameter = static_cast<int>(negative ? -value : value);
            flush_bytes();
            if (skip_ > 0) {
                --skip_;
                if (word != "bin") return;
            }
            const bool ignorable = state().ignorable_next;
            state().ignorable_next = false;
            if (state().destination == Destination::next_graphic) next_graphic_name_open_ = false;
            word_control(word, has_parameter, parameter, ignorable);
            return;
        }
        ++p_;
        if (c == '\'') {
            if (end_ - p_ < 2 || hex_value(p_[0]) < 0 || hex_value(p_[1]) < 0) return;
            const std::uint8_t byte = static_cast<std::uint8_t>(hex_value(p_[0]) << 4 | hex_value(p_[1]));
            p_ += 2;
            if (skip_ > 0) {
                --skip_;
                return;
            }
            if (state().destination != Destination::picture) pending_bytes_ += static_cast<char>(byte);
            return;
        }
        flush_bytes();
        if (skip_ > 0) {
            --skip_;
            return;
        }
        switch (c) {
        case '*': state().ignorable_next = true; break;
        case '\\': case '{': case '}': text_byte(c); break;
        case '~': emit_code_point(0x00A0); break;
        case '_': emit_code_point(0x2011); break;
        case '\r': case '\n': paragraph_break(); break;
        case '\t': emit_text("\t"); break;
        default: break;  // \- \| \: and the rest show nothing
        }
    }

    void paragraph_break() {
        if (state().destination == Destination::text) end_paragraph();
    }

    void word_control(const std::string &w, bool has_parameter, int n, bool ignorable) {
        GroupState &s = state();
        const bool on = !has_parameter || n != 0;

        // Destinations.
        if (w == "rtf" || w == "shppict" || w == "field" || w == "fldrslt" || w == "listtext" || w == "pntext") return;
        if (w == "fonttbl") return enter(Destination::font_table);
        if (w == "colortbl") return enter(Destination::color_table);
        if (w == "fldinst") return enter(Destination::field_instruction);
        if (w == "pict") {
            enter(Destination::picture);
            picture_bytes_.clear();
            picture_high_ = -1;
            return;
        }
        if (w == "NeXTGraphic") {
            enter(Destination::next_graphic);
            next_graphic_name_.clear();
            next_graphic_name_open_ = true;
            return;
        }
        static const char *const skipped[] = {
            "stylesheet", "info", "listtable", "listoverridetable", "rsidtbl", "generator", "xmlnstbl",
            "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr", "footerf",
            "footnote", "annotation", "themedata", "colorschememapping", "datastore", "latentstyles",
            "nonshppict", "objdata", "expandedcolortbl", "filetbl", "revtbl", "pgdsctbl", "bkmkstart",
            "bkmkend", "xe", "tc", "txe", "pn", "pnseclvl", "mmathPr", "fldtype", "private", "wgrffmtfilter",
        };
        for (const char *name : skipped) {
            if (w == name) return enter(Destination::skip);
        }
        if (s.destination == Destination::picture) {
            if (w == "pngblip") s.picture_kind = PictureKind::png;
            else if (w == "jpegblip") s.picture_kind = PictureKind::jpeg;
            else if (w == "bin") binary(n, true);
            else if (w == "wmetafile" || w == "emfblip" || w == "macpict" || w == "dibitmap" || w == "wbitmap" ||
                     w == "pmmetafile")
                s.picture_kind = PictureKind::none;
            return;
        }
        if (w == "bin") return binary(n, false);
        if (ignorable) return enter(Destination::skip);  // an unknown \* destination

        // Tables.
        if (s.destination == Destination::font_table) {
            if (w == "f") {
                commit_font();
                table_font_ = n;
            } else if (w == "fcharset") {
                table_code_page_ = charset_code_page(n);
            } else if (w == "cpg") {
                table_code_page_ = n;
            }
            return;
        }
        if (s.destination == Destination::color_table) {
            const std::uint8_t component = static_cast<std::uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
            if (w == "red") color_.red = component;
            else if (w == "green") color_.green = component;
            else if (w == "blue") color_.blue = component;
            else return;
            color_started_ = true;
            return;
        }

        // Document.
        if (w == "ansicpg") { if (n > 0) document_code_page_ = n; return; }
        if (w == "mac") { document_code_page_ = 10000; return; }
        if (w == "pc") { document_code_page_ = 437; return; }
        if (w == "pca") { document_code_page_ = 850; return; }
        if (w == "deff") { default_font_ = n; return; }
        if (w == "uc") { s.unicode_skip = n < 0 ? 0 : n > 16 ? 16 : n; return; }
        if (w == "u") {
            unicode(n);
            skip_ = s.unicode_skip;
            return;
        }

        // Special characters.
        if (w == "par" || w == "row" || w == "page" || w == "sect") return paragraph_break();
        if (w == "line") return emit_text("\n");
        if (w == "tab" || w == "cell") return emit_text("\t");
        if (w == "emdash") return emit_code_point(0x2014);
        if (w == "endash") return emit_code_point(0x2013);
        if (w == "bullet") return emit_code_point(0x2022);
        if (w == "lquote") return emit_code_point(0x2018);
        if (w == "rquote") return emit_code_point(0x2019);
        if (w == "ldblquote") return emit_code_point(0x201C);
        if (w == "rdblquote") return emit_code_point(0x201D);
        if (w == "emspace") return emit_code_point(0x2003);
        if (w == "enspace") return emit_code_point(0x2002);

        // Paragraph properties.
        ParagraphStyle &para = s.paragraph;
        if (w == "pard") { para = ParagraphStyle{}; s.pending_tab_kind = TabKind::left; return; }
        if (w == "ql") { para.alignment = Alignment::left; return; }
        if (w == "qc") { para.alignment = Alignment::center; return; }
        if (w == "qr") { para.alignment = Alignment::right; return; }
        if (w == "qj") { para.alignment = Alignment::justified; return; }
        if (w == "li") { para.left_indent = n; return; }
        if (w == "ri") { para.right_indent = n; return; }
        if (w == "fi") { para.first_line_indent = n; return; }
        if (w == "sb") { para.space_before = n; return; }
        if (w == "sa") { para.space_after = n; return; }
        if (w == "tqr") { s.pending_tab_kind = TabKind::right; return; }
        if (w == "tqc") { s.pending_tab_kind = TabKind::center; return; }
        if (w == "tqdec") { s.pending_tab_kind = TabKind::decimal; return; }
        if (w == "tx") {
            if (para.tab_stops.size() < 64) para.tab_stops.push_back(TabStop{n, s.pending_tab_kind});
            s.pending_tab_kind = TabKind::left;
            return;
        }

        // Character properties.
        CharacterStyle &style = s.style;
        if (w == "plain") {
            const std::string link = style.link;
            style = CharacterStyle{};
            style.size_half_points = 24;
            style.link = link;  // a field result keeps its link
            s.font = -1;
            return;
        }
        if (w == "b") { style.bold = on; return; }
        if (w == "i") { style.italic = on; return; }
        if (w == "strike" || w == "striked") { style.strike_through = on; return; }
        if (w == "ulnone") { style.underline = false; return; }
        if (w == "ul" || w == "uld" || w == "uldash" || w == "uldashd" || w == "uldashdd" || w == "uldb" ||
            w == "ulhwave" || w == "ulldash" || w == "ulth" || w == "ulthd" || w == "ulthdash" || w == "ulw" ||
            w == "ulwave" || w == "ululdbwave" || w == "ulthldash" || w == "ulthdashd" || w == "ulthdashdd") {
            style.underline = on;
            return;
        }
        if (w == "super") { style.vertical = on ? VerticalPosition::superscript : VerticalPosition::baseline; return; }
        if (w == "sub") { style.vertical = on ? VerticalPosition::subscript : VerticalPosition::baseline; return; }
        if (w == "nosupersub") { style.vertical = VerticalPosition::baseline; return; }
        if (w == "up") { style.vertical = n > 0 ? VerticalPosition::superscript : VerticalPosition::baseline; return; }
        if (w == "dn") { style.vertical = n > 0 ? VerticalPosition::subscript : VerticalPosition::baseline; return; }
        if (w == "fs") { style.size_half_points = n > 0 && n <= 3276 ? n : 24; return; }
        if (w == "f") { s.font = n; return; }
        if (w == "cf") { style.foreground = color_at(n); return; }
        if (w == "cb" || w == "highlight" || w == "chcbpat") { style.background = color_at(n); return; }
    }

    std::optional<Color> color_at(int index) const {
        if (index <= 0 || static_cast<std::size_t>(index) >= colors_.size()) return std::nullopt;
        return colors_[index];
    }

    void unicode(int n) {
        std::uint32_t cp = n < 0 ? static_cast<std::uint32_t>(n + 65536) : static_cast<std::uint32_t>(n);
        if (cp > 0xFFFF) cp = 0xFFFD;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (high_surrogate_) emit_code_point(0xFFFD);
            high_surrogate_ = cp;
            return;
        }
        if (cp >= 0xDC00 && cp <= 0xDFFF && high_surrogate_) {
            cp = 0x10000 + ((high_surrogate_ - 0xD800) << 10) + (cp - 0xDC00);
        }
        high_surrogate_ = 0;
        emit_code_point(cp);
    }

    // \binN: N raw bytes follow, bounded by the input.
    void binary(int n, bool keep) {
        const std::size_t count = n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), end_ - p_);
        if (keep) {
            const std::size_t room = max_picture_ - std::min(max_picture_, picture_bytes_.size());
            picture_bytes_.insert(picture_bytes_.end(), p_, p_ + std::min(count, room));
        }
        p_ += count;
    }

    static constexpr std::size_t max_picture_ = 256u << 20;

    const std::uint8_t *p_;
    const std::uint8_t *end_;
    const AttachmentLoader &load_attachment_;
    bool finished_ = false;
    std::vector<GroupState> stack_;
    Document document_;
    Paragraph current_;
    CodePages code_pages_;
    std::string pending_bytes_;
    int skip_ = 0;
    std::uint32_t high_surrogate_ = 0;
    int document_code_page_ = 1252;
    int default_font_ = 0;
    std::map<int, Font> fonts_;
    int table_font_ = -1;
    int table_code_page_ = 0;
    std::string font_name_;
    std::vector<std::optional<Color>> colors_;
    Color color_;
    bool color_started_ = false;
    std::string field_instruction_;
    std::vector<std::uint8_t> picture_bytes_;
    int picture_high_ = -1;
    int picture_count_ = 0;
    std::string next_graphic_name_;
    bool next_graphic_name_open_ = false;
};

}  // namespace

std::optional<Document> read_rtf(const std::uint8_t *bytes, std::size_t count, const AttachmentLoader &load_attachment) {
    if (!bytes) return std::nullopt;
    return Reader(bytes, count, load_attachment).read();
}

}  // namespace lv::rich
