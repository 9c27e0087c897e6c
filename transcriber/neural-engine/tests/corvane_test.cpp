// The Corvane component on its own, against the stand-in dispatch library: every load
// failure with its exact message and nothing left loaded, the encode path and its guards,
// and the half-precision round trip. The stand-in reports each call it receives through
// the file named by ANE_STANDIN_TRACE.
#include "whisper-corvane.h"

#include "ane-dispatch.h"
#include "program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string env_or_die(const char * name) {
    const char * v = getenv(name);
    if (v == nullptr) {
        ADD_FAILURE() << name << " is not set (run through ctest)";
        return "";
    }
    return v;
}

struct temp_dir {
    fs::path path;
    temp_dir() {
        std::string tmpl = (fs::temp_directory_path() / "corvane-XXXXXX").string();
        path = mkdtemp(tmpl.data());
    }
    ~temp_dir() { fs::remove_all(path); }
};

// Sets (or with nullptr unsets) an environment variable for one scope.
struct scoped_env {
    std::string name;
    std::string old;
    bool had = false;
    scoped_env(const char * n, const char * value) : name(n) {
        if (const char * v = getenv(n)) { old = v; had = true; }
        if (value) setenv(n, value, 1); else unsetenv(n);
    }
    ~scoped_env() {
        if (had) setenv(name.c_str(), old.c_str(), 1); else unsetenv(name.c_str());
    }
};

// Collects what is written to standard error (file descriptor 2) while alive.
class stderr_capture {
public:
    stderr_capture() {
        fflush(stderr);
        file_ = tmpfile();
        saved_ = dup(2);
        dup2(fileno(file_), 2);
    }
    ~stderr_capture() { restore(); if (file_) fclose(file_); }
    std::string text() {
        restore();
        std::string out;
        rewind(file_);
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, file_)) > 0;) out.append(buf, n);
        return out;
    }
private:
    void restore() {
        if (saved_ < 0) return;
        fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }
    FILE * file_ = nullptr;
    int saved_ = -1;
};

void write_file(const fs::path & path, const std::string & bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string halves(const std::vector<float> & values) {
    std::string bytes;
    for (float v : values) {
        const _Float16 h = _Float16(v);
        uint16_t bits;
        memcpy(&bits, &h, 2);
        bytes.push_back(char(bits & 0xff));
        bytes.push_back(char(bits >> 8));
    }
    return bytes;
}

// The small encoder used throughout: 4 output frames of 2 features from 3 mel bands.
constexpr int64_t frames = 4, features = 2, bands = 3;
constexpr size_t mel_count = 2 * frames * bands, out_count = frames * features, pos_count = out_count;

const char * const default_ports = "mel 24\npos 8\nenc 8\n";
const char * const default_program =
    "lumivane-affine 1\n"
    "ports mel pos enc\n"
    "frames 4\n"
    "features 2\n"
    "feature 0 1 0 0.5     # mean mel energy + 0.5\n"
    "feature 1 0 2 -1      # 2 x position - 1\n";

std::vector<float> default_positions(size_t n = pos_count) {
    std::vector<float> pos;
    for (size_t i = 0; i < n; ++i) pos.push_back(i < pos_count ? 0.25f * float(i) : 1000.0f);
    return pos;
}

struct encoder_dir {
    temp_dir tmp;
    fs::path dir = tmp.path / "enc";
    encoder_dir(const std::string & ports = default_ports, const std::string & program = default_program,
                const std::string & pos = halves(default_positions())) {
        fs::create_directory(dir);
        if (!ports.empty()) write_file(dir / "ports.txt", ports);
        write_file(dir / "model.mil", program);
        if (!pos.empty()) write_file(dir / "pos.f16", pos);
    }
    fs::path trace() const { return tmp.path / "trace.txt"; }
    std::vector<std::string> trace_lines() const {
        std::vector<std::string> lines;
        std::ifstream in(trace());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

bool library_loaded(const std::string & path) {
    void * h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

void expect_trace(const std::vector<std::string> & lines, const std::vector<std::string> & patterns) {
    ASSERT_EQ(lines.size(), patterns.size()) << ::testing::PrintToString(lines);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(patterns[i]))) << lines[i] << " !~ " << patterns[i];
    }
}

// mel[b][f] in the engine's band-major layout, with frame pair (2t, 2t+1) feeding output frame t.
std::vector<float> make_mel(const std::function<float(int64_t band, int64_t frame)> & value) {
    std::vector<float> mel(mel_count);
    for (int64_t b = 0; b < bands; ++b)
        for (int64_t f = 0; f < 2 * frames; ++f) mel[b * 2 * frames + f] = value(b, f);
    return mel;
}

struct context_owner {
    whisper_corvane_context * ctx;
    explicit context_owner(whisper_corvane_context * c) : ctx(c) {}
    ~context_owner() { whisper_corvane_free(ctx); }
};

// ---------------------------------------------------------------------------------------
// Load failures

struct failure_case {
    std::string name;
    std::function<void(encoder_dir &, std::string & dylib, std::string & dir)> setup;
    std::function<std::string(const std::string & dylib, const std::string & dir)> message;
    std::vector<std::string> trace;
};

const std::string standin_path() { return env_or_die("ANE_STANDIN"); }

std::vector<failure_case> failure_cases() {
    std::vector<failure_case> cases;
    cases.push_back({"dylib unset",
                     [](encoder_dir &, std::string & dylib, std::string &) { dylib.clear(); },
                     [](auto &, auto &) { return std::string("corvane: set CORVANE_DYLIB to libane_e5rt_dispatch.dylib\n"); },
                     {}});
    cases.push_back({"dlopen failure",
                     [](encoder_dir & e, std::string & dylib, std::string &) { dylib = (e.tmp.path / "nowhere.so").string(); },
                     [](const std::string & dylib, auto &) {
                         // The loader's own text for the same path.
                         void * h = dlopen(dylib.c_str(), RTLD_NOW | RTLD_LOCAL);
                         EXPECT_EQ(h, nullptr);
                         return "corvane: dlopen(" + dylib + ") failed: " + dlerror() + "\n";
                     },
                     {}});
    for (const char * entry : {"COMPILE", "SET_INPUT", "EXECUTE", "GET_OUTPUT", "RELEASE"}) {
        const std::string var = std::string("ANE_STANDIN_WITHOUT_") + entry;
        cases.push_back({"missing " + std::string(entry),
                         [var](encoder_dir &, std::string & dylib, std::string &) { dylib = env_or_die(var.c_str()); },
                         [](auto &, auto &) { return std::string("corvane: missing dispatch symbols\n"); },
                         {"load", "unload"}});
    }
    cases.push_back({"no ports.txt",
                     [](encoder_dir & e, std::string &, std::string &) { fs::remove(e.dir / "ports.txt"); },
                     [](auto &, const std::string & dir) { return "corvane: no ports.txt in " + dir + "\n"; },
                     {"load", "unload"}});
    cases.push_back({"two records only",
                     [](encoder_dir & e, std::string &, std::string &) { write_file(e.dir / "ports.txt", "mel 24\npos 8\n"); },
                     [](auto &, auto &) { return std::string(); },
                     {"load", "unload"}});
    cases.push_back({"count that is not a number",
                     [](encoder_dir & e, std::string &, std::string &) { write_file(e.dir / "ports.txt", "mel 24\npos 8\nenc many\n"); },
                     [](auto &, auto &) { return std::string(); },
                     {"load", "unload"}});
    cases.push_back({"compile null: malformed program",
                     [](encoder_dir & e, std::string &, std::string &) { write_file(e.dir / "model.mil", "lumivane-affine 1\nframes 4\n"); },
                     [](auto &, auto &) { return std::string("corvane: compile failed\n"); },
                     {"load", "compile-error .*", "compile null .*", "unload"}});
    cases.push_back({"compile null: ports that do not fit the program",
                     [](encoder_dir & e, std::string &, std::string &) { write_file(e.dir / "ports.txt", "mel 24\npos 8\nenc 10\n"); },
                     [](auto &, auto &) { return std::string("corvane: compile failed\n"); },
                     {"load", "compile-error .*", "compile null .*", "unload"}});
    cases.push_back({"pos.f16 missing",
                     [](encoder_dir & e, std::string &, std::string &) { fs::remove(e.dir / "pos.f16"); },
                     [](auto &, auto &) { return std::string("corvane: pos.f16 read failed\n"); },
                     {"load", "compile p\\d+ .*", "release p\\d+", "unload"}});
    cases.push_back({"pos.f16 one byte short",
                     [](encoder_dir & e, std::string &, std::string &) {
                         write_file(e.dir / "pos.f16", halves(default_positions()).substr(0, 2 * pos_count - 1));
                     },
                     [](auto &, auto &) { return std::string("corvane: pos.f16 read failed\n"); },
                     {"load", "compile p\\d+ .*", "release p\\d+", "unload"}});
    return cases;
}

TEST(CorvaneLoad, EveryFailurePrintsItsMessageAndLeavesNothingLoaded) {
    for (const auto & c : failure_cases()) {
        SCOPED_TRACE(c.name);
        encoder_dir e;
        std::string dylib = standin_path();
        std::string dir = e.dir.string();
        c.setup(e, dylib, dir);
        scoped_env trace("ANE_STANDIN_TRACE", e.trace().c_str());
        scoped_env lib("CORVANE_DYLIB", dylib.empty() ? nullptr : dylib.c_str());

        stderr_capture err;
        whisper_corvane_context * ctx = whisper_corvane_init(dir.c_str());
        const std::string printed = err.text();

        EXPECT_EQ(ctx, nullptr);
        whisper_corvane_free(ctx);
        EXPECT_EQ(printed, c.message(dylib, dir));
        expect_trace(e.trace_lines(), c.trace);
        if (!dylib.empty()) {
            EXPECT_FALSE(library_loaded(dylib));
        }
    }
}

TEST(CorvaneLoad, PortLayoutsAndDirectoryFormsThatLoad) {
    struct load_case {
        const char * name;
        std::string ports;
        std::string pos_bytes;
        std::string dir_suffix;
    };
    const std::vector<load_case> cases = {
        {"one record per line", default_ports, halves(default_positions()), ""},
        {"all records on one line, text after the third", "mel 24 pos 8 enc 8 trailing words 99\n",
         halves(default_positions()), ""},
        {"pos.f16 longer than needed", default_ports, halves(default_positions(pos_count + 5)), ""},
        {"trailing slash", default_ports, halves(default_positions()), "/"},
    };
    for (const auto & c : cases) {
        SCOPED_TRACE(c.name);
        encoder_dir e(c.ports, default_program, c.pos_bytes);
        const std::string dylib = standin_path();
        const std::string dir = e.dir.string() + c.dir_suffix;
        scoped_env trace("ANE_STANDIN_TRACE", e.trace().c_str());
        scoped_env lib("CORVANE_DYLIB", dylib.c_str());

        stderr_capture err;
        whisper_corvane_context * ctx = whisper_corvane_init(dir.c_str());
        EXPECT_EQ(err.text(), "");
        ASSERT_NE(ctx, nullptr);
        EXPECT_TRUE(library_loaded(dylib));

        // Only the first (positional count) values reach the program.
        {
            stderr_capture ready;
            ASSERT_TRUE(whisper_corvane_expect_output(ctx, features, frames));
            EXPECT_EQ(ready.text(), "corvane: encoder ready (mel=mel pos=pos out=enc)\n");
        }
        std::vector<float> out(out_count, -7.0f);
        whisper_corvane_encode(ctx, 2 * frames, bands, make_mel([](auto, auto) { return 0.0f; }).data(), out.data());
        for (size_t t = 0; t < frames; ++t) EXPECT_EQ(out[t * 2 + 1], 2 * 0.25f * float(t * 2 + 1) - 1);

        whisper_corvane_free(ctx);
        EXPECT_FALSE(library_loaded(dylib));
        const std::string model = dir + "/model.mil", cache = dir + "/cache";
        expect_trace(e.trace_lines(), {
            "load",
            "compile p\\d+ " + model + " " + cache + " 4 mel:48 pos:16 enc:16",
            "set_input p\\d+ pos 8",
            "set_input p\\d+ mel 24", "execute p\\d+", "get_output p\\d+ enc 8",
            "release p\\d+",
            "unload",
        });
    }
}

// ---------------------------------------------------------------------------------------
// Encode

struct loaded_encoder {
    encoder_dir e;
    scoped_env trace{"ANE_STANDIN_TRACE", e.trace().c_str()};
    scoped_env lib{"CORVANE_DYLIB", standin_path().c_str()};
    context_owner owner{whisper_corvane_init(e.dir.c_str())};
    explicit loaded_encoder(const std::string & program = default_program, const std::string & ports = default_ports,
                            const std::string & pos = halves(default_positions()))
        : e(ports, program, pos) {}
    whisper_corvane_context * ctx() const { return owner.ctx; }
};

TEST(CorvaneEncode, OutputIsTheProgramsMapOfTheMelAndThePositions) {
    loaded_encoder enc;
    ASSERT_NE(enc.ctx(), nullptr);
    ASSERT_TRUE(whisper_corvane_expect_output(enc.ctx(), features, frames));

    // Two windows: the second run sees the new mel and the positions set once at load.
    for (float shift : {0.0f, 10.0f}) {
        SCOPED_TRACE(shift);
        const auto mel = make_mel([&](int64_t b, int64_t f) { return shift + float(f / 2 + b); });
        std::vector<float> out(out_count);
        whisper_corvane_encode(enc.ctx(), 2 * frames, bands, mel.data(), out.data());
        for (size_t t = 0; t < frames; ++t) {
            EXPECT_EQ(out[t * 2 + 0], shift + float(t) + 1.0f + 0.5f);   // mean over bands of t + b, + 0.5
            EXPECT_EQ(out[t * 2 + 1], 0.5f * float(t * 2 + 1) - 1.0f);   // 2 x 0.25 i - 1
        }
    }
    const auto lines = enc.e.trace_lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_TRUE(std::regex_match(lines[2], std::regex("set_input p\\d+ pos 8")));
    for (size_t i : {3, 6}) {
        EXPECT_TRUE(std::regex_match(lines[i + 0], std::regex("set_input p\\d+ mel 24")));
        EXPECT_TRUE(std::regex_match(lines[i + 1], std::regex("execute p\\d+")));
        EXPECT_TRUE(std::regex_match(lines[i + 2], std::regex("get_output p\\d+ enc 8")));
    }
}

TEST(CorvaneEncode, WrongWindowSizeRunsNothingAndLeavesTheOutput) {
    loaded_encoder enc;
    ASSERT_NE(enc.ctx(), nullptr);
    ASSERT_TRUE(whisper_corvane_expect_output(enc.ctx(), features, frames));
    const size_t lines_after_load = enc.e.trace_lines().size();

    const struct { int64_t ne0, ne1; const char * message; } cases[] = {
        {2 * frames - 2, bands, "corvane: mel size 18 != 24\n"},   // a reduced audio context
        {2 * frames, bands + 1, "corvane: mel size 32 != 24\n"},
        {0, bands, "corvane: mel size 0 != 24\n"},
    };
    const std::vector<float> mel(64, 1.0f);
    for (const auto & c : cases) {
        std::vector<float> out(out_count, 42.0f);
        stderr_capture err;
        whisper_corvane_encode(enc.ctx(), c.ne0, c.ne1, mel.data(), out.data());
        EXPECT_EQ(err.text(), c.message);
        EXPECT_EQ(out, std::vector<float>(out_count, 42.0f));
    }
    EXPECT_EQ(enc.e.trace_lines().size(), lines_after_load);
}

TEST(CorvaneEncode, OutputCountMustMatchTheEnginesOutput) {
    loaded_encoder enc;
    ASSERT_NE(enc.ctx(), nullptr);
    const auto mel = make_mel([](auto, auto) { return 1.0f; });
    std::vector<float> out(out_count, 42.0f);
    {
        // Before the engine has confirmed its output shape nothing runs.
        stderr_capture err;
        whisper_corvane_encode(enc.ctx(), 2 * frames, bands, mel.data(), out.data());
        EXPECT_EQ(err.text(), "corvane: output size 8 != 0\n");
    }
    {
        stderr_capture err;
        EXPECT_FALSE(whisper_corvane_expect_output(enc.ctx(), features + 1, frames));
        EXPECT_EQ(err.text(), "corvane: output size 8 != 12\n");
    }
    {
        stderr_capture err;
        whisper_corvane_encode(enc.ctx(), 2 * frames, bands, mel.data(), out.data());
        EXPECT_EQ(err.text(), "corvane: output size 8 != 0\n");
    }
    EXPECT_EQ(out, std::vector<float>(out_count, 42.0f));
    EXPECT_TRUE(whisper_corvane_expect_output(enc.ctx(), features, frames));
}

// f32 -> f16 (nearest, ties to even, overflow to infinity) -> f32, through a program that
// hands each mel frame pair straight to the output.
TEST(CorvaneEncode, HalfPrecisionRoundTrip) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct { float in, out; } cases[] = {
        {1.0f, 1.0f},
        {-2.5f, -2.5f},
        {0.1f, 0.0999755859375f},
        {1.0f + 0x1p-11f, 1.0f},                       // tie: to the even neighbour below
        {1.0f + 3 * 0x1p-11f, 1.0f + 0x1p-9f},         // tie: to the even neighbour above
        {1.0f + 0x1p-11f + 0x1p-20f, 1.0f + 0x1p-10f}, // just above the tie
        {65504.0f, 65504.0f},                          // largest half
        {65519.0f, 65504.0f},
        {65520.0f, inf},                               // tie between 65504 and the overflow
        {1e9f, inf},
        {-1e9f, -inf},
        {inf, inf},
        {0x1p-24f, 0x1p-24f},                          // smallest subnormal
        {0x1p-25f, 0.0f},                              // tie with zero
        {3 * 0x1p-25f, 0x1p-23f},                      // tie between subnormals
    };
    const size_t n = std::size(cases);
    const std::string program = "lumivane-affine 1\nframes " + std::to_string(n) + "\nfeatures 1\ndefault 1 0 0\n";
    const std::string ports = "m " + std::to_string(2 * n) + " p 1 o " + std::to_string(n) + "\n";
    loaded_encoder enc(program, ports, halves({0.0f}));
    ASSERT_NE(enc.ctx(), nullptr);
    ASSERT_TRUE(whisper_corvane_expect_output(enc.ctx(), 1, int64_t(n)));

    std::vector<float> mel;
    for (const auto & c : cases) { mel.push_back(c.in); mel.push_back(c.in); }
    std::vector<float> out(n);
    whisper_corvane_encode(enc.ctx(), int64_t(2 * n), 1, mel.data(), out.data());
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(out[i], cases[i].out) << "input " << cases[i].in;
}

// ---------------------------------------------------------------------------------------
// The stand-in's own contract, through its entry points

struct standin_library {
    void * handle = dlopen(standin_path().c_str(), RTLD_NOW | RTLD_LOCAL);
    ~standin_library() { if (handle) dlclose(handle); }
    template <typename Fn> Fn get(const char * name) { return reinterpret_cast<Fn>(dlsym(handle, name)); }
};

TEST(CorvaneStandin, InputsAreCopiedAndKeptAndOutputsFilledExactly) {
    encoder_dir e;
    standin_library lib;
    ASSERT_NE(lib.handle, nullptr);
    auto compile = lib.get<ane_e5rt_program_compile_fn>("ane_e5rt_program_compile");
    auto set_input = lib.get<ane_e5rt_program_set_input_fp16_fn>("ane_e5rt_program_set_input_fp16");
    auto execute = lib.get<ane_e5rt_program_execute_fn>("ane_e5rt_program_execute");
    auto get_output = lib.get<ane_e5rt_program_get_output_fp16_fn>("ane_e5rt_program_get_output_fp16");
    auto release = lib.get<ane_e5rt_program_release_fn>("ane_e5rt_program_release");

    const std::string mil = (e.dir / "model.mil").string();
    const char * in_names[] = {"mel", "pos"};
    const char * out_names[] = {"enc"};
    const size_t in_sizes[] = {2 * mel_count, 2 * pos_count};
    const size_t out_sizes[] = {2 * out_count};
    EXPECT_EQ(compile(mil.c_str(), "c", 3, in_names, in_sizes, 2, out_names, out_sizes, 1), nullptr);
    const char * wrong_names[] = {"mel", "position"};
    EXPECT_EQ(compile(mil.c_str(), "c", 4, wrong_names, in_sizes, 2, out_names, out_sizes, 1), nullptr);
    void * p = compile(mil.c_str(), "c", 4, in_names, in_sizes, 2, out_names, out_sizes, 1);
    ASSERT_NE(p, nullptr);

    auto to_half = [](float v) { _Float16 h = _Float16(v); uint16_t b; memcpy(&b, &h, 2); return b; };
    auto to_float = [](uint16_t b) { _Float16 h; memcpy(&h, &b, 2); return float(h); };
    std::vector<uint16_t> mel(mel_count, to_half(2.0f)), pos(pos_count, to_half(1.0f));
    EXPECT_NE(execute(p), 0);                                  // inputs not set yet
    EXPECT_NE(set_input(p, "mel", mel.data(), mel_count - 1), 0);
    EXPECT_EQ(set_input(p, "mel", mel.data(), mel_count), 0);
    EXPECT_EQ(set_input(p, "pos", pos.data(), pos_count), 0);
    std::fill(mel.begin(), mel.end(), to_half(100.0f));        // the program holds its own copy

    std::vector<uint16_t> out(out_count + 1, 0xAAAA);
    for (int run = 0; run < 2; ++run) {                        // inputs persist across runs
        EXPECT_EQ(execute(p), 0);
        EXPECT_EQ(get_output(p, "enc", out.data(), out_count), 0);
        for (size_t t = 0; t < frames; ++t) {
            EXPECT_EQ(to_float(out[t * 2]), 2.5f);
            EXPECT_EQ(to_float(out[t * 2 + 1]), 1.0f);
        }
        EXPECT_EQ(out[out_count], 0xAAAA);
    }
    std::vector<uint16_t> small(out_count - 1, 0xAAAA);
    EXPECT_NE(get_output(p, "enc", small.data(), small.size()), 0);
    EXPECT_EQ(small, std::vector<uint16_t>(out_count - 1, 0xAAAA));
    EXPECT_NE(get_output(p, "mel", out.data(), out_count), 0);
    release(p);
}

TEST(CorvaneStandin, ProgramFormat) {
    const struct { const char * text; bool ok; } cases[] = {
        {"lumivane-affine 1\nframes 2\nfeatures 3\n", true},
        {"# a comment\n\nlumivane-affine 1 # version\nports a b c\nframes 2\nfeatures 3\ndefault 1 2 3\nfeature 2 0 0 1\n", true},
        {"frames 2\nfeatures 3\n", false},                       // no header
        {"lumivane-affine 2\nframes 2\nfeatures 3\n", false},    // unknown version
        {"lumivane-affine 1\nframes 2\n", false},                // no features
        {"lumivane-affine 1\nframes 0\nfeatures 3\n", false},
        {"lumivane-affine 1\nframes 2\nfeatures 3\nfeature 3 0 0 1\n", false}, // beyond the features
        {"lumivane-affine 1\nframes 2\nfeatures 3\nfeature 1 0 0\n", false},   // short coefficients
        {"lumivane-affine 1\nframes 2 extra\nfeatures 3\n", false},
        {"lumivane-affine 1\nframes 2\nfeatures 3\nconv 1\n", false},          // unknown statement
    };
    for (const auto & c : cases) {
        standin::affine_program program;
        std::string error;
        EXPECT_EQ(standin::parse_program_text(c.text, program, error), c.ok) << c.text << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
        }
    }
    standin::affine_program program;
    std::string error;
    ASSERT_TRUE(standin::parse_program_text("lumivane-affine 1\nframes 2\nfeatures 3\ndefault 1 2 3\nfeature 2 0 0 1\n",
                                            program, error));
    EXPECT_EQ(program.coefficients[0].pos_gain, 2.0f);
    EXPECT_EQ(program.coefficients[2].mel_gain, 0.0f);
    EXPECT_EQ(program.coefficients[2].bias, 1.0f);
}

} // namespace
