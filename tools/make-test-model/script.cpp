#include "script.h"

#include <nlohmann/json.hpp>

#include <set>

using json = nlohmann::json;

namespace {

// Named model shapes. "dtw" matches the tiny models' head layout (4 text layers,
// 6 heads) so the engine's "tiny" and "tiny.en" alignment-head presets apply.
// Two text layers are avoided: the engine takes such models for distilled ones and
// forces no-timestamp decoding.
const model_dims k_dims[] = {
    {"small", 64, 2, 2, 1},
    {"dtw", 96, 6, 4, 4},
    {"wide", 256, 4, 2, 1},
    {"base", 512, 8, 6, 1},   // the base model's encoder width and depth, for benchmarks
};

bool fail(std::string & error, std::string message) {
    error = std::move(message);
    return false;
}

bool check_keys(const json & object, const std::set<std::string> & known, const std::string & where,
                std::string & error) {
    for (const auto & item : object.items()) {
        if (!known.count(item.key())) {
            return fail(error, where + ": unknown key \"" + item.key() + "\"");
        }
    }
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parse_token(const json & value, const std::string & where, std::string & bytes, std::string & error) {
    if (value.is_string()) {
        bytes = value.get<std::string>();
    } else if (value.is_object()) {
        if (!check_keys(value, {"hex"}, where, error)) return false;
        if (!value.contains("hex") || !value["hex"].is_string()) {
            return fail(error, where + ": a raw token is {\"hex\": \"..\"}");
        }
        const std::string hex = value["hex"].get<std::string>();
        if (hex.size() % 2 != 0) return fail(error, where + ": \"hex\" needs an even number of digits");
        bytes.clear();
        for (size_t i = 0; i < hex.size(); i += 2) {
            const int hi = hex_digit(hex[i]);
            const int lo = hex_digit(hex[i + 1]);
            if (hi < 0 || lo < 0) return fail(error, where + ": \"hex\" has a non-hex digit");
            bytes.push_back(char(hi * 16 + lo));
        }
    } else {
        return fail(error, where + ": a token is a string or {\"hex\": \"..\"}");
    }
    if (bytes.empty()) return fail(error, where + ": empty token");
    return true;
}

bool parse_time(const json & segment, const char * key, const std::string & where, int64_t & out,
                std::string & error) {
    if (!segment.contains(key)) return fail(error, where + ": missing \"" + key + "\"");
    const json & value = segment[key];
    if (!value.is_number_integer()) return fail(error, where + "." + key + ": must be an integer (10 ms units)");
    out = value.get<int64_t>();
    if (out < 0) return fail(error, where + "." + key + ": must not be negative");
    if (out % 2 != 0) return fail(error, where + "." + key + ": must be a multiple of 2 (timestamps step by 20 ms)");
    return true;
}

bool parse_segment(const json & value, const std::string & where, script_segment & seg, std::string & error) {
    if (!value.is_object()) return fail(error, where + ": a segment is an object");
    if (!check_keys(value, {"t0", "t1", "tokens", "speaker_turn"}, where, error)) return false;
    if (!parse_time(value, "t0", where, seg.t0, error)) return false;
    if (!parse_time(value, "t1", where, seg.t1, error)) return false;
    if (seg.t1 < seg.t0) return fail(error, where + ": t1 is before t0");
    if (!value.contains("tokens") || !value["tokens"].is_array() || value["tokens"].empty()) {
        return fail(error, where + ".tokens: must be a non-empty array");
    }
    const json & tokens = value["tokens"];
    for (size_t i = 0; i < tokens.size(); ++i) {
        std::string bytes;
        if (!parse_token(tokens[i], where + ".tokens[" + std::to_string(i) + "]", bytes, error)) return false;
        seg.tokens.push_back(std::move(bytes));
    }
    if (value.contains("speaker_turn")) {
        if (!value["speaker_turn"].is_boolean()) return fail(error, where + ".speaker_turn: must be true or false");
        seg.speaker_turn = value["speaker_turn"].get<bool>();
    }
    return true;
}

bool parse_encoder_word(const json & value, test_script & out, std::string & error) {
    if (!value.is_object()) return fail(error, "encoder_word: must be an object");
    if (!check_keys(value, {"feature", "token"}, "encoder_word", error)) return false;
    auto & rule = out.encoder_word;
    if (!value.contains("feature") || !value["feature"].is_number_integer() || value["feature"].get<int64_t>() < 0 ||
        value["feature"].get<int64_t>() >= out.dims.n_state) {
        return fail(error, "encoder_word.feature: must be an encoder feature index below " +
                           std::to_string(out.dims.n_state));
    }
    rule.feature = value["feature"].get<int>();
    if (!value.contains("token")) return fail(error, "encoder_word.token: missing");
    if (!parse_token(value["token"], "encoder_word.token", rule.token, error)) return false;
    if (out.segments.empty()) return fail(error, "encoder_word: needs a segment whose first token it replaces");
    if (rule.token == out.segments.front().tokens.front()) {
        return fail(error, "encoder_word.token: must differ from the first segment's first token");
    }
    rule.enabled = true;
    return true;
}

bool parse_document(const json & doc, test_script & out, std::string & error) {
    if (!doc.is_object()) return fail(error, "script: the top level is an object");
    if (!check_keys(doc, {"multilingual", "language", "dims", "no_timestamps", "segments", "encoder_word"}, "script",
                    error)) {
        return false;
    }

    if (doc.contains("multilingual")) {
        if (!doc["multilingual"].is_boolean()) return fail(error, "multilingual: must be true or false");
        out.multilingual = doc["multilingual"].get<bool>();
    }

    if (doc.contains("language")) {
        if (!doc["language"].is_string()) return fail(error, "language: must be a language code");
        if (!out.multilingual) return fail(error, "language: only a multilingual model detects a language");
        out.language = doc["language"].get<std::string>();
    }

    out.dims = k_dims[0];
    if (doc.contains("dims")) {
        const json & value = doc["dims"];
        bool found = false;
        if (value.is_string()) {
            for (const auto & d : k_dims) {
                if (d.name == value.get<std::string>()) {
                    out.dims = d;
                    found = true;
                }
            }
        }
        if (!found) return fail(error, "dims: must be \"small\", \"dtw\", \"wide\" or \"base\"");
    }

    if (doc.contains("no_timestamps")) {
        const json & value = doc["no_timestamps"];
        if (value.is_boolean()) {
            out.with_timestamps = !value.get<bool>();
            out.without_timestamps = value.get<bool>();
        } else if (value.is_string() && value.get<std::string>() == "both") {
            out.with_timestamps = true;
            out.without_timestamps = true;
        } else {
            return fail(error, "no_timestamps: must be false, true or \"both\"");
        }
    }

    if (!doc.contains("segments") || !doc["segments"].is_array()) {
        return fail(error, "segments: must be an array");
    }
    const json & segments = doc["segments"];
    for (size_t i = 0; i < segments.size(); ++i) {
        script_segment seg;
        const std::string where = "segments[" + std::to_string(i) + "]";
        if (!parse_segment(segments[i], where, seg, error)) return false;
        if (!out.segments.empty() && seg.t0 < out.segments.back().t1) {
            return fail(error, where + ": starts before the previous segment ends");
        }
        out.segments.push_back(std::move(seg));
    }
    if (doc.contains("encoder_word")) return parse_encoder_word(doc["encoder_word"], out, error);
    return true;
}

} // namespace

bool parse_test_script(const std::string & json_text, test_script & out, std::string & error) {
    const json doc = json::parse(json_text, nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded()) return fail(error, "script: not valid JSON");
    try {
        return parse_document(doc, out, error);
    } catch (const std::exception & e) {
        return fail(error, std::string("script: ") + e.what());
    }
}
