#pragma once

// Fills the synthetic result with `n_segments` segments of `n_tokens` tokens each.
void synthetic_result_make(int n_segments, int n_tokens);
