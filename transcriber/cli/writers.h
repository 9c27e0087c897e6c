// Transcript writers: each writes the engine's result for the current input to `fout`.
#pragma once

#include "whisper-params.h"
#include "whisper.h"

#include <ostream>
#include <string>
#include <vector>

using channel_samples = std::vector<std::vector<float>>;

void output_txt(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);
void output_vtt(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);
void output_srt(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);
void output_lrc(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);

// The speaker label of a segment ("(speaker 0)", or "0" with `id_only`), or empty when
// speakers are not labelled for this input.
std::string segment_speaker(const whisper_params & params, const channel_samples & pcmf32s, int64_t t0, int64_t t1,
                            bool id_only = false);
