// QR-code detection over a decoded image.
#pragma once

#include "pix.h"

#include <optional>
#include <string>
#include <vector>

namespace lv {

struct BarcodeObservation {
    std::optional<std::string> payload_string;  // UTF-8 text, absent for binary payloads
};

// Every QR symbol in the image, in the detector's order, equal payloads each in its place.
// Returns false when detection could not run.
bool perform_qr_request(PIX *image, std::vector<BarcodeObservation> &observations);

}  // namespace lv
