// lv_read_qr: the payloads of every QR code in an image as a JSON result text.
#include "lumivane_image.h"

#include "../platform/barcode_detector.h"
#include "image_bytes.h"
#include "json_text.h"

namespace {

constexpr const char *qr_failure = "Não foi possível conferir os QR codes da imagem.";

nlohmann::json read_codes(const void *bytes, std::int32_t byte_count) {
    std::vector<lv::BarcodeObservation> observations;
    lv::PixPtr image = lv::decode_caller_image(bytes, byte_count);
    if (!image || !lv::perform_qr_request(image.get(), observations)) return {{"Erro", qr_failure}};
    nlohmann::json codes = nlohmann::json::array();
    for (const lv::BarcodeObservation &observation : observations) {
        if (observation.payload_string) codes.push_back(*observation.payload_string);
    }
    return {{"Codigos", std::move(codes)}};
}

}  // namespace

extern "C" char *lv_read_qr(const void *bytes, std::int32_t byte_count) {
    try {
        return lv::json_result_text(read_codes(bytes, byte_count));
    } catch (...) {
        return lv::json_result_text({{"Erro", qr_failure}});
    }
}
