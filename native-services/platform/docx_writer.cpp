#include "docx_writer.h"

#include "png_attachment.h"
#include "xml_escape.h"

#include <zip.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace lv::rich {
namespace {

constexpr const char *xml_header = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr int default_size_half_points = 24;
constexpr const char *default_font = "Helvetica";

std::string hex_color(const Color &color) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", color.red, color.green, color.blue);
    return text;
}

std::string attribute(const std::string &value) {
    std::string out;
    append_xml_escaped(out, value);
    return out;
}

struct Relationships {
    std::string xml;
    int next_id = 2;  // rId1 is the styles part
    std::string add(const std::string &type, const std::string &target, bool external) {
        const std::string id = "rId" + std::to_string(next_id++);
        xml += "<Relationship Id=\"" + id + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" +
               type + "\" Target=\"" + attribute(target) + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
        return id;
    }
};

struct Media {
    std::string name;
    std::vector<std::uint8_t> png;
};

class DocumentBuilder {
public:
    explicit DocumentBuilder(const Document &document) : document_(document) {}

    std::string body() {
        std::string xml = xml_header;
        xml += "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
               "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
               "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
               "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
               "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><w:body>";
        for (const Paragraph &paragraph : document_.paragraphs) write_paragraph(xml, paragraph);
        if (document_.paragraphs.empty()) xml += "<w:p/>";
        xml += "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/><w:pgMar w:top=\"1440\" w:right=\"1440\" "
               "w:bottom=\"1440\" w:left=\"1440\" w:header=\"708\" w:footer=\"708\" w:gutter=\"0\"/></w:sectPr>";
        xml += "</w:body></w:document>";
        return xml;
    }

    Relationships relationships;
    std::vector<Media> media;

private:
    void write_paragraph(std::string &xml, const Paragraph &paragraph) {
        xml += "<w:p>";
        write_paragraph_properties(xml, paragraph.style);
        std::size_t i = 0;
        while (i < paragraph.runs.size()) {
            const std::string &link = paragraph.runs[i].style.link;
            if (link.empty()) {
                write_run(xml, paragraph.runs[i++]);
                continue;
            }
            // Consecutive runs with the same target share one hyperlink.
            if (link[0] == '#') xml += "<w:hyperlink w:anchor=\"" + attribute(link.substr(1)) + "\">";
            else xml += "<w:hyperlink r:id=\"" + link_id(link) + "\">";
            while (i < paragraph.runs.size() && paragraph.runs[i].style.link == link) write_run(xml, paragraph.runs[i++]);
            xml += "</w:hyperlink>";
        }
        xml += "</w:p>";
    }

    std::string link_id(const std::string &target) {
        auto found = link_ids_.find(target);
        if (found != link_ids_.end()) return found->second;
        const std::string id = relationships.add("hyperlink", target, true);
        link_ids_[target] = id;
        return id;
    }

    static void write_paragraph_properties(std::string &xml, const ParagraphStyle &style) {
        if (style == ParagraphStyle{}) return;
        xml += "<w:pPr>";
        if (!style.tab_stops.empty()) {
            xml += "<w:tabs>";
            for (const TabStop &tab : style.tab_stops) {
                static const char *const kinds[] = {"left", "center", "right", "decimal"};
                xml += "<w:tab w:val=\"" + std::string(kinds[static_cast<int>(tab.kind)]) + "\" w:pos=\"" +
                       std::to_string(tab.position) + "\"/>";
            }
            xml += "</w:tabs>";
        }
        if (style.space_before || style.space_after) {
            xml += "<w:spacing w:before=\"" + std::to_string(style.space_before) + "\" w:after=\"" +
                   std::to_string(style.space_after) + "\"/>";
        }
        if (style.left_indent || style.right_indent || style.first_line_indent) {
            xml += "<w:ind w:left=\"" + std::to_string(style.left_indent) + "\" w:right=\"" +
                   std::to_string(style.right_indent) + "\"";
            if (style.first_line_indent >= 0) xml += " w:firstLine=\"" + std::to_string(style.first_line_indent) + "\"";
            else xml += " w:hanging=\"" + std::to_string(-static_cast<long long>(style.first_line_indent)) + "\"";
            xml += "/>";
        }
        static const char *const alignments[] = {"left", "center", "right", "both"};
        if (style.alignment != Alignment::left) {
            xml += "<w:jc w:val=\"" + std::string(alignments[static_cast<int>(style.alignment)]) + "\"/>";
        }
        xml += "</w:pPr>";
    }

    static void write_run_properties(std::string &xml, const CharacterStyle &style) {
        std::string properties;
        if (!style.font_family.empty()) {
            const std::string font = attribute(style.font_family);
            properties += "<w:rFonts w:ascii=\"" + font + "\" w:hAnsi=\"" + font + "\" w:eastAsia=\"" + font +
                          "\" w:cs=\"" + font + "\"/>";
        }
        if (style.bold) properties += "<w:b/><w:bCs/>";
        if (style.italic) properties += "<w:i/><w:iCs/>";
        if (style.strike_through) properties += "<w:strike/>";
        if (style.foreground) properties += "<w:color w:val=\"" + hex_color(*style.foreground) + "\"/>";
        if (style.size_half_points > 0 && style.size_half_points != default_size_half_points) {
            const std::string size = std::to_string(style.size_half_points);
            properties += "<w:sz w:val=\"" + size + "\"/><w:szCs w:val=\"" + size + "\"/>";
        }
        if (style.underline) properties += "<w:u w:val=\"single\"/>";
        if (style.background) {
            properties += "<w:shd w:val=\"clear\" w:color=\"auto\" w:fill=\"" + hex_color(*style.background) + "\"/>";
        }
        if (style.vertical != VerticalPosition::baseline) {
            properties += std::string("<w:vertAlign w:val=\"") +
                          (style.vertical == VerticalPosition::superscript ? "superscript" : "subscript") + "\"/>";
        }
        if (!properties.empty()) xml += "<w:rPr>" + properties + "</w:rPr>";
    }

    void write_run(std::string &xml, const Run &run) {
        if (run.attachment >= 0) {
            write_picture(xml, run);
            return;
        }
        xml += "<w:r>";
        write_run_properties(xml, run.style);
        std::string text;
        auto flush_text = [&] {
            if (text.empty()) return;
            xml += "<w:t xml:space=\"preserve\">";
            append_xml_escaped(xml, text);
            xml += "</w:t>";
            text.clear();
        };
        for (char c : run.text) {
            if (c == '\t') {
                flush_text();
                xml += "<w:tab/>";
            } else if (c == '\n') {
                flush_text();
                xml += "<w:br/>";
            } else if (c != '\r') {
                text += c;
            }
        }
        flush_text();
        xml += "</w:r>";
    }

    void write_picture(std::string &xml, const Run &run) {
        const Attachment &attachment = document_.attachments.at(static_cast<std::size_t>(run.attachment));
        std::optional<PngImage> png = attachment_png(attachment.bytes);
        if (!png) return;
        const int number = static_cast<int>(media.size()) + 1;
        const std::string name = "image" + std::to_string(number) + ".png";
        const std::string id = relationships.add("image", "media/" + name, false);
        media.push_back(Media{name, std::move(png->bytes)});
        // Pixels at 96 per inch; a picture wider than the text column (6.27 in) is scaled down.
        long long cx = static_cast<long long>(png->width) * 9525, cy = static_cast<long long>(png->height) * 9525;
        constexpr long long column = 5731510;
        if (cx > column) {
            cy = cy * column / cx;
            cx = column;
        }
        const std::string extent = "cx=\"" + std::to_string(cx) + "\" cy=\"" + std::to_string(cy) + "\"";
        const std::string n = std::to_string(number);
        xml += "<w:r>";
        write_run_properties(xml, run.style);
        xml += "<w:drawing><wp:inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\"><wp:extent " + extent +
               "/><wp:docPr id=\"" + n + "\" name=\"Picture " + n + "\" descr=\"" + attribute(attachment.file_name) +
               "\"/><wp:cNvGraphicFramePr><a:graphicFrameLocks noChangeAspect=\"1\"/></wp:cNvGraphicFramePr>"
               "<a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
               "<pic:pic><pic:nvPicPr><pic:cNvPr id=\"" + n + "\" name=\"" + name + "\"/><pic:cNvPicPr/></pic:nvPicPr>"
               "<pic:blipFill><a:blip r:embed=\"" + id + "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill>"
               "<pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext " + extent + "/></a:xfrm>"
               "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData></a:graphic>"
               "</wp:inline></w:drawing></w:r>";
    }

    const Document &document_;
    std::map<std::string, std::string> link_ids_;
};

std::string content_types() {
    return std::string(xml_header) +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Default Extension=\"png\" ContentType=\"image/png\"/>"
           "<Override PartName=\"/word/document.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
           "<Override PartName=\"/word/styles.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml\"/>"
           "</Types>";
}

std::string package_relationships() {
    return std::string(xml_header) +
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" "
           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
           "Target=\"word/document.xml\"/></Relationships>";
}

std::string styles() {
    const std::string size = std::to_string(default_size_half_points);
    return std::string(xml_header) +
           "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
           "<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii=\"" + default_font + "\" w:hAnsi=\"" +
           default_font + "\" w:eastAsia=\"" + default_font + "\" w:cs=\"" + default_font + "\"/><w:sz w:val=\"" +
           size + "\"/><w:szCs w:val=\"" + size + "\"/></w:rPr></w:rPrDefault>"
           "<w:pPrDefault><w:pPr><w:spacing w:after=\"0\" w:line=\"240\" w:lineRule=\"auto\"/></w:pPr></w:pPrDefault>"
           "</w:docDefaults>"
           "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/></w:style>"
           "<w:style w:type=\"character\" w:default=\"1\" w:styleId=\"DefaultParagraphFont\">"
           "<w:name w:val=\"Default Paragraph Font\"/></w:style>"
           "</w:styles>";
}

struct ZipSourceDeleter {
    void operator()(zip_source_t *source) const { zip_source_free(source); }
};
using ZipSourcePtr = std::unique_ptr<zip_source_t, ZipSourceDeleter>;

// Adds `bytes` under `name`; the bytes must stay alive until the archive is closed.
bool add_entry(zip_t *archive, const char *name, const void *bytes, std::size_t count, bool compress) {
    zip_source_t *source = zip_source_buffer(archive, bytes, count, 0);
    if (!source) return false;
    const zip_int64_t index = zip_file_add(archive, name, source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    return zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0) == 0;
}

std::optional<std::vector<std::uint8_t>> read_back(zip_source_t *source) {
    if (zip_source_open(source) != 0) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> bytes;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(source, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) {
        std::vector<std::uint8_t> data(stat.size);
        if (zip_source_read(source, data.data(), stat.size) == static_cast<zip_int64_t>(stat.size)) bytes = std::move(data);
    }
    zip_source_close(source);
    return bytes;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> write_docx(const Document &document) {
    DocumentBuilder builder(document);
    const std::string body = builder.body();
    const std::string document_relationships =
        std::string(xml_header) + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
        "Target=\"styles.xml\"/>" + builder.relationships.xml + "</Relationships>";
    const std::string types = content_types(), package = package_relationships(), style_sheet = styles();

    zip_error_t error;
    zip_error_init(&error);
    ZipSourcePtr buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
    zip_error_fini(&error);
    if (!buffer) return std::nullopt;
    zip_source_keep(buffer.get());  // the archive releases its reference on close; ours reads the result
    zip_error_init(&error);
    zip_t *archive = zip_open_from_source(buffer.get(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(buffer.get());  // the reference the archive would have taken
        return std::nullopt;
    }
    bool ok = add_entry(archive, "[Content_Types].xml", types.data(), types.size(), true) &&
              add_entry(archive, "_rels/.rels", package.data(), package.size(), true) &&
              add_entry(archive, "word/document.xml", body.data(), body.size(), true) &&
              add_entry(archive, "word/_rels/document.xml.rels", document_relationships.data(),
                        document_relationships.size(), true) &&
              add_entry(archive, "word/styles.xml", style_sheet.data(), style_sheet.size(), true);
    for (const Media &item : builder.media) {
        if (!ok) break;
        const std::string name = "word/media/" + item.name;
        ok = add_entry(archive, name.c_str(), item.png.data(), item.png.size(), false);
    }
    if (!ok) {
        zip_discard(archive);
        return std::nullopt;
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return std::nullopt;
    }
    return read_back(buffer.get());
}

}  // namespace lv::rich
