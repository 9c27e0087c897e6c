#include "whisper-params.h"

#include <cstdlib>

void whisper_params_exit(int status) {
    exit(status);
}
