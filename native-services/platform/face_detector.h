// Face detection over a decoded image.
#pragma once

#include "normalized_rect.h"
#include "pix.h"
#include "platform_error.h"

#include <vector>

namespace lv {

// Frontal faces, the most certain first, as normalised bottom-left rectangles clipped to the
// image. Returns false with `error` filled in when detection could not run.
bool perform_face_request(PIX *image, std::vector<NormalizedRect> &faces, PlatformError &error);

}  // namespace lv
