// Corvane: runs a Whisper model's audio encoder as a precompiled Neural Engine program,
// through the dispatch library named by CORVANE_DYLIB, in place of the engine's own
// convolution and encoder graphs. One context per engine state.
#pragma once

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct whisper_corvane_context;

// Loads the encoder directory (ports.txt, model.mil, cache, pos.f16): opens the dispatch
// library, compiles the program and uploads the positional input. Null on failure; every
// failure but a short ports.txt has printed a "corvane: " line on standard error. The load
// is complete once whisper_corvane_expect_output has accepted the program.
struct whisper_corvane_context * whisper_corvane_init(const char * path_encoder);

// Records the engine's encoder output width (n_audio_state features; n_ctx is the model's
// full audio context) and refuses a program whose output is not a whole number of frames
// within it; prints "encoder ready" when the program is accepted. The frame count is checked
// again for every window, so that no encode writes past the engine's output. Encodes run
// only on a context whose shape has been recorded.
bool whisper_corvane_expect_output(struct whisper_corvane_context * ctx, int64_t n_state, int64_t n_ctx);

// Runs one mel window (ne0 frames per band, ne1 bands, band-major floats) through the
// program and writes the encoder output floats. A window of the wrong size runs nothing
// and leaves the output as it stood.
void whisper_corvane_encode(struct whisper_corvane_context * ctx, int64_t ne0, int64_t ne1,
                            const float * mel, float * out);

// Releases the program, closes the library and frees the context. Null is ignored.
void whisper_corvane_free(struct whisper_corvane_context * ctx);

#ifdef __cplusplus
}
#endif
