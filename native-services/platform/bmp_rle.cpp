#include "bmp_rle.h"

#include <vector>

namespace lv {
namespace {

constexpr std::uint32_t bi_rle8 = 1;
constexpr std::uint32_t bi_rle4 = 2;
constexpr std::size_t file_header_size = 14;

std::uint32_t u16_at(const std::uint8_t *p) { return p[0] | (p[1] << 8); }
std::uint32_t u32_at(const std::uint8_t *p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

struct BmpHeader {
    long width = 0;
    long height = 0;  // rows as stored; the file is bottom-up unless top_down
    bool top_down = false;
    unsigned bits = 0;
    std::uint32_t compression = 0;
    std::size_t pixel_offset = 0;
    std::vector<l_uint32> palette;  // as Leptonica RGB words
};

bool read_header(const std::uint8_t *bytes, std::size_t count, BmpHeader &header) {
    if (count < file_header_size + 40 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    const std::uint8_t *info = bytes + file_header_size;
    const std::uint32_t info_size = u32_at(info);
    if (info_size < 40 || info_size > count - file_header_size) return false;
    const auto width = static_cast<std::int32_t>(u32_at(info + 4));
    const auto height = static_cast<std::int32_t>(u32_at(info + 8));
    header.bits = u16_at(info + 14);
    header.compression = u32_at(info + 16);
    header.pixel_offset = u32_at(bytes + 10);
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    header.width = width;
    header.top_down = height < 0;
    header.height = height < 0 ? -static_cast<long>(height) : height;

    const std::size_t palette_offset = file_header_size + info_size;
    std::size_t colours = u32_at(info + 32);
    if (colours == 0 && header.bits <= 8) colours = std::size_t{1} << header.bits;
    if (colours > 256 || palette_offset + colours * 4 > count) return false;
    for (std::size_t i = 0; i < colours; ++i) {
        const std::uint8_t *entry = bytes + palette_offset + i * 4;  // blue, green, red, unused
        header.palette.push_back((l_uint32{entry[2]} << L_RED_SHIFT) | (l_uint32{entry[1]} << L_GREEN_SHIFT) |
                                 (l_uint32{entry[0]} << L_BLUE_SHIFT));
    }
    return true;
}

// Paints decoded palette indices into the image, ignoring anything outside it.
class Canvas {
public:
    Canvas(PIX *pix, const BmpHeader &header) : pix_(pix), header_(header) {}

    void put(long x, long row, unsigned index) {
        if (x < 0 || x >= header_.width || row < 0 || row >= header_.height) return;
        const long y = header_.top_down ? row : header_.height - 1 - row;
        const l_uint32 colour = index < header_.palette.size() ? header_.palette[index] : 0;
        pixGetData(pix_)[static_cast<size_t>(y) * pixGetWpl(pix_) + x] = colour;
    }

private:
    PIX *pix_;
    const BmpHeader &header_;
};

}  // namespace

bool is_rle_bmp(const std::uint8_t *bytes, std::size_t count) {
    if (count < file_header_size + 40 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    const std::uint32_t compression = u32_at(bytes + file_header_size + 16);
    return compression == bi_rle8 || compression == bi_rle4;
}

PixPtr decode_rle_bmp(const std::uint8_t *bytes, std::size_t count, long long max_pixels) {
    BmpHeader header;
    if (!read_header(bytes, count, header)) return nullptr;
    const bool four_bit = header.compression == bi_rle4;
    if ((four_bit && header.bits != 4) || (!four_bit && header.bits != 8)) return nullptr;
    if (static_cast<long long>(header.width) * header.height > max_pixels) return nullptr;
    if (header.pixel_offset >= count) return nullptr;

    PixPtr pix(pixCreate(header.width, header.height, 32));
    if (!pix) return nullptr;
    // Pixels that the runs skip over stay white.
    pixSetAllArbitrary(pix.get(), 0xffffff00);
    Canvas canvas(pix.get(), header);

    const std::uint8_t *p = bytes + header.pixel_offset;
    const std::uint8_t *end = bytes + count;
    long x = 0, row = 0;
    while (end - p >= 2 && row < header.height) {
        const unsigned length = p[0];
        const unsigned value = p[1];
        p += 2;
        if (length > 0) {  // a run of one index (or two alternating nibbles)
            for (unsigned i = 0; i < length; ++i, ++x) {
                const unsigned index = four_bit ? ((i & 1) ? value & 0x0f : value >> 4) : value;
                canvas.put(x, row, index);
            }
        } else if (value == 0) {  // end of line
            x = 0;
            ++row;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // move right and down
            if (end - p < 2) break;
            x += p[0];
            row += p[1];
            p += 2;
        } else {  // `value` literal indices, padded to an even byte count
            const std::size_t literal_bytes = four_bit ? (value + 1) / 2 : value;
            const std::size_t padded = (literal_bytes + 1) & ~std::size_t{1};
            if (static_cast<std::size_t>(end - p) < literal_bytes) break;
            for (unsigned i = 0; i < value; ++i, ++x) {
                const unsigned index = four_bit ? ((i & 1) ? p[i / 2] & 0x0f : p[i / 2] >> 4) : p[i];
                canvas.put(x, row, index);
            }
            p += std::min(padded, static_cast<std::size_t>(end - p));
        }
    }
    return pix;
}

}  // namespace lv
