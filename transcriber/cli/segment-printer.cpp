#include "segment-printer.h"

#include "time-helpers.h"

#include <algorithm>
#include <cstdio>

std::string set_xterm256_foreground(int r, int g, int b) {
    const int y = (int) (0.299 * r + 0.587 * g + 0.114 * b + 0.5);
    const int gi = y > 238 ? 23 : (y - 3) / 10; // truncates toward zero: 0 below 13
    const int grey = 8 + 10 * gi;

    auto cube_index = [](int v) { return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40; };
    static const int cube_values[6] = {0, 95, 135, 175, 215, 255};
    const int ri = cube_index(r), gi2 = cube_index(g), bi = cube_index(b);

    auto sq = [](int d) { return d * d; };
    const int dc = sq(cube_values[ri] - r) + sq(cube_values[gi2] - g) + sq(cube_values[bi] - b);
    const int dg = sq(grey - r) + sq(grey - g) + sq(grey - b);

    const int number = dg < dc ? 232 + gi : 16 + 36 * ri + 6 * gi2 + bi;
    return "\033[38;5;" + std::to_string(number) + "m";
}

const std::vector<std::string> k_colors = {
    set_xterm256_foreground(220, 5, 12),
    set_xterm256_foreground(232, 96, 28),
    set_xterm256_foreground(241, 147, 45),
    set_xterm256_foreground(246, 193, 65),
    set_xterm256_foreground(247, 240, 86),
    set_xterm256_foreground(144, 201, 135),
    set_xterm256_foreground(78, 178, 101),
};

const char * const k_styles[3] = {"\033[7m", "\033[4m", "\033[2m"};
const char * const k_reset = "\033[0m";

int confidence_color_index(float p) {
    const double pd = p;
    const int index = (int) (pd * pd * pd * (double) k_colors.size());
    return std::max(0, std::min((int) k_colors.size() - 1, index));
}

int confidence_style_index(float p) {
    const double pd = p;
    return pd < 0.33 ? 0 : pd < 0.66 ? 1 : 2;
}

bool progress_line_due(int progress, int step, int & prev) {
    if (progress >= prev + step) {
        prev += step;
        return true;
    }
    return false;
}

void whisper_print_progress_callback(whisper_context *, whisper_state *, int progress, void * user_data) {
    auto * data = static_cast<print_callback_data *>(user_data);
    if (progress_line_due(progress, data->params->progress_step, data->progress_prev)) {
        fprintf(stderr, "%s: progress = %3d%%\n", "whisper_print_progress_callback", progress);
    }
}

void whisper_print_segment_callback(whisper_context * ctx, whisper_state *, int n_new, void * user_data) {
    const auto * data = static_cast<const print_callback_data *>(user_data);
    const whisper_params & params = *data->params;
    const auto & pcmf32s = *data->pcmf32s;

    const int n_segments = whisper_full_n_segments(ctx);
    const int s0 = n_segments - n_new;
    if (s0 == 0) {
        printf("\n");
    }

    const bool show_times = !params.no_timestamps;
    std::string speaker;
    for (int i = s0; i < n_segments; i++) {
        int64_t t0 = 0, t1 = 0;
        if (show_times || params.diarize) {
            t0 = whisper_full_get_segment_t0(ctx, i);
            t1 = whisper_full_get_segment_t1(ctx, i);
        }
        if (show_times) {
            printf("[%s --> %s]  ", to_timestamp(t0).c_str(), to_timestamp(t1).c_str());
        }
        if (params.diarize && pcmf32s.size() == 2) {
            speaker = estimate_diarization_speaker(pcmf32s, t0, t1);
        }

        if (params.print_colors || params.print_confidence) {
            const whisper_token eot = whisper_token_eot(ctx);
            for (int j = 0; j < whisper_full_n_tokens(ctx, i); ++j) {
                if (!params.print_special && whisper_full_get_token_id(ctx, i, j) >= eot) {
                    continue;
                }
                const char * text = whisper_full_get_token_text(ctx, i, j);
                const float p = whisper_full_get_token_p(ctx, i, j);
                const char * mark = params.print_colors ? k_colors[confidence_color_index(p)].c_str()
                                                        : k_styles[confidence_style_index(p)];
                printf("%s%s%s%s", speaker.c_str(), mark, text, k_reset);
            }
        } else {
            printf("%s%s", speaker.c_str(), whisper_full_get_segment_text(ctx, i));
        }

        if (params.tinydiarize && whisper_full_get_segment_speaker_turn_next(ctx, i)) {
            printf("%s", params.speaker_turn_marker.c_str());
        }
        if (show_times || params.diarize) {
            printf("\n");
        }
        fflush(stdout);
    }
}
