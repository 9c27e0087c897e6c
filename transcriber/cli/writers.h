// Transcript writers: each writes the engine's result for the current input to `fout`.
#pragma once

#include "whisper-params.h"
#include "whisper.h"

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

using channel_samples = std::vector<std::vector<float>>;

void output_txt(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);
void output_vtt(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);
void output_srt(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);
void output_lrc(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);
void output_csv(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);
void output_json(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);
void output_score(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s);

// The karaoke video script. `fname_inp`: the input as given; `t_sec`: the duration figure
// (samples + 1000) / 16000; `fname_out`: the script's own path, for the closing message.
void output_wts(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s,
                const std::string & fname_inp, float t_sec, const std::string & fname_out);

// How many bytes are still missing to complete the last UTF-8 character of `text`.
int utf8_trailing_bytes_needed(const std::string & text);

// The speaker label of a segment ("(speaker 0)", or "0" with `id_only`), or empty when
// speakers are not labelled for this input.
std::string segment_speaker(const whisper_params & params, const channel_samples & pcmf32s, int64_t t0, int64_t t1,
                            bool id_only = false);
