// The five entry points of the Neural Engine dispatch library, as the encoder add-on
// calls them. The library is loaded at run time (CORVANE_DYLIB); these types describe
// the calls, and our stand-in library implements them with exactly these signatures.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Compiles the program at mil_path for the compute units in `units` (4: Neural Engine),
// keeping compiled artefacts in cache_path. Sizes are in bytes. Null: the program cannot run.
typedef void * (*ane_e5rt_program_compile_fn)(
    const char * mil_path, const char * cache_path, int units,
    const char * const * input_names, const size_t * input_sizes, int n_inputs,
    const char * const * output_names, const size_t * output_sizes, int n_outputs);

// Copies n half-precision elements into the named input; the value stays until set again.
typedef int (*ane_e5rt_program_set_input_fp16_fn)(void * program, const char * name, const uint16_t * data, size_t n);

// Runs the program to completion.
typedef int (*ane_e5rt_program_execute_fn)(void * program);

// Fills exactly n half-precision elements of the named output from the last run.
typedef int (*ane_e5rt_program_get_output_fp16_fn)(void * program, const char * name, uint16_t * data, size_t n);

// Frees everything that belongs to the program.
typedef void (*ane_e5rt_program_release_fn)(void * program);

#ifdef __cplusplus
}
#endif
