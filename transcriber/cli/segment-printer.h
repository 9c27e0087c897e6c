// The live transcript on standard output and progress lines on standard error.
#pragma once

#include "whisper-params.h"
#include "whisper.h"

#include <string>
#include <vector>

struct print_callback_data {
    const whisper_params * params;
    const std::vector<std::vector<float>> * pcmf32s;
    int progress_prev;
};

// Confidence colours, lowest (0) to highest (6), and the three confidence styles.
extern const std::vector<std::string> k_colors;
extern const char * const k_styles[3];
extern const char * const k_reset;

// The escape text selecting the nearest colour of a 256-colour terminal as foreground.
std::string set_xterm256_foreground(int r, int g, int b);

// Palette index for a token probability: trunc(p^3 * 7) clamped to [0, 6].
int confidence_color_index(float p);
// Style index: 0 below 0.33, 1 below 0.66, 2 otherwise.
int confidence_style_index(float p);

void whisper_print_segment_callback(whisper_context * ctx, whisper_state * state, int n_new, void * user_data);
void whisper_print_progress_callback(whisper_context * ctx, whisper_state * state, int progress, void * user_data);

// The progress step logic: returns true (and advances `prev` by one step) when a line is due.
bool progress_line_due(int progress, int step, int & prev);
