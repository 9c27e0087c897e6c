// miniaudio's declarations as the transcriber configures it.
#pragma once

#include "miniaudio-options.h"

#include "miniaudio.h"
