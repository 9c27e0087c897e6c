#include "barcode_detector.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

namespace lv {

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
        if (result.contentType() != ZXing::ContentType::Binary) observation.payload_string = result.text();
        observations.push_back(std::move(observation));
    }
    return true;
}

}  // namespace lv
