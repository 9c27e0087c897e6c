#include "model_file.h"

#include "ggml.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr uint32_t k_magic = 0x67676d6c;  // "ggml"

struct file_closer {
    void operator()(FILE * f) const { fclose(f); }
};

class writer {
public:
    explicit writer(FILE * f) : f_(f) {}
    void bytes(const void * data, size_t n) {
        if (ok_ && n > 0 && fwrite(data, 1, n, f_) != n) ok_ = false;
    }
    void i32(int32_t v) { bytes(&v, sizeof v); }
    void u32(uint32_t v) { bytes(&v, sizeof v); }
    bool ok() const { return ok_; }

private:
    FILE * f_;
    bool ok_ = true;
};

void write_tensor(writer & out, const model_tensor & t) {
    out.i32(int32_t(t.ne.size()));
    out.i32(int32_t(t.name.size()));
    out.i32(int32_t(t.type));
    for (int32_t n : t.ne) out.i32(n);
    out.bytes(t.name.data(), t.name.size());
    if (t.type == tensor_type::f32) {
        out.bytes(t.values.data(), t.values.size() * sizeof(float));
    } else {
        std::vector<ggml_fp16_t> half(t.values.size());
        ggml_fp32_to_fp16_row(t.values.data(), half.data(), int64_t(t.values.size()));
        out.bytes(half.data(), half.size() * sizeof(ggml_fp16_t));
    }
}

} // namespace

bool write_model_file(const model_file & model, const std::string & path, std::string & error) {
    std::unique_ptr<FILE, file_closer> f(fopen(path.c_str(), "wb"));
    if (!f) {
        error = "cannot create '" + path + "': " + strerror(errno);
        return false;
    }
    writer out(f.get());
    out.u32(k_magic);
    const auto & h = model.hparams;
    for (int32_t v : {h.n_vocab, h.n_audio_ctx, h.n_audio_state, h.n_audio_head, h.n_audio_layer, h.n_text_ctx,
                      h.n_text_state, h.n_text_head, h.n_text_layer, h.n_mels, h.ftype}) {
        out.i32(v);
    }
    out.i32(model.n_mel_filters);
    out.i32(model.n_fft_bins);
    out.bytes(model.mel_filters.data(), model.mel_filters.size() * sizeof(float));
    out.i32(int32_t(model.vocab.size()));
    for (const auto & entry : model.vocab) {
        out.u32(uint32_t(entry.size()));
        out.bytes(entry.data(), entry.size());
    }
    for (const auto & t : model.tensors) write_tensor(out, t);

    if (!out.ok() || fflush(f.get()) != 0) {
        error = "cannot write '" + path + "': " + strerror(errno);
        return false;
    }
    if (fclose(f.release()) != 0) {
        error = "cannot write '" + path + "': " + strerror(errno);
        return false;
    }
    return true;
}
