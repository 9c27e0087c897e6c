#include "attributed_text.h"

#include "../platform/atomic_file.h"
#include "../platform/docx_writer.h"
#include "../platform/rtf_reader.h"
#include "../platform/text_decoding.h"

#include <cstring>

namespace lv {
namespace {

bool is(const char *type, const char *a, const char *b) { return std::strcmp(type, a) == 0 || std::strcmp(type, b) == 0; }

}  // namespace

std::optional<rich::Document> lv_attributed(const std::uint8_t *bytes, std::size_t count, const char *type) {
    static const std::uint8_t nothing = 0;
    if (!bytes) bytes = &nothing;  // zero bytes: an empty text
    if (!type) type = "";
    if (is(type, "RTF ", "public.rtf")) return rich::read_rtf(bytes, count);
    std::optional<std::string> text;
    if (is(type, "TEXT", "com.apple.traditional-mac-plain-text")) text = rich::decode_mac_roman(bytes, count);
    else if (is(type, "utxt", "public.utf16-plain-text")) text = rich::decode_utf16be(bytes, count);
    else if (is(type, "ut16", "public.utf16-external-plain-text")) text = rich::decode_utf16_bom(bytes, count);
    else text = rich::decode_utf8(bytes, count);
    if (!text) return std::nullopt;
    return rich::plain_document(*text);
}

int lv_save_docx(const std::optional<rich::Document> &document, const char *path) {
    if (!document || !path) return 0;
    const std::optional<std::vector<std::uint8_t>> package = rich::write_docx(*document);
    if (!package) return 0;
    return write_file_atomically(path, package->data(), package->size()) ? 1 : 0;
}

}  // namespace lv
