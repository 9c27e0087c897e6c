// Turns a script into the decoder weights that make the engine emit it.
//
// Every attention and MLP output projection of the decoder is zero, so the residual
// at a position is token embedding + positional embedding. Each token the engine must
// emit owns one basis direction; its embedding row is `token_scale` times that
// direction (it is also the output projection, the engine ties the two). The
// positional embedding at position p holds `level` times the direction of the token
// wanted at p. Where several decodes want different tokens at the same position
// (timestamp and no-timestamp runs, consecutive 30 s windows), the weaker wishes get
// half the weight of the stronger one, which the engine's own masking removes in the
// context of the stronger wish.
#pragma once

#include "script.h"

#include <string>
#include <vector>

// Token ids the engine derives from the vocabulary size.
struct engine_token_ids {
    int n_vocab;
    int eot;
    int sot;
    int solm;     // speaker turn
    int not_ts;   // no timestamps
    int beg;      // first timestamp, 0.00 s; one step is 20 ms
    int lang0;    // first language token
};

engine_token_ids engine_token_ids_for(bool multilingual);

struct position_term {
    int direction;
    float weight;
};

struct decoder_plan {
    engine_token_ids ids;
    int n_state = 0;
    int n_text_ctx = 0;
    float token_scale = 0;                 // embedding row = token_scale x direction
    float final_gain = 0;                  // gain of the decoder's final layer norm
    std::vector<std::string> vocab;        // vocabulary entries written to the file, by id
    std::vector<int> direction_of_token;   // per token id: basis direction or -1
    std::vector<std::vector<position_term>> positions;  // positional embedding terms
    int n_directions = 0;

    // The encoder-dependent word (script.encoder_word): wherever the first word is
    // wanted, its replacement waits one step below it in the positional embedding, and
    // the cross-attention subtracts encoder_word_weight x (mean of the encoder feature) x
    // the first word's direction at every position. -1: no such word.
    int encoder_word_from = -1;
    int encoder_word_to = -1;
    float encoder_word_weight = 0;
};

// Lays the script out over the decoder positions the engine will use. On failure
// returns false with a one-line reason in `error`.
bool plan_decoder(const test_script & script, decoder_plan & plan, std::string & error);
