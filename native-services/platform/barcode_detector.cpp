#include "barcode_detector.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

namespace lv {
namespace {

bool is_valid_utf8(const ZXing::ByteArray &bytes) {
    static const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = bytes[i];
        const std::size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xe ? 2 : (lead >> 3) == 0x1e ? 3 : 4;
        if (extra == 4 || bytes.size() - i <= extra) return false;
        std::uint32_t code = extra == 0 ? lead : lead & (0x3fu >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xc0) != 0x80) return false;
            code = (code << 6) | (bytes[i + k] & 0x3f);
        }
        if (code < smallest[extra] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
        i += extra + 1;
    }
    return true;
}

// The code's text. The detector calls a payload binary when it holds control characters (a tab,
// U+0001, NUL): such bytes are still text when they are valid UTF-8, and are given as they are.
// Bytes that are no UTF-8 text carry no text payload.
std::optional<std::string> payload_text(const ZXing::Result &result) {
    if (result.contentType() != ZXing::ContentType::Binary) return result.text();
    const ZXing::ByteArray &bytes = result.bytes();
    if (!is_valid_utf8(bytes)) return std::nullopt;
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

bool perform_qr_request(PIX *image, std::vector<BarcodeObservation> &observations) {
    observations.clear();
    const GrayPlane plane = gray_plane(image);
    const ZXing::ImageView view(plane.pixels.data(), plane.width, plane.height, ZXing::ImageFormat::Lum);

    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    hints.setTryDownscale(true);
    hints.setMaxNumberOfSymbols(255);

    for (const ZXing::Result &result : ZXing::ReadBarcodes(view, hints)) {
        if (!result.isValid()) continue;
        BarcodeObservation observation;
        observation.payload_string = payload_text(result);
        observations.push_back(std::move(observation));
    }
    return true;
}

}  // namespace lv
