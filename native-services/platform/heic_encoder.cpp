#include "heic_encoder.h"

#include "atomic_file.h"

#include <libheif/heif.h>

#include <memory>
#include <mutex>

namespace lv {
namespace {

struct HeifContextDeleter {
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HeifEncoderDeleter {
    void operator()(heif_encoder *encoder) const { heif_encoder_release(encoder); }
};
struct HeifImageDeleter {
    void operator()(heif_image *image) const { heif_image_release(image); }
};
struct HeifOptionsDeleter {
    void operator()(heif_encoding_options *options) const { heif_encoding_options_free(options); }
};
struct HeifNclxDeleter {
    void operator()(heif_color_profile_nclx *nclx) const { heif_nclx_color_profile_free(nclx); }
};

// Loads libheif's codec plugins once; the library stays initialised for the process's life.
void initialise_libheif() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

// The pixels of `pix` as an interleaved 8-bit RGB or RGBA image.
std::unique_ptr<heif_image, HeifImageDeleter> heif_image_of(PIX *pix) {
    const int width = static_cast<int>(pixGetWidth(pix));
    const int height = static_cast<int>(pixGetHeight(pix));
    const bool alpha = pixGetSpp(pix) == 4;
    heif_image *raw = nullptr;
    if (heif_image_create(width, height, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &raw)
            .code != heif_error_Ok)
        return nullptr;
    std::unique_ptr<heif_image, HeifImageDeleter> image(raw);
    if (heif_image_add_plane(image.get(), heif_channel_interleaved, width, height, 8).code != heif_error_Ok)
        return nullptr;
    int stride = 0;
    std::uint8_t *plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    if (!plane) return nullptr;
    const l_uint32 *data = pixGetData(pix);
    const l_int32 words_per_line = pixGetWpl(pix);
    for (int y = 0; y < height; ++y) {
        const l_uint32 *in = data + static_cast<std::size_t>(y) * words_per_line;
        std::uint8_t *out = plane + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            const l_uint32 word = in[x];
            *out++ = static_cast<std::uint8_t>(word >> L_RED_SHIFT);
            *out++ = static_cast<std::uint8_t>(word >> L_GREEN_SHIFT);
            *out++ = static_cast<std::uint8_t>(word >> L_BLUE_SHIFT);
            if (alpha) *out++ = static_cast<std::uint8_t>(word >> L_ALPHA_SHIFT);
        }
    }
    return image;
}

// The decoded pixels are sRGB: label them so, coded with BT.601 coefficients at full range.
std::unique_ptr<heif_color_profile_nclx, HeifNclxDeleter> srgb_profile() {
    std::unique_ptr<heif_color_profile_nclx, HeifNclxDeleter> nclx(heif_nclx_color_profile_alloc());
    if (!nclx) return nullptr;
    nclx->color_primaries = heif_color_primaries_ITU_R_BT_709_5;
    nclx->transfer_characteristics = heif_transfer_characteristic_IEC_61966_2_1;
    nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_601_6;
    nclx->full_range_flag = 1;
    return nclx;
}

heif_error write_to_file(heif_context *, const void *data, std::size_t size, void *file) {
    if (static_cast<AtomicFile *>(file)->write(data, size)) return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
    return {heif_error_Encoding_error, heif_suberror_Cannot_write_output_data, "the file could not be written"};
}

bool ok(heif_error error) { return error.code == heif_error_Ok; }

}  // namespace

bool heic_encoder_available() {
    initialise_libheif();
    return heif_have_encoder_for_format(heif_compression_HEVC) != 0;
}

bool write_heic_file(PIX *pix, int quality, const char *path) {
    if (!pix || pixGetDepth(pix) != 32) return false;
    initialise_libheif();
    std::unique_ptr<heif_context, HeifContextDeleter> context(heif_context_alloc());
    if (!context) return false;
    heif_encoder *raw_encoder = nullptr;
    if (!ok(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &raw_encoder))) return false;
    std::unique_ptr<heif_encoder, HeifEncoderDeleter> encoder(raw_encoder);
    if (!ok(heif_encoder_set_lossy_quality(encoder.get(), quality))) return false;

    // The destination first: a folder that cannot be written fails before the costly encode.
    AtomicFile file(path);
    if (!file.is_open()) return false;

    std::unique_ptr<heif_image, HeifImageDeleter> image = heif_image_of(pix);
    std::unique_ptr<heif_encoding_options, HeifOptionsDeleter> options(heif_encoding_options_alloc());
    std::unique_ptr<heif_color_profile_nclx, HeifNclxDeleter> nclx = srgb_profile();
    if (!image || !options || !nclx) return false;
    options->save_alpha_channel = 1;
    options->output_nclx_profile = nclx.get();
    options->image_orientation = heif_orientation_normal;
    if (!ok(heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(), nullptr)))
        return false;

    heif_writer writer{1, write_to_file};
    if (!ok(heif_context_write(context.get(), &writer, &file))) return false;
    return file.commit();
}

}  // namespace lv
