#include "program.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace standin {

namespace {

constexpr size_t max_dimension = size_t(1) << 24;

bool read_size(std::istringstream & in, size_t & value) {
    long long v = 0;
    if (!(in >> v) || v <= 0 || size_t(v) > max_dimension) return false;
    value = size_t(v);
    return true;
}

bool read_coefficients(std::istringstream & in, feature_coefficients & c) {
    return bool(in >> c.mel_gain >> c.pos_gain >> c.bias);
}

bool at_end(std::istringstream & in) {
    std::string rest;
    return !(in >> rest);
}

} // namespace

bool parse_program_text(const std::string & text, affine_program & program, std::string & error) {
    program = affine_program{};
    feature_coefficients fallback;
    struct pending { size_t index; feature_coefficients c; };
    std::vector<pending> features;
    bool seen_header = false;

    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream in(line);
        std::string word;
        if (!(in >> word)) continue;

        bool ok = true;
        if (!seen_header) {
            int version = 0;
            ok = word == "lumivane-affine" && (in >> version) && version == 1;
            seen_header = ok;
        } else if (word == "ports") {
            ok = bool(in >> program.mel_name >> program.pos_name >> program.out_name);
        } else if (word == "frames") {
            ok = read_size(in, program.frames);
        } else if (word == "features") {
            ok = read_size(in, program.features);
        } else if (word == "default") {
            ok = read_coefficients(in, fallback);
        } else if (word == "feature") {
            long long index = -1;
            pending p{};
            ok = (in >> index) && index >= 0 && read_coefficients(in, p.c);
            p.index = size_t(index);
            features.push_back(p);
        } else {
            ok = false;
        }
        if (!ok || !at_end(in)) {
            error = "line " + std::to_string(number) + ": cannot read \"" + line + "\"";
            return false;
        }
    }
    if (!seen_header) {
        error = "not a lumivane-affine program";
        return false;
    }
    if (program.frames == 0 || program.features == 0) {
        error = "frames and features are required";
        return false;
    }
    program.coefficients.assign(program.features, fallback);
    for (const auto & p : features) {
        if (p.index >= program.features) {
            error = "feature " + std::to_string(p.index) + " beyond " + std::to_string(program.features) + " features";
            return false;
        }
        program.coefficients[p.index] = p.c;
    }
    return true;
}

bool parse_program_file(const char * path, affine_program & program, std::string & error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = std::string("cannot open ") + path;
        return false;
    }
    std::ostringstream text;
    text << f.rdbuf();
    return parse_program_text(text.str(), program, error);
}

bool names_match(const affine_program & program, const char * mel, const char * pos, const char * out) {
    if (program.mel_name.empty()) return true;
    return program.mel_name == mel && program.pos_name == pos && program.out_name == out;
}

void run_affine(const affine_program & program, const _Float16 * mel, size_t n_mel,
                const _Float16 * pos, size_t n_pos, _Float16 * out) {
    const size_t frames = program.frames;
    const size_t features = program.features;
    const size_t row = 2 * frames;
    const size_t bands = n_mel / row;
    for (size_t t = 0; t < frames; ++t) {
        float sum = 0.0f;
        for (size_t b = 0; b < bands; ++b) {
            const _Float16 * frame = mel + b * row + 2 * t;
            sum += 0.5f * (float(frame[0]) + float(frame[1]));
        }
        const float energy = sum / float(bands);
        for (size_t f = 0; f < features; ++f) {
            const size_t i = t * features + f;
            const auto & c = program.coefficients[f];
            const float value = c.mel_gain * energy + c.pos_gain * float(pos[i % n_pos]) + c.bias;
            out[i] = _Float16(value);
        }
    }
}

} // namespace standin
