#include "png_attachment.h"

#include <leptonica/allheaders.h>

#include <cstdlib>
#include <memory>

namespace lv::rich {
namespace {

struct PixDeleter {
    void operator()(PIX *pix) const { pixDestroy(&pix); }
};

}  // namespace

std::optional<PngImage> attachment_png(const std::vector<std::uint8_t> &bytes) {
    if (bytes.empty()) return std::nullopt;
    // Leptonica reads PNG, JPEG, TIFF, GIF, WebP, BMP, PNM and JPEG 2000 (first image of
    // multi-image files) and keeps an alpha channel.
    const std::unique_ptr<PIX, PixDeleter> pix(pixReadMem(bytes.data(), bytes.size()));
    if (!pix) return std::nullopt;
    l_uint8 *encoded = nullptr;
    size_t size = 0;
    if (pixWriteMemPng(&encoded, &size, pix.get(), 0.0f) != 0 || !encoded) return std::nullopt;
    PngImage png;
    png.bytes.assign(encoded, encoded + size);
    std::free(encoded);
    png.width = static_cast<int>(pixGetWidth(pix.get()));
    png.height = static_cast<int>(pixGetHeight(pix.get()));
    return png;
}

}  // namespace lv::rich
