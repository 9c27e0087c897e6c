// Stand-in for the Neural Engine dispatch library on machines without one. It runs the
// small affine programs described in standin/README.md on the CPU, with the dispatch
// library's contract: compile refuses what cannot run, set-input copies, inputs persist,
// execute completes before returning, get-output fills exactly n elements, release frees
// everything. With ANE_STANDIN_TRACE naming a file, every call appends one line there;
// ANE_STANDIN_MAX_PROGRAMS=N makes compile refuse while N programs are alive, as a
// device out of resources would.
#include "../ane-dispatch.h"
#include "program.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct port {
    std::string name;
    std::vector<_Float16> values;
    bool set = false;
};

struct program {
    unsigned id = 0;
    standin::affine_program code;
    port mel;
    port pos;
    port out;
};

std::atomic<unsigned> next_program_id{1};
std::atomic<long> live_programs{0};

bool device_full() {
    const char * limit = getenv("ANE_STANDIN_MAX_PROGRAMS");
    return limit != nullptr && *limit != '\0' && live_programs.load() >= atol(limit);
}

// Trace lines are appended whole, under one lock, so parallel programs do not interleave.
void trace(const char * fmt, ...) __attribute__((format(printf, 1, 2)));
void trace(const char * fmt, ...) {
    static std::mutex lock;
    const char * path = getenv("ANE_STANDIN_TRACE");
    if (path == nullptr || *path == '\0') {
        return;
    }
    char line[2048];
    va_list args;
    va_start(args, fmt);
    vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(lock);
    if (FILE * f = fopen(path, "a")) {
        fprintf(f, "%s\n", line);
        fclose(f);
    }
}

__attribute__((constructor)) void on_load() { trace("load"); }
__attribute__((destructor)) void on_unload() { trace("unload"); }

[[maybe_unused]] port * find_input(program & p, const char * name) {
    if (name == nullptr) return nullptr;
    if (p.mel.name == name) return &p.mel;
    if (p.pos.name == name) return &p.pos;
    return nullptr;
}

// The byte sizes must describe whole half-precision ports that fit the program's shape.
bool ports_match(const standin::affine_program & code, const size_t * in_sizes, const size_t * out_sizes) {
    for (size_t bytes : {in_sizes[0], in_sizes[1], out_sizes[0]}) {
        if (bytes == 0 || bytes % 2 != 0) return false;
    }
    const size_t mel = in_sizes[0] / 2;
    const size_t frames = code.frames;
    return out_sizes[0] / 2 == code.frames * code.features && mel % (2 * frames) == 0;
}

[[maybe_unused]] program * compile(const char * mil_path, const char * cache_path, int units,
                  const char * const * input_names, const size_t * input_sizes, int n_inputs,
                  const char * const * output_names, const size_t * output_sizes, int n_outputs) {
    if (mil_path == nullptr || units != 4 || n_inputs != 2 || n_outputs != 1 || input_names == nullptr ||
        input_sizes == nullptr || output_names == nullptr || output_sizes == nullptr ||
        input_names[0] == nullptr || input_names[1] == nullptr || output_names[0] == nullptr ||
        strcmp(input_names[0], input_names[1]) == 0) {
        return nullptr;
    }
    auto p = std::make_unique<program>();
    std::string error;
    if (!standin::parse_program_file(mil_path, p->code, error)) {
        trace("compile-error %s", error.c_str());
        return nullptr;
    }
    if (!standin::names_match(p->code, input_names[0], input_names[1], output_names[0]) ||
        !ports_match(p->code, input_sizes, output_sizes)) {
        trace("compile-error ports do not fit the program");
        return nullptr;
    }
    if (device_full()) {
        trace("compile-error no room for another program");
        return nullptr;
    }
    (void) cache_path; // nothing is compiled ahead on the CPU, so nothing is cached
    p->mel.name = input_names[0];
    p->pos.name = input_names[1];
    p->out.name = output_names[0];
    p->mel.values.assign(input_sizes[0] / 2, 0);
    p->pos.values.assign(input_sizes[1] / 2, 0);
    p->out.values.assign(output_sizes[0] / 2, 0);
    p->id = next_program_id++;
    live_programs++;
    return p.release();
}

} // namespace

#ifndef STANDIN_WITHOUT_COMPILE
STANDIN_EXPORT void * ane_e5rt_program_compile(
    const char * mil_path, const char * cache_path, int units,
    const char * const * input_names, const size_t * input_sizes, int n_inputs,
    const char * const * output_names, const size_t * output_sizes, int n_outputs) {
    program * p = nullptr;
    try {
        p = compile(mil_path, cache_path, units, input_names, input_sizes, n_inputs,
                    output_names, output_sizes, n_outputs);
    } catch (const std::bad_alloc &) {
        p = nullptr;
    }
    if (p == nullptr) {
        trace("compile null %s %s %d", mil_path ? mil_path : "(null)", cache_path ? cache_path : "(null)", units);
        return nullptr;
    }
    trace("compile p%u %s %s %d %s:%zu %s:%zu %s:%zu", p->id, mil_path, cache_path ? cache_path : "(null)", units,
          input_names[0], input_sizes[0], input_names[1], input_sizes[1], output_names[0], output_sizes[0]);
    return p;
}
#endif

#ifndef STANDIN_WITHOUT_SET_INPUT
STANDIN_EXPORT int ane_e5rt_program_set_input_fp16(void * handle, const char * name, const uint16_t * data, size_t n) {
    if (handle == nullptr) return -1;
    auto & p = *static_cast<program *>(handle);
    port * in = find_input(p, name);
    if (in == nullptr || n != in->values.size() || (n > 0 && data == nullptr)) {
        trace("set_input p%u %s %zu refused", p.id, name ? name : "(null)", n);
        return -1;
    }
    memcpy(in->values.data(), data, n * sizeof(uint16_t));
    in->set = true;
    trace("set_input p%u %s %zu", p.id, name, n);
    return 0;
}
#endif

#ifndef STANDIN_WITHOUT_EXECUTE
STANDIN_EXPORT int ane_e5rt_program_execute(void * handle) {
    if (handle == nullptr) return -1;
    auto & p = *static_cast<program *>(handle);
    if (!p.mel.set || !p.pos.set) {
        trace("execute p%u refused: input not set", p.id);
        return -1;
    }
    standin::run_affine(p.code, p.mel.values.data(), p.mel.values.size(), p.pos.values.data(),
                        p.pos.values.size(), p.out.values.data());
    trace("execute p%u", p.id);
    return 0;
}
#endif

#ifndef STANDIN_WITHOUT_GET_OUTPUT
STANDIN_EXPORT int ane_e5rt_program_get_output_fp16(void * handle, const char * name, uint16_t * data, size_t n) {
    if (handle == nullptr) return -1;
    auto & p = *static_cast<program *>(handle);
    if (name == nullptr || p.out.name != name || n != p.out.values.size() || (n > 0 && data == nullptr)) {
        trace("get_output p%u %s %zu refused", p.id, name ? name : "(null)", n);
        return -1;
    }
    memcpy(data, p.out.values.data(), n * sizeof(uint16_t));
    trace("get_output p%u %s %zu", p.id, name, n);
    return 0;
}
#endif

#ifndef STANDIN_WITHOUT_RELEASE
STANDIN_EXPORT void ane_e5rt_program_release(void * handle) {
    if (handle == nullptr) return;
    auto * p = static_cast<program *>(handle);
    trace("release p%u", p->id);
    delete p;
    live_programs--;
}
#endif
