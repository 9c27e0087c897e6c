// lv_detect_regions: face or text-line rectangles written into the caller's records.
#include "lumivane_image.h"

#include "../platform/face_detector.h"
#include "../platform/text_recognizer.h"
#include "image_bytes.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::int32_t detection_failed = -1;
constexpr std::int32_t too_many_regions = -2;

bool find_regions(PIX *image, bool faces, std::vector<lv::NormalizedRect> &boxes) {
    lv::PlatformError error;
    if (faces) return lv::perform_face_request(image, boxes, error);
    // Only the rectangles are wanted: the recogniser's default language, no dictionary, and
    // somewhat taller lines than for reading.
    std::vector<lv::TextObservation> lines;
    if (!lv::perform_text_request(image, lv::TextRequest{{}, false, 0.005f}, lines, error)) return false;
    for (const lv::TextObservation &line : lines) boxes.push_back(line.bounding_box);
    return true;
}

std::int32_t detect(const void *bytes, std::int32_t byte_count, std::int32_t mode, lv_region *regions,
                    std::int32_t capacity) {
    if (capacity < 0 || (capacity > 0 && !regions)) return detection_failed;
    lv::PixPtr image = lv::decode_caller_image(bytes, byte_count);
    std::vector<lv::NormalizedRect> boxes;
    if (!image || !find_regions(image.get(), mode != 0, boxes)) return detection_failed;

    const std::size_t written = std::min(boxes.size(), static_cast<std::size_t>(capacity));
    for (std::size_t i = 0; i < written; ++i) {
        const lv::NormalizedRect &box = boxes[i];
        regions[i] = lv_region{box.x, lv::top_down_y(box), box.width, box.height};
    }
    if (boxes.size() > written) return too_many_regions;
    return static_cast<std::int32_t>(written);
}

}  // namespace

extern "C" std::int32_t lv_detect_regions(const void *bytes, std::int32_t byte_count, std::int32_t mode,
                                          lv_region *regions, std::int32_t capacity) {
    try {
        return detect(bytes, byte_count, mode, regions, capacity);
    } catch (...) {
        return detection_failed;
    }
}
