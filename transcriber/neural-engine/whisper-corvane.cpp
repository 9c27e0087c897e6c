// Corvane encoder add-on: reads an encoder directory, loads the dispatch library at run
// time and exchanges half-precision buffers with its program. No locks and no global
// state: everything lives in the per-state context.
#include "whisper-corvane.h"

#include "ane-dispatch.h"

#include "ggml-cpu.h"
#include "ggml.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <new>
#include <string>
#include <vector>

struct whisper_corvane_context {
    void * library = nullptr;
    void * program = nullptr;

    ane_e5rt_program_set_input_fp16_fn  set_input  = nullptr;
    ane_e5rt_program_get_output_fp16_fn get_output = nullptr;
    ane_e5rt_program_execute_fn         execute    = nullptr;
    ane_e5rt_program_release_fn         release    = nullptr;

    std::string mel_name;
    std::string pos_name;
    std::string out_name;

    size_t mel_count = 0;
    size_t pos_count = 0;
    size_t out_count = 0;

    std::vector<ggml_fp16_t> mel_f16;
    std::vector<ggml_fp16_t> out_f16;

    // Features per output frame, once the engine has confirmed the output shape.
    size_t out_features = 0;
};

namespace {

struct context_deleter {
    void operator()(whisper_corvane_context * ctx) const { whisper_corvane_free(ctx); }
};
using context_ptr = std::unique_ptr<whisper_corvane_context, context_deleter>;

struct file_closer {
    void operator()(FILE * f) const { fclose(f); }
};
using file_ptr = std::unique_ptr<FILE, file_closer>;

template <typename Fn>
bool resolve(void * library, const char * name, Fn & fn) {
    fn = reinterpret_cast<Fn>(dlsym(library, name));
    return fn != nullptr;
}

// The three records of ports.txt, in their fixed roles: mel input, positional input, output.
bool read_ports(FILE * f, whisper_corvane_context & ctx) {
    std::string * names[3]  = {&ctx.mel_name, &ctx.pos_name, &ctx.out_name};
    size_t      * counts[3] = {&ctx.mel_count, &ctx.pos_count, &ctx.out_count};
    for (int i = 0; i < 3; ++i) {
        char name[256];
        if (fscanf(f, "%255s %zu", name, counts[i]) != 2) {
            return false;
        }
        *names[i] = name;
    }
    return true;
}

// Element counts become byte sizes for the compile step; a count whose byte size does not
// fit cannot describe a real port.
bool counts_fit(const whisper_corvane_context & ctx) {
    const size_t limit = SIZE_MAX / 2 / sizeof(float);
    return ctx.mel_count <= limit && ctx.pos_count <= limit && ctx.out_count <= limit;
}

// Reads `count` little-endian binary16 values; false if the file is missing or shorter.
bool read_positions(const std::string & path, size_t count, std::vector<ggml_fp16_t> & values) {
    file_ptr f(fopen(path.c_str(), "rb"));
    if (!f) {
        return false;
    }
    values.resize(count);
    if (fread(values.data(), sizeof(ggml_fp16_t), count, f.get()) != count) {
        return false;
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (auto & v : values) {
            v = static_cast<ggml_fp16_t>((v >> 8) | (v << 8));
        }
    }
    return true;
}

context_ptr load(const char * dir) {
    const char * dylib = getenv("CORVANE_DYLIB");
    if (dylib == nullptr) {
        fprintf(stderr, "corvane: set CORVANE_DYLIB to libane_e5rt_dispatch.dylib\n");
        return nullptr;
    }

    void * library = dlopen(dylib, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        fprintf(stderr, "corvane: dlopen(%s) failed: %s\n", dylib, dlerror());
        return nullptr;
    }

    context_ptr ctx(new whisper_corvane_context);
    ctx->library = library;

    ane_e5rt_program_compile_fn compile = nullptr;
    const bool resolved = resolve(library, "ane_e5rt_program_compile", compile) &&
                          resolve(library, "ane_e5rt_program_set_input_fp16", ctx->set_input) &&
                          resolve(library, "ane_e5rt_program_execute", ctx->execute) &&
                          resolve(library, "ane_e5rt_program_get_output_fp16", ctx->get_output) &&
                          resolve(library, "ane_e5rt_program_release", ctx->release);
    if (!resolved) {
        fprintf(stderr, "corvane: missing dispatch symbols\n");
        return nullptr;
    }

    const std::string base = dir;
    {
        file_ptr ports(fopen((base + "/ports.txt").c_str(), "r"));
        if (!ports) {
            fprintf(stderr, "corvane: no ports.txt in %s\n", dir);
            return nullptr;
        }
        if (!read_ports(ports.get(), *ctx)) {
            return nullptr;
        }
    }
    if (!counts_fit(*ctx)) {
        fprintf(stderr, "corvane: port sizes out of range in %s\n", dir);
        return nullptr;
    }

    const std::string model_path = base + "/model.mil";
    const std::string cache_path = base + "/cache";
    const char * input_names[2]  = {ctx->mel_name.c_str(), ctx->pos_name.c_str()};
    const size_t input_sizes[2]  = {2 * ctx->mel_count, 2 * ctx->pos_count};
    const char * output_names[1] = {ctx->out_name.c_str()};
    const size_t output_sizes[1] = {2 * ctx->out_count};
    ctx->program = compile(model_path.c_str(), cache_path.c_str(), 4,
                           input_names, input_sizes, 2, output_names, output_sizes, 1);
    if (ctx->program == nullptr) {
        fprintf(stderr, "corvane: compile failed\n");
        return nullptr;
    }

    {
        std::vector<ggml_fp16_t> positions;
        if (!read_positions(base + "/pos.f16", ctx->pos_count, positions)) {
            fprintf(stderr, "corvane: pos.f16 read failed\n");
            return nullptr;
        }
        ctx->set_input(ctx->program, ctx->pos_name.c_str(), positions.data(), ctx->pos_count);
    }

    ctx->mel_f16.assign(ctx->mel_count, 0);
    ctx->out_f16.assign(ctx->out_count, 0);
    return ctx;
}

} // namespace

extern "C" whisper_corvane_context * whisper_corvane_init(const char * path_encoder) {
    // The row converters widen their tail through a table that this fills once.
    ggml_cpu_init();
    try {
        return load(path_encoder).release();
    } catch (const std::bad_alloc &) {
        // Port counts larger than memory: the context has been freed on the way out.
        fprintf(stderr, "corvane: out of memory loading %s\n", path_encoder);
        return nullptr;
    }
}

// A program may be built for the model's whole audio context or for a reduced one (-ac): its
// output must hold whole frames of n_state features, no more than the model's context.
extern "C" bool whisper_corvane_expect_output(whisper_corvane_context * ctx, int64_t n_state, int64_t n_ctx) {
    const size_t features = n_state > 0 ? size_t(n_state) : 0;
    const size_t limit = n_ctx > 0 ? features * size_t(n_ctx) : 0;
    if (features == 0 || ctx->out_count == 0 || ctx->out_count % features != 0 || ctx->out_count > limit) {
        fprintf(stderr, "corvane: output size %zu != %zu\n", ctx->out_count, limit);
        return false;
    }
    ctx->out_features = features;
    fprintf(stderr, "corvane: encoder ready (mel=%s pos=%s out=%s)\n",
            ctx->mel_name.c_str(), ctx->pos_name.c_str(), ctx->out_name.c_str());
    return true;
}

extern "C" void whisper_corvane_encode(whisper_corvane_context * ctx, int64_t ne0, int64_t ne1,
                                       const float * mel, float * out) {
    const size_t n = ne0 > 0 && ne1 > 0 ? size_t(ne0) * size_t(ne1) : 0;
    if (n != ctx->mel_count) {
        fprintf(stderr, "corvane: mel size %zu != %zu\n", n, ctx->mel_count);
        return;
    }
    // The engine's output holds n_state features for each of the window's ne0 / 2 frames.
    const size_t capacity = ctx->out_features * size_t(ne0 / 2);
    if (capacity != ctx->out_count) {
        fprintf(stderr, "corvane: output size %zu != %zu\n", ctx->out_count, capacity);
        return;
    }

    ggml_cpu_fp32_to_fp16(mel, ctx->mel_f16.data(), int64_t(n));
    ctx->set_input(ctx->program, ctx->mel_name.c_str(), ctx->mel_f16.data(), n);
    ctx->execute(ctx->program);
    ctx->get_output(ctx->program, ctx->out_name.c_str(), ctx->out_f16.data(), ctx->out_count);
    ggml_cpu_fp16_to_fp32(ctx->out_f16.data(), out, int64_t(ctx->out_count));
}

extern "C" void whisper_corvane_free(whisper_corvane_context * ctx) {
    if (ctx == nullptr) {
        return;
    }
    if (ctx->program != nullptr && ctx->release != nullptr) {
        ctx->release(ctx->program);
    }
    if (ctx->library != nullptr) {
        dlclose(ctx->library);
    }
    delete ctx;
}
