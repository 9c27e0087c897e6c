#include "model_weights.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

constexpr int k_audio_ctx = 1500;  // 30 s of audio in 20 ms steps
constexpr int k_n_mels = 80;
constexpr int k_n_fft_bins = 201;  // 400-sample frames at 16 kHz

// Deterministic values in [-scale, scale], seeded by the tensor name.
std::vector<float> pseudo_random(const std::string & name, size_t n, float scale) {
    uint64_t state = 1469598103934665603ull;
    for (unsigned char c : name) state = (state ^ c) * 1099511628211ull;
    std::vector<float> out(n);
    for (auto & v : out) {
        // splitmix64
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        v = scale * float(double(z >> 11) / double(1ull << 53) * 2.0 - 1.0);
    }
    return out;
}

size_t count(const std::vector<int32_t> & ne) {
    size_t n = 1;
    for (int32_t d : ne) n *= size_t(d);
    return n;
}

class tensor_list {
public:
    explicit tensor_list(std::vector<model_tensor> & out) : out_(out) {}

    void constant(const std::string & name, tensor_type type, std::vector<int32_t> ne, float value) {
        const size_t n = count(ne);
        out_.push_back({name, type, std::move(ne), std::vector<float>(n, value)});
    }
    void random(const std::string & name, tensor_type type, std::vector<int32_t> ne, float scale) {
        const size_t n = count(ne);
        out_.push_back({name, type, std::move(ne), pseudo_random(name, n, scale)});
    }
    void values(const std::string & name, tensor_type type, std::vector<int32_t> ne, std::vector<float> v) {
        out_.push_back({name, type, std::move(ne), std::move(v)});
    }

    std::vector<model_tensor> & tensors() { return out_; }

private:
    std::vector<model_tensor> & out_;
};

// Slaney-style mel filter bank (area-normalised triangles), 0 to 8 kHz.
std::vector<float> mel_filters() {
    auto hz_to_mel = [](double f) {
        const double f_sp = 200.0 / 3.0, min_log_hz = 1000.0, min_log_mel = min_log_hz / f_sp;
        const double logstep = std::log(6.4) / 27.0;
        return f < min_log_hz ? f / f_sp : min_log_mel + std::log(f / min_log_hz) / logstep;
    };
    auto mel_to_hz = [](double m) {
        const double f_sp = 200.0 / 3.0, min_log_hz = 1000.0, min_log_mel = min_log_hz / f_sp;
        const double logstep = std::log(6.4) / 27.0;
        return m < min_log_mel ? m * f_sp : min_log_hz * std::exp(logstep * (m - min_log_mel));
    };
    const double top = hz_to_mel(8000.0);
    std::vector<double> edges(k_n_mels + 2);
    for (int i = 0; i < k_n_mels + 2; ++i) edges[i] = mel_to_hz(top * i / (k_n_mels + 1));

    std::vector<float> out(size_t(k_n_mels) * k_n_fft_bins, 0.0f);
    for (int m = 0; m < k_n_mels; ++m) {
        const double norm = 2.0 / (edges[m + 2] - edges[m]);
        for (int k = 0; k < k_n_fft_bins; ++k) {
            const double f = 8000.0 * k / (k_n_fft_bins - 1);
            const double rise = (f - edges[m]) / (edges[m + 1] - edges[m]);
            const double fall = (edges[m + 2] - f) / (edges[m + 2] - edges[m + 1]);
            out[size_t(m) * k_n_fft_bins + k] = float(std::fmax(0.0, std::fmin(rise, fall)) * norm);
        }
    }
    return out;
}

std::vector<float> sinusoids(int n_ctx, int n_state) {
    std::vector<float> out(size_t(n_ctx) * n_state);
    const int half = n_state / 2;
    const double step = std::log(10000.0) / (half - 1);
    for (int t = 0; t < n_ctx; ++t) {
        for (int i = 0; i < half; ++i) {
            const double a = t * std::exp(-step * i);
            out[size_t(t) * n_state + i] = float(std::sin(a));
            out[size_t(t) * n_state + half + i] = float(std::cos(a));
        }
    }
    return out;
}

void add_layer_norm(tensor_list & t, const std::string & prefix, int n, float gain) {
    t.constant(prefix + ".weight", tensor_type::f32, {n}, gain);
    t.constant(prefix + ".bias", tensor_type::f32, {n}, 0.0f);
}

void add_encoder(tensor_list & t, const model_dims & d, const test_script & script) {
    const int n = d.n_state;
    const auto f16 = tensor_type::f16, f32 = tensor_type::f32;
    t.values("encoder.positional_embedding", f32, {n, k_audio_ctx}, sinusoids(k_audio_ctx, n));
    t.random("encoder.conv1.weight", f16, {3, k_n_mels, n}, 1.0f / std::sqrt(3.0f * k_n_mels));
    t.constant("encoder.conv1.bias", f32, {1, n}, 0.0f);
    t.random("encoder.conv2.weight", f16, {3, n, n}, 1.0f / std::sqrt(3.0f * n));
    t.constant("encoder.conv2.bias", f32, {1, n}, 0.0f);
    if (script.encoder_word.enabled) {
        // The engine's own encoder output is exactly 0 on the switch feature.
        std::vector<float> gain(size_t(n), 1.0f);
        gain[size_t(script.encoder_word.feature)] = 0.0f;
        t.values("encoder.ln_post.weight", f32, {n}, std::move(gain));
        t.constant("encoder.ln_post.bias", f32, {n}, 0.0f);
    } else {
        add_layer_norm(t, "encoder.ln_post", n, 1.0f);
    }
    const float s = 1.0f / std::sqrt(float(n));
    for (int i = 0; i < d.n_audio_layer; ++i) {
        const std::string b = "encoder.blocks." + std::to_string(i);
        add_layer_norm(t, b + ".mlp_ln", n, 1.0f);
        t.random(b + ".mlp.0.weight", f16, {n, 4 * n}, s);
        t.constant(b + ".mlp.0.bias", f32, {4 * n}, 0.0f);
        t.random(b + ".mlp.2.weight", f16, {4 * n, n}, 0.5f * s);
        t.constant(b + ".mlp.2.bias", f32, {n}, 0.0f);
        add_layer_norm(t, b + ".attn_ln", n, 1.0f);
        t.random(b + ".attn.query.weight", f16, {n, n}, s);
        t.constant(b + ".attn.query.bias", f32, {n}, 0.0f);
        t.random(b + ".attn.key.weight", f16, {n, n}, s);
        t.random(b + ".attn.value.weight", f16, {n, n}, s);
        t.constant(b + ".attn.value.bias", f32, {n}, 0.0f);
        t.random(b + ".attn.out.weight", f16, {n, n}, s);
        t.constant(b + ".attn.out.bias", f32, {n}, 0.0f);
    }
}

// The encoder-dependent word, in the first decoder block: value channel 0 of the
// cross-attention reads the switch feature alone, so (attention being uniform) it carries
// the feature's mean over the audio frames; the output projection takes that times the
// weight off the first word's direction, and the replacement waiting below it wins.
void add_encoder_word(tensor_list & t, int n, const test_script & script, const decoder_plan & plan,
                      const std::string & block) {
    constexpr int channel = 0;
    for (auto & tensor : t.tensors()) {
        if (tensor.name == block + ".cross_attn.value.weight") {
            std::fill_n(tensor.values.begin() + size_t(channel) * n, n, 0.0f);
            tensor.values[size_t(channel) * n + size_t(script.encoder_word.feature)] = 1.0f;
        } else if (tensor.name == block + ".cross_attn.out.weight") {
            tensor.values[size_t(plan.encoder_word_from) * n + channel] = -plan.encoder_word_weight;
        }
    }
}

// Self-attention, MLP and cross-attention all run, but their output projections are
// zero, so the residual stays token embedding + positional embedding. The
// cross-attention query is zero too: its attention is uniform over the audio, which
// keeps the alignment heads (and so DTW timestamps) independent of the audio.
// An audio-dependent path would enter here, through a non-zero cross-attention
// query/output on directions of its own.
void add_decoder(tensor_list & t, const model_dims & d, const test_script & script, const decoder_plan & plan) {
    const int n = d.n_state;
    const auto f16 = tensor_type::f16, f32 = tensor_type::f32;

    std::vector<float> pos(size_t(plan.n_text_ctx) * n, 0.0f);
    for (int p = 0; p < plan.n_text_ctx; ++p) {
        for (const auto & term : plan.positions[p]) pos[size_t(p) * n + term.direction] += term.weight;
    }
    t.values("decoder.positional_embedding", f32, {n, plan.n_text_ctx}, std::move(pos));

    std::vector<float> emb(size_t(plan.ids.n_vocab) * n, 0.0f);
    for (int tok = 0; tok < plan.ids.n_vocab; ++tok) {
        const int dir = plan.direction_of_token[tok];
        if (dir >= 0) emb[size_t(tok) * n + dir] = plan.token_scale;
    }
    t.values("decoder.token_embedding.weight", f16, {n, plan.ids.n_vocab}, std::move(emb));
    add_layer_norm(t, "decoder.ln", n, plan.final_gain);

    const float s = 1.0f / std::sqrt(float(n));
    for (int i = 0; i < d.n_text_layer; ++i) {
        const std::string b = "decoder.blocks." + std::to_string(i);
        add_layer_norm(t, b + ".mlp_ln", n, 1.0f);
        t.random(b + ".mlp.0.weight", f16, {n, 4 * n}, s);
        t.constant(b + ".mlp.0.bias", f32, {4 * n}, 0.0f);
        t.constant(b + ".mlp.2.weight", f16, {4 * n, n}, 0.0f);
        t.constant(b + ".mlp.2.bias", f32, {n}, 0.0f);
        add_layer_norm(t, b + ".attn_ln", n, 1.0f);
        t.random(b + ".attn.query.weight", f16, {n, n}, s);
        t.constant(b + ".attn.query.bias", f32, {n}, 0.0f);
        t.random(b + ".attn.key.weight", f16, {n, n}, s);
        t.random(b + ".attn.value.weight", f16, {n, n}, s);
        t.constant(b + ".attn.value.bias", f32, {n}, 0.0f);
        t.constant(b + ".attn.out.weight", f16, {n, n}, 0.0f);
        t.constant(b + ".attn.out.bias", f32, {n}, 0.0f);
        add_layer_norm(t, b + ".cross_attn_ln", n, 1.0f);
        t.constant(b + ".cross_attn.query.weight", f16, {n, n}, 0.0f);
        t.constant(b + ".cross_attn.query.bias", f32, {n}, 0.0f);
        t.random(b + ".cross_attn.key.weight", f16, {n, n}, s);
        t.random(b + ".cross_attn.value.weight", f16, {n, n}, s);
        t.constant(b + ".cross_attn.value.bias", f32, {n}, 0.0f);
        t.constant(b + ".cross_attn.out.weight", f16, {n, n}, 0.0f);
        t.constant(b + ".cross_attn.out.bias", f32, {n}, 0.0f);
        if (i == 0 && plan.encoder_word_from >= 0) add_encoder_word(t, n, script, plan, b);
    }
}

} // namespace

model_file build_model(const test_script & script, const decoder_plan & plan) {
    const model_dims & d = script.dims;
    model_file m{};
    m.hparams = {plan.ids.n_vocab, k_audio_ctx, d.n_state, d.n_head, d.n_audio_layer, plan.n_text_ctx,
                 d.n_state, d.n_head, d.n_text_layer, k_n_mels, 1};
    m.n_mel_filters = k_n_mels;
    m.n_fft_bins = k_n_fft_bins;
    m.mel_filters = mel_filters();
    m.vocab = plan.vocab;
    tensor_list t(m.tensors);
    add_encoder(t, d, script);
    add_decoder(t, d, script, plan);
    return m;
}
