// Fills every tensor of the model. The decoder carries the script (see decoder_plan.h);
// the encoder and the cross-attention get small deterministic weights so the engine's
// whole compute runs on real numbers without touching the transcript.
#pragma once

#include "decoder_plan.h"
#include "model_file.h"
#include "script.h"

model_file build_model(const test_script & script, const decoder_plan & plan);
