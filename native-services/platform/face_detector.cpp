#include "face_detector.h"

#include "engine_pool.h"

#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/image_transforms/interpolation.h>

namespace lv {
namespace {

using FaceDetector = dlib::frontal_face_detector;

// The detector's window is 80 pixels; images up to this size are searched at twice their
// resolution as well, so that faces down to 40 pixels are found. Larger photos carry faces
// large enough at their own resolution.
constexpr long upsample_below_pixels = 1600L * 1200L;

// Raised above the detector's own zero: on our sample photos every real face scored 0.4 or
// more, while badges and folds that resemble a face scored up to 0.26.
constexpr double detection_threshold = 0.3;

EnginePool<FaceDetector> &detector_pool() {
    static auto *pool = new EnginePool<FaceDetector>(
        [] { return std::make_unique<FaceDetector>(dlib::get_frontal_face_detector()); },
        EnginePool<FaceDetector>::default_max_idle());
    return *pool;
}

}  // namespace

bool perform_face_request(PIX *image, std::vector<NormalizedRect> &faces, PlatformError &error) {
    faces.clear();
    auto detector = detector_pool().acquire();
    if (!detector) {
        error.localized_description = "Não foi possível iniciar o detector de rostos.";
        return false;
    }
    const GrayPlane plane = gray_plane(image);
    dlib::array2d<unsigned char> pixels(plane.height, plane.width);
    for (long y = 0; y < plane.height; ++y) {
        const unsigned char *row = plane.pixels.data() + y * plane.width;
        std::copy(row, row + plane.width, &pixels[y][0]);
    }

    long scale = 1;
    if (static_cast<long>(plane.width) * plane.height <= upsample_below_pixels) {
        dlib::pyramid_up(pixels);
        scale = 2;
    }
    const std::vector<dlib::rectangle> found = (*detector.get())(pixels, detection_threshold);
    for (const dlib::rectangle &box : found) {
        // dlib's boxes are inclusive on every side.
        faces.push_back(normalized_from_pixels(box.left() / scale, box.top() / scale, (box.right() + 1) / scale,
                                               (box.bottom() + 1) / scale, plane.width, plane.height));
    }
    return true;
}

}  // namespace lv
