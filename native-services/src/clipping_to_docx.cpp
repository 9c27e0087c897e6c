// lv_clipping_to_docx: a text clipping file (a property list with "UTI-Data") saved as a Word
// document from the richest of its entries that converts.
#include "lumivane_image.h"

#include "../platform/whole_file.h"
#include "attributed_text.h"

#include <plist/plist.h>

#include <memory>

namespace {

constexpr std::size_t max_clipping_size = 33554432;

constexpr const char *entry_order[] = {
    "public.rtf",
    "public.utf8-plain-text",
    "public.utf16-external-plain-text",
    "public.utf16-plain-text",
    "com.apple.traditional-mac-plain-text",
};

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// The entry's bytes: data as it is, a string as its UTF-8 bytes; nothing for other kinds.
std::optional<std::vector<std::uint8_t>> entry_bytes(plist_t entry) {
    if (!entry) return std::nullopt;
    if (plist_get_node_type(entry) == PLIST_DATA) {
        uint64_t length = 0;
        const char *data = plist_get_data_ptr(entry, &length);
        if (!data) return std::vector<std::uint8_t>{};
        return std::vector<std::uint8_t>(data, data + length);
    }
    if (plist_get_node_type(entry) == PLIST_STRING) {
        uint64_t length = 0;
        const char *text = plist_get_string_ptr(entry, &length);
        if (!text) return std::vector<std::uint8_t>{};
        return std::vector<std::uint8_t>(text, text + length);
    }
    return std::nullopt;
}

int32_t convert_clipping(const char *clipping_path, const char *output_path) {
    if (!clipping_path || !output_path) return 0;
    const std::optional<std::vector<std::uint8_t>> file = lv::read_whole_file(clipping_path, max_clipping_size);
    if (!file || file->empty()) return 0;
    plist_t parsed = nullptr;  // XML or binary, told apart by the reader
    plist_from_memory(reinterpret_cast<const char *>(file->data()), static_cast<uint32_t>(file->size()), &parsed);
    const PlistPtr root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return 0;
    plist_t entries = plist_dict_get_item(root.get(), "UTI-Data");
    if (!entries || plist_get_node_type(entries) != PLIST_DICT) return 0;
    for (const char *type : entry_order) {
        const std::optional<std::vector<std::uint8_t>> bytes = entry_bytes(plist_dict_get_item(entries, type));
        if (!bytes) continue;
        if (lv::lv_save_docx(lv::lv_attributed(bytes->data(), bytes->size(), type), output_path) == 1) return 1;
    }
    return 0;
}

}  // namespace

extern "C" int32_t lv_clipping_to_docx(const char *clipping_path, const char *output_path) {
    try {
        return convert_clipping(clipping_path, output_path);
    } catch (...) {
        return 0;
    }
}
