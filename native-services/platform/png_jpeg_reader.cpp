#include "png_jpeg_reader.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace lv {

bool looks_like_png(const std::uint8_t *bytes, std::size_t count) {
    return count >= 8 && png_sig_cmp(bytes, 0, 8) == 0;
}

bool looks_like_jpeg(const std::uint8_t *bytes, std::size_t count) {
    return count >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff;
}

PixPtr decode_png(const std::uint8_t *bytes, std::size_t count, long long max_pixels) {
    // libpng's simplified reader keeps its warnings and errors in the image record.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, count)) return nullptr;
    if (static_cast<long long>(image.width) * image.height > max_pixels || image.width == 0 || image.height == 0) {
        png_image_free(&image);
        return nullptr;
    }
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    const bool gray = (image.format & PNG_FORMAT_FLAG_COLOR) == 0 && !alpha;
    image.format = gray ? PNG_FORMAT_GRAY : PNG_FORMAT_RGBA;
    PixPtr pix(pixCreate(static_cast<l_int32>(image.width), static_cast<l_int32>(image.height), gray ? 8 : 32));
    if (!pix) {
        png_image_free(&image);
        return nullptr;
    }
    const std::size_t row_bytes = PNG_IMAGE_ROW_STRIDE(image);
    std::vector<std::uint8_t> rows(PNG_IMAGE_BUFFER_SIZE(image, row_bytes));
    if (!png_image_finish_read(&image, nullptr, rows.data(), 0, nullptr)) return nullptr;  // frees the record
    l_uint32 *data = pixGetData(pix.get());
    const l_int32 words_per_line = pixGetWpl(pix.get());
    for (png_uint_32 y = 0; y < image.height; ++y) {
        const std::uint8_t *in = rows.data() + y * row_bytes;
        l_uint32 *out = data + static_cast<std::size_t>(y) * words_per_line;
        for (png_uint_32 x = 0; x < image.width; ++x) {
            if (gray) {
                SET_DATA_BYTE(out, x, in[x]);
            } else {
                const std::uint8_t *p = in + 4 * x;
                out[x] = (l_uint32{p[0]} << L_RED_SHIFT) | (l_uint32{p[1]} << L_GREEN_SHIFT) |
                         (l_uint32{p[2]} << L_BLUE_SHIFT) | (l_uint32{p[3]} << L_ALPHA_SHIFT);
            }
        }
    }
    if (alpha) pixSetSpp(pix.get(), 4);
    pixSetInputFormat(pix.get(), IFF_PNG);
    return pix;
}

namespace {

struct QuietJpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf escape;
};

[[noreturn]] void jpeg_fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<QuietJpegErrors *>(info->err)->escape, 1);
}
void jpeg_say_nothing(j_common_ptr) {}

// Runs in a frame of its own with nothing to unwind, so that the decoder's longjmp skips no
// destructor; `pix` (allocated inside) is released by the caller.
bool read_jpeg(const std::uint8_t *bytes, std::size_t count, long long max_pixels, PIX *volatile &pix) {
    jpeg_decompress_struct info;
    QuietJpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpeg_fail;
    errors.manager.output_message = jpeg_say_nothing;
    if (setjmp(errors.escape)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(count));
    jpeg_read_header(&info, TRUE);
    const int components = info.num_components;
    if (components == 1)
        info.out_color_space = JCS_GRAYSCALE;
    else if (components == 4)
        info.out_color_space = JCS_CMYK;
    else
        info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (static_cast<long long>(info.output_width) * info.output_height > max_pixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    pix = pixCreate(static_cast<l_int32>(info.output_width), static_cast<l_int32>(info.output_height),
                    components == 1 ? 8 : 32);
    if (!pix) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.output_width * info.output_components, 1);
    l_uint32 *data = pixGetData(pix);
    const l_int32 words_per_line = pixGetWpl(pix);
    while (info.output_scanline < info.output_height) {
        l_uint32 *out = data + static_cast<std::size_t>(info.output_scanline) * words_per_line;
        jpeg_read_scanlines(&info, row, 1);
        const JSAMPLE *in = row[0];
        for (JDIMENSION x = 0; x < info.output_width; ++x) {
            if (components == 1) {
                SET_DATA_BYTE(out, x, in[x]);
                continue;
            }
            unsigned r, g, b;
            if (components == 4) {  // Adobe CMYK, stored inverted
                const JSAMPLE *p = in + 4 * x;
                r = p[0] * p[3] / 255;
                g = p[1] * p[3] / 255;
                b = p[2] * p[3] / 255;
            } else {
                const JSAMPLE *p = in + 3 * x;
                r = p[0], g = p[1], b = p[2];
            }
            out[x] = (l_uint32{r} << L_RED_SHIFT) | (l_uint32{g} << L_GREEN_SHIFT) | (l_uint32{b} << L_BLUE_SHIFT);
        }
    }
    jpeg_finish_decompress(&info);
    // The decoder patched up damaged data (a premature end, a corrupt segment): no picture we
    // can trust.
    const bool clean = errors.manager.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    return clean;
}

}  // namespace

PixPtr decode_jpeg(const std::uint8_t *bytes, std::size_t count, long long max_pixels) {
    PIX *volatile raw = nullptr;
    const bool ok = read_jpeg(bytes, count, max_pixels, raw);
    PixPtr pix(raw);
    if (!ok) return nullptr;
    pixSetInputFormat(pix.get(), IFF_JFIF_JPEG);
    return pix;
}

}  // namespace lv
