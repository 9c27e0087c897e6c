// Informational lines on standard error, which --no-prints silences. Errors and warnings
// are written with plain fprintf(stderr, ...) and are never silenced.
#pragma once

void diagnostics_set_quiet(bool quiet);
bool diagnostics_quiet();

// printf-style informational line ("step: ...").
void diag_info(const char * fmt, ...) __attribute__((format(printf, 1, 2)));
