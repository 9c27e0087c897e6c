// lv_text_to_docx: text of a pasteboard type saved as a Word document.
#include "lumivane_image.h"

#include "attributed_text.h"

#include <vector>

extern "C" int32_t lv_text_to_docx(const void *bytes, int32_t byte_count, const char *type, const char *output_path) {
    try {
        if (byte_count < 0 || (byte_count > 0 && !bytes)) return 0;
        const auto *first = static_cast<const std::uint8_t *>(bytes);
        const std::vector<std::uint8_t> copy(first, first + byte_count);  // nothing refers to the caller's bytes
        return lv::lv_save_docx(lv::lv_attributed(copy.data(), copy.size(), type), output_path);
    } catch (...) {
        return 0;
    }
}
