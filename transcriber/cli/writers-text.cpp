// Line-oriented transcripts: plain text, WebVTT, SubRip and LRC.
#include "writers.h"

#include "time-helpers.h"

#include <cstdio>

std::string segment_speaker(const whisper_params & params, const channel_samples & pcmf32s, int64_t t0, int64_t t1,
                            bool id_only) {
    if (!params.diarize || pcmf32s.size() != 2) {
        return "";
    }
    return estimate_diarization_speaker(pcmf32s, t0, t1, id_only);
}

void output_txt(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s) {
    const int n_segments = whisper_full_n_segments(ctx);
    for (int i = 0; i < n_segments; ++i) {
        const char * text = whisper_full_get_segment_text(ctx, i);
        const std::string speaker = segment_speaker(params, pcmf32s, whisper_full_get_segment_t0(ctx, i),
                                                    whisper_full_get_segment_t1(ctx, i));
        if (speaker.empty()) {
            while (*text == ' ' || *text == '\t') {
                text++;
            }
        }
        fout << speaker << text << "\n";
    }
}

void output_vtt(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s) {
    fout << "WEBVTT\n\n";
    const int n_segments = whisper_full_n_segments(ctx);
    for (int i = 0; i < n_segments; ++i) {
        const int64_t t0 = whisper_full_get_segment_t0(ctx, i);
        const int64_t t1 = whisper_full_get_segment_t1(ctx, i);
        const std::string id = segment_speaker(params, pcmf32s, t0, t1, true);
        const std::string voice = id.empty() ? "" : "<v Speaker" + id + ">";
        fout << to_timestamp(t0) << " --> " << to_timestamp(t1) << "\n";
        fout << voice << whisper_full_get_segment_text(ctx, i) << "\n\n";
    }
}

void output_srt(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s) {
    const int n_segments = whisper_full_n_segments(ctx);
    for (int i = 0; i < n_segments; ++i) {
        const int64_t t0 = whisper_full_get_segment_t0(ctx, i);
        const int64_t t1 = whisper_full_get_segment_t1(ctx, i);
        fout << (int64_t) i + 1 + params.offset_n << "\n";
        fout << to_timestamp(t0, true) << " --> " << to_timestamp(t1, true) << "\n";
        fout << segment_speaker(params, pcmf32s, t0, t1) << whisper_full_get_segment_text(ctx, i) << "\n\n";
    }
}

void output_lrc(whisper_context * ctx, std::ostream & fout, const whisper_params & params, const channel_samples & pcmf32s) {
    fout << "[by:whisper.cpp]\n";
    const int n_segments = whisper_full_n_segments(ctx);
    for (int i = 0; i < n_segments; ++i) {
        const int64_t t0 = whisper_full_get_segment_t0(ctx, i);
        const int64_t t1 = whisper_full_get_segment_t1(ctx, i);
        const int64_t total_ms = t0 * 10;
        const int64_t minutes = total_ms / 60000;
        const int64_t rest = total_ms - minutes * 60000;
        const int64_t seconds = rest / 1000;
        const int64_t hundredths = (rest % 1000) / 10;

        char timestamp[32];
        snprintf(timestamp, sizeof(timestamp), "%02d:%02d.%02d", (int) minutes, (int) seconds, (int) hundredths);
        fout << "[" << timestamp << "]" << segment_speaker(params, pcmf32s, t0, t1)
             << whisper_full_get_segment_text(ctx, i) << "\n";
    }
}
