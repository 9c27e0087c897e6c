// lv_rtfd_to_html: an RTFD document as one self-contained HTML file, its pictures embedded as
// PNG data URIs in place of their file references.
#include "lumivane_image.h"

#include "../platform/atomic_file.h"
#include "../platform/html_writer.h"
#include "../platform/png_attachment.h"
#include "../platform/rtfd_reader.h"
#include "../platform/url_path.h"

#include <glib.h>

#include <memory>
#include <string>

namespace {

// Replaces every occurrence of `from` (literal, case-sensitive); returns how many there were.
std::size_t replace_all(std::string &text, const std::string &from, const std::string &to) {
    if (from.empty()) return 0;
    std::size_t count = 0;
    std::string out;
    std::size_t start = 0;
    for (std::size_t found = text.find(from); found != std::string::npos; found = text.find(from, start)) {
        out.append(text, start, found - start);
        out += to;
        start = found + from.size();
        ++count;
    }
    if (count == 0) return 0;
    out.append(text, start, std::string::npos);
    text = std::move(out);
    return count;
}

std::string base64(const std::vector<std::uint8_t> &bytes) {
    const std::unique_ptr<gchar, decltype(&g_free)> text(g_base64_encode(bytes.data(), bytes.size()), &g_free);
    return text ? std::string(text.get()) : std::string();
}

int32_t convert_rtfd(const char *rtfd_path, const char *output_path) {
    if (!rtfd_path || !output_path) return 0;
    const std::optional<lv::rich::Document> document = lv::rich::read_rtfd(rtfd_path);
    if (!document) return 0;
    std::string html = lv::rich::write_html(*document);
    bool success = true;
    for (const lv::rich::Paragraph &paragraph : document->paragraphs) {
        for (const lv::rich::Run &run : paragraph.runs) {
            if (run.attachment < 0) continue;
            const lv::rich::Attachment &attachment = document->attachments.at(static_cast<std::size_t>(run.attachment));
            const std::optional<lv::rich::PngImage> png = lv::rich::attachment_png(attachment.bytes);
            if (!png) return 0;  // one picture that cannot become PNG fails the whole document
            const std::string raw = "file:///" + attachment.file_name;
            const std::string encoded = "file:///" + lv::percent_encode_url_path(attachment.file_name);
            const std::string data_uri = "data:image/png;base64," + base64(png->bytes);
            if (replace_all(html, encoded, data_uri) == 0 && replace_all(html, raw, data_uri) == 0) success = false;
        }
    }
    if (!success) return 0;
    return lv::write_file_atomically(output_path, html.data(), html.size()) ? 1 : 0;
}

}  // namespace

extern "C" int32_t lv_rtfd_to_html(const char *rtfd_path, const char *output_path) {
    try {
        return convert_rtfd(rtfd_path, output_path);
    } catch (...) {
        return 0;
    }
}
