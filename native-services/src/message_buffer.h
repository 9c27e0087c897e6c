// The caller-owned message buffer: written only on failure, with strlcpy rules.
#pragma once

#include "../platform/platform_error.h"

#include <cstdint>

// Copies `text` into `buffer` when the buffer may be written (not null, capacity above zero):
// at most capacity - 1 bytes, always NUL-terminated, cut byte-wise when longer.
void lv_copy_message(const char *text, char *buffer, std::int32_t capacity);

// Writes the error's localized description, or the generic failure text when there is no error
// or it has no description.
void lv_action_error(const lv::PlatformError *error, char *buffer, std::int32_t capacity);
