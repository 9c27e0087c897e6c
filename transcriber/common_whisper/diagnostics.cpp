#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>

static bool g_quiet = false;

void diagnostics_set_quiet(bool quiet) {
    g_quiet = quiet;
}

bool diagnostics_quiet() {
    return g_quiet;
}

void diag_info(const char * fmt, ...) {
    if (g_quiet) {
        return;
    }
    va_list args;
    va_start(args, fmt);
    vfprintf(stderr, fmt, args);
    va_end(args);
}
