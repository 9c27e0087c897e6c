#include "image_decoder.h"

#include "bmp_rle.h"
#include "png_jpeg_reader.h"

#include <libexif/exif-data.h>
#include <libheif/heif.h>

#include <climits>
#include <mutex>

namespace lv {
namespace {

// Larger images are refused before decoding: a few bytes of header must not make us allocate
// gigabytes.
constexpr long long max_pixels = 1LL << 28;

void quiet_leptonica() {
    static std::once_flag once;
    std::call_once(once, [] {
        setMsgSeverity(L_SEVERITY_NONE);
        // Whatever Leptonica would still print goes nowhere: the host's standard error is not ours.
        leptSetStderrHandler([](const char *) {});
    });
}

struct HeifContextDeleter {
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HeifHandleDeleter {
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct HeifImageDeleter {
    void operator()(heif_image *image) const { heif_image_release(image); }
};
struct HeifDecodingOptionsDeleter {
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};

bool looks_like_heif(const std::uint8_t *bytes, std::size_t count) {
    if (count < 12) return false;
    const int probe = count > INT_MAX ? INT_MAX : static_cast<int>(count);
    return heif_check_filetype(bytes, probe) == heif_filetype_yes_supported;
}

PixPtr decode_heif(const std::uint8_t *bytes, std::size_t count, bool upright = true) {
    std::unique_ptr<heif_context, HeifContextDeleter> context(heif_context_alloc());
    if (!context) return nullptr;
    if (heif_context_read_from_memory_without_copy(context.get(), bytes, count, nullptr).code != heif_error_Ok)
        return nullptr;
    heif_image_handle *raw_handle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &raw_handle).code != heif_error_Ok) return nullptr;
    std::unique_ptr<heif_image_handle, HeifHandleDeleter> handle(raw_handle);
    const long long declared = static_cast<long long>(heif_image_handle_get_width(handle.get())) *
                               heif_image_handle_get_height(handle.get());
    if (declared <= 0 || declared > max_pixels) return nullptr;
    const bool has_alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;

    std::unique_ptr<heif_decoding_options, HeifDecodingOptionsDeleter> options(heif_decoding_options_alloc());
    if (!options) return nullptr;
    options->ignore_transformations = upright ? 0 : 1;
    heif_image *raw_image = nullptr;
    if (heif_decode_image(handle.get(), &raw_image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          options.get())
            .code != heif_error_Ok)
        return nullptr;
    std::unique_ptr<heif_image, HeifImageDeleter> image(raw_image);
    int stride = 0;
    const std::uint8_t *plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!plane || width <= 0 || height <= 0) return nullptr;

    PixPtr pix(pixCreate(width, height, 32));
    if (!pix) return nullptr;
    if (has_alpha) pixSetSpp(pix.get(), 4);
    l_uint32 *data = pixGetData(pix.get());
    const l_int32 words_per_line = pixGetWpl(pix.get());
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *in = plane + static_cast<size_t>(y) * stride;
        l_uint32 *out = data + static_cast<size_t>(y) * words_per_line;
        for (int x = 0; x < width; ++x, in += 4) {
            out[x] = (l_uint32{in[0]} << L_RED_SHIFT) | (l_uint32{in[1]} << L_GREEN_SHIFT) |
                     (l_uint32{in[2]} << L_BLUE_SHIFT) | (l_uint32{in[3]} << L_ALPHA_SHIFT);
        }
    }
    return pix;
}

struct ExifDataDeleter {
    void operator()(ExifData *data) const { exif_data_unref(data); }
};

// The EXIF orientation of a JPEG (1 to 8; 1 when it has none): cameras store the sensor's
// pixels and record how the picture is to be turned for viewing.
int jpeg_orientation(const std::uint8_t *bytes, std::size_t count) {
    if (count > UINT_MAX) return 1;
    std::unique_ptr<ExifData, ExifDataDeleter> exif(exif_data_new_from_data(bytes, static_cast<unsigned>(count)));
    if (!exif) return 1;
    ExifEntry *entry = exif_data_get_entry(exif.get(), EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || entry->size < 2) return 1;
    const int orientation = exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// Turns the stored pixels upright, as a viewer shows them.
PixPtr apply_orientation(PixPtr pix, int orientation) {
    if (!pix) return nullptr;
    switch (orientation) {
        case 2: return PixPtr(pixFlipLR(nullptr, pix.get()));
        case 3: return PixPtr(pixRotateOrth(pix.get(), 2));
        case 4: return PixPtr(pixFlipTB(nullptr, pix.get()));
        case 5: {  // transpose
            PixPtr turned(pixRotateOrth(pix.get(), 1));
            return turned ? PixPtr(pixFlipLR(nullptr, turned.get())) : nullptr;
        }
        case 6: return PixPtr(pixRotateOrth(pix.get(), 1));
        case 7: {  // transverse
            PixPtr turned(pixRotateOrth(pix.get(), 1));
            return turned ? PixPtr(pixFlipTB(nullptr, turned.get())) : nullptr;
        }
        case 8: return PixPtr(pixRotateOrth(pix.get(), 3));
        default: return pix;
    }
}

PixPtr decode_leptonica(const std::uint8_t *bytes, std::size_t count, bool upright = true) {
    l_int32 format = 0, width = 0, height = 0, bits = 0, samples = 0, colormapped = 0;
    if (pixReadHeaderMem(bytes, count, &format, &width, &height, &bits, &samples, &colormapped) == 0 &&
        static_cast<long long>(width) * height > max_pixels)
        return nullptr;
    PixPtr pix = looks_like_png(bytes, count)    ? decode_png(bytes, count, max_pixels)
                 : looks_like_jpeg(bytes, count) ? decode_jpeg(bytes, count, max_pixels)
                                                 : PixPtr(pixReadMem(bytes, count));
    if (upright && pix && pixGetInputFormat(pix.get()) == IFF_JFIF_JPEG)
        pix = apply_orientation(std::move(pix), jpeg_orientation(bytes, count));
    return pix;
}

// Brings any decoded depth to 8 bpp gray or 32 bpp RGB without transparency.
PixPtr normalize(PixPtr pix) {
    if (!pix) return nullptr;
    if (pixGetColormap(pix.get())) {
        pix.reset(pixRemoveColormap(pix.get(), REMOVE_CMAP_BASED_ON_SRC));
        if (!pix) return nullptr;
    }
    const l_int32 depth = pixGetDepth(pix.get());
    if (depth == 32) {
        if (pixGetSpp(pix.get()) == 4) {
            pix.reset(pixAlphaBlendUniform(pix.get(), 0xffffff00));
            if (!pix) return nullptr;
        }
        pixSetSpp(pix.get(), 3);
        // The unused fourth byte is made uniform: the text recogniser thresholds every byte of
        // a 32 bpp pixel and would otherwise find "contrast" in leftover alpha values.
        pixSetComponentArbitrary(pix.get(), L_ALPHA_CHANNEL, 255);
        return pix;
    }
    if (depth == 8) return pix;
    return PixPtr(pixConvertTo8(pix.get(), 0));
}

// Brings any decoded depth to 32 bpp RGB, keeping transparency (spp 4) where the file has it.
PixPtr to_rgb(PixPtr pix) {
    if (!pix) return nullptr;
    if (PIXCMAP *colormap = pixGetColormap(pix.get())) {
        l_int32 opaque = 1;
        pixcmapIsOpaque(colormap, &opaque);
        pix.reset(pixRemoveColormap(pix.get(), opaque ? REMOVE_CMAP_TO_FULL_COLOR : REMOVE_CMAP_WITH_ALPHA));
        if (!pix) return nullptr;
    }
    if (pixGetDepth(pix.get()) != 32) {
        pix.reset(pixConvertTo32(pix.get()));
        if (!pix) return nullptr;
    }
    if (pixGetSpp(pix.get()) != 4) pixSetSpp(pix.get(), 3);
    return pix;
}

}  // namespace

PixPtr decode_image(const std::uint8_t *bytes, std::size_t count) {
    if (!bytes || count == 0) return nullptr;
    quiet_leptonica();
    PixPtr pix = looks_like_heif(bytes, count)  ? decode_heif(bytes, count)
                 : is_rle_bmp(bytes, count) ? decode_rle_bmp(bytes, count, max_pixels)
                                            : decode_leptonica(bytes, count);
    pix = normalize(std::move(pix));
    if (!pix || pixGetWidth(pix.get()) <= 0 || pixGetHeight(pix.get()) <= 0) return nullptr;
    return pix;
}

PixPtr decode_image_as_stored(const std::uint8_t *bytes, std::size_t count) {
    if (!bytes || count == 0) return nullptr;
    quiet_leptonica();
    PixPtr pix = looks_like_heif(bytes, count)  ? decode_heif(bytes, count, false)
                 : is_rle_bmp(bytes, count) ? decode_rle_bmp(bytes, count, max_pixels)
                                            : decode_leptonica(bytes, count, false);
    pix = to_rgb(std::move(pix));
    if (!pix || pixGetWidth(pix.get()) <= 0 || pixGetHeight(pix.get()) <= 0) return nullptr;
    return pix;
}

}  // namespace lv
