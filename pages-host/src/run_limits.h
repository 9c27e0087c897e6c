// Bounds on one run that hold without a watchdog thread: the kernel enforces each of them.
#pragma once

namespace pages {

// Limits the process to 120 s of CPU time (soft and hard; never above an inherited hard
// limit) and arms two timers that end it with SIGXCPU: one on process CPU time just before
// that limit (the kernel's own signal at a hard limit is SIGKILL), and one on wall-clock
// time at five times it, for scripts that sleep instead of computing.
void limit_run_time();

// Brings the script engine up without its caged heaps, whose reservations are counted as
// data but never grow with use, so that what the script allocates shows in the process's
// data size. Call before any other use of the engine.
void start_engine();

// Limits the data size to what the process holds now plus 4 GiB (never above an inherited
// hard limit). Allocations beyond it fail: the engine throws its out-of-memory error
// where it can, and where it aborts instead the run ends with SIGXCPU like a time limit.
void limit_script_memory();

}  // namespace pages
