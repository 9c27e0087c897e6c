// The test-model script: what the model must transcribe, read from JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct model_dims {
    std::string name;   // preset name as written in the script
    int n_state;        // audio and text state width (one basis direction per dimension)
    int n_head;         // audio and text heads
    int n_audio_layer;
    int n_text_layer;
};

struct script_segment {
    int64_t t0 = 0;                   // engine time, 10 ms units, absolute
    int64_t t1 = 0;
    std::vector<std::string> tokens;  // byte strings of the vocabulary entries, in order
    bool speaker_turn = false;        // emit the speaker-turn token after the text
};

// A transcript that depends on the encoder output: feature `feature` of the encoder
// output, averaged over the audio frames, is 0 with the model's own encoder and turns the
// first segment's first token into `token` at 1 (an encoder of our own can set it).
struct encoder_word_rule {
    bool enabled = false;
    int feature = 0;
    std::string token;
};

struct test_script {
    bool multilingual = false;
    std::string language = "en";      // what language detection reports (multilingual only)
    model_dims dims;
    bool with_timestamps = true;      // the model serves runs with timestamps
    bool without_timestamps = false;  // the model serves no-timestamp runs
    std::vector<script_segment> segments;
    encoder_word_rule encoder_word;
};

// Parses and checks a script. On failure returns false and sets `error` to a one-line
// message naming the offending field.
bool parse_test_script(const std::string & json_text, test_script & out, std::string & error);
