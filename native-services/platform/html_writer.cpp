#include "html_writer.h"

#include "url_path.h"
#include "xml_escape.h"

#include <cstdio>

namespace lv::rich {
namespace {

std::string css_color(const Color &color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", color.red, color.green, color.blue);
    return text;
}

std::string points(int twips) {
    char text[32];
    std::snprintf(text, sizeof text, "%gpt", twips / 20.0);
    return text;
}

std::string paragraph_css(const ParagraphStyle &style) {
    static const char *const alignments[] = {"left", "center", "right", "justify"};
    std::string css = "margin:" + points(style.space_before) + " " + points(style.right_indent) + " " +
                      points(style.space_after) + " " + points(style.left_indent) + ";";
    if (style.alignment != Alignment::left) css += std::string("text-align:") + alignments[static_cast<int>(style.alignment)] + ";";
    if (style.first_line_indent) css += "text-indent:" + points(style.first_line_indent) + ";";
    return css;
}

std::string run_css(const CharacterStyle &style) {
    std::string css;
    if (!style.font_family.empty()) {
        std::string family;
        append_xml_escaped(family, style.font_family);
        css += "font-family:'" + family + "';";
    }
    if (style.size_half_points > 0) {
        char size[32];
        std::snprintf(size, sizeof size, "font-size:%gpt;", style.size_half_points / 2.0);
        css += size;
    }
    if (style.bold) css += "font-weight:bold;";
    if (style.italic) css += "font-style:italic;";
    if (style.underline && style.strike_through) css += "text-decoration:underline line-through;";
    else if (style.underline) css += "text-decoration:underline;";
    else if (style.strike_through) css += "text-decoration:line-through;";
    if (style.vertical == VerticalPosition::superscript) css += "vertical-align:super;font-size:smaller;";
    if (style.vertical == VerticalPosition::subscript) css += "vertical-align:sub;font-size:smaller;";
    if (style.foreground) css += "color:" + css_color(*style.foreground) + ";";
    if (style.background) css += "background-color:" + css_color(*style.background) + ";";
    return css;
}

void write_text(std::string &html, const std::string &text) {
    std::string piece;
    for (char c : text) {
        if (c == '\n') {
            append_xml_escaped(html, piece);
            piece.clear();
            html += "<br>";
        } else if (c == '\t') {
            append_xml_escaped(html, piece);
            piece.clear();
            html += "<span style=\"white-space:pre\">\t</span>";
        } else {
            piece += c;
        }
    }
    append_xml_escaped(html, piece);
}

void write_run(std::string &html, const Document &document, const Run &run) {
    const std::string css = run_css(run.style);
    if (!run.style.link.empty()) {
        html += "<a href=\"";
        append_xml_escaped(html, run.style.link);
        html += "\">";
    }
    if (!css.empty()) html += "<span style=\"" + css + "\">";
    if (run.attachment >= 0) {
        const Attachment &attachment = document.attachments.at(static_cast<std::size_t>(run.attachment));
        std::string alt;
        append_xml_escaped(alt, attachment.file_name);
        // The reference stays exactly "file:///" + the encoded name, unescaped: '"', '<' and '>'
        // are percent-encoded, and a bare '&' that forms no character reference reads as itself.
        html += "<img src=\"file:///" + percent_encode_url_path(attachment.file_name) + "\" alt=\"" + alt + "\">";
    } else {
        write_text(html, run.text);
    }
    if (!css.empty()) html += "</span>";
    if (!run.style.link.empty()) html += "</a>";
}

}  // namespace

std::string write_html(const Document &document) {
    std::string html =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"UTF-8\">\n<title></title>\n"
        "<style>p{font-family:'Helvetica';font-size:12pt;}</style>\n</head>\n<body>\n";
    for (const Paragraph &paragraph : document.paragraphs) {
        html += "<p style=\"" + paragraph_css(paragraph.style) + "\">";
        if (paragraph.runs.empty()) html += "<br>";
        for (const Run &run : paragraph.runs) write_run(html, document, run);
        html += "</p>\n";
    }
    html += "</body>\n</html>\n";
    return html;
}

}  // namespace lv::rich
