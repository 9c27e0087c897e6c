// libFuzzer target: reads arbitrary bytes as RTF and writes the document as HTML and DOCX,
// checking what every read document must hold. The input sits in a buffer of exactly its
// length, so a read past the end is caught by ASan.
#include "../platform/docx_writer.h"
#include "../platform/html_writer.h"
#include "../platform/rtf_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void require(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stdout, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool valid_utf8(const std::string &text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::unique_ptr<uint8_t[]> bytes(new uint8_t[size ? size : 1]);
    if (size > 0) std::memcpy(bytes.get(), data, size);
    static const std::vector<std::uint8_t> tiny_png = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
        0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x3A, 0x7E, 0x9B, 0x55, 0x00, 0x00, 0x00,
        0x0A, 0x49, 0x44, 0x41, 0x54, 0x08, 0xD7, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0xE2, 0x21, 0xBC,
        0x33, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    const lv::rich::AttachmentLoader loader = [](const std::string &name) -> std::optional<std::vector<std::uint8_t>> {
        if (name.size() % 2) return std::nullopt;
        return tiny_png;
    };
    const std::optional<lv::rich::Document> document = lv::rich::read_rtf(bytes.get(), size, loader);
    if (!document) return 0;
    for (const auto &paragraph : document->paragraphs) {
        for (const auto &run : paragraph.runs) {
            require(run.attachment < static_cast<int>(document->attachments.size()), "attachment index out of range");
            require(valid_utf8(run.text), "run text is not UTF-8");
            require(valid_utf8(run.style.font_family), "font name is not UTF-8");
            require(valid_utf8(run.style.link), "link is not UTF-8");
        }
    }
    const std::string html = lv::rich::write_html(*document);
    require(html.rfind("<!DOCTYPE html>", 0) == 0, "HTML without its document type");
    if (size < 4096) require(lv::rich::write_docx(*document).has_value(), "no DOCX package");
    return 0;
}
