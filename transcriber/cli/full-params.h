// The engine's decoding parameters for one input, derived from the command line.
#pragma once

#include "whisper-params.h"
#include "whisper.h"

// Starts from the engine's greedy defaults and sets exactly the fields the command line
// controls. `grammar_wanted`: a grammar and a start-rule name were given (selects beam
// search whether or not the rule exists). Callbacks and grammar rules are left to the caller.
whisper_full_params whisper_build_full_params(const whisper_params & params, bool grammar_wanted);

// The engine's alignment-heads preset for a -dtw model name; false when there is none.
bool whisper_dtw_preset(const std::string & name, whisper_alignment_heads_preset & preset);
