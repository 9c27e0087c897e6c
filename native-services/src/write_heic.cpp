// lv_heic_available and lv_write_heic: the first image of an encoded file re-encoded as HEIC.
#include "lumivane_image.h"

#include "../platform/heic_encoder.h"
#include "../platform/image_decoder.h"

#include <cmath>
#include <cstdint>
#include <optional>

namespace {

// The host's quality (0 strongest compression .. 1 best) on the encoder's 0..100 scale. Values
// beyond either end count as that end; NaN names no quality at all and is refused.
std::optional<int> encoder_quality(double quality) {
    if (std::isnan(quality)) return std::nullopt;
    const double clamped = quality < 0.0 ? 0.0 : quality > 1.0 ? 1.0 : quality;
    return static_cast<int>(std::lround(clamped * 100.0));
}

bool write_heic(const void *bytes, std::int32_t byte_count, const char *output_path, double quality) {
    if (!bytes || byte_count <= 0 || !output_path) return false;
    const std::optional<int> encoder_scale = encoder_quality(quality);
    if (!encoder_scale) return false;
    lv::PixPtr image =
        lv::decode_image_as_stored(static_cast<const std::uint8_t *>(bytes), static_cast<std::size_t>(byte_count));
    if (!image) return false;
    return lv::write_heic_file(image.get(), *encoder_scale, output_path);
}

}  // namespace

extern "C" std::int32_t lv_heic_available(void) {
    try {
        return lv::heic_encoder_available() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" std::int32_t lv_write_heic(const void *bytes, std::int32_t byte_count, const char *output_path,
                                      double quality) {
    try {
        return write_heic(bytes, byte_count, output_path, quality) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
