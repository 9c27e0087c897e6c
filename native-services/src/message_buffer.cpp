#include "message_buffer.h"

#include <cstring>

void lv_copy_message(const char *text, char *buffer, std::int32_t capacity) {
    if (!buffer || capacity <= 0) return;
    if (!text) text = "";
    const std::size_t room = static_cast<std::size_t>(capacity) - 1;
    const std::size_t length = strnlen(text, room);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

void lv_action_error(const lv::PlatformError *error, char *buffer, std::int32_t capacity) {
    const char *text = "Não foi possível concluir a operação.";
    if (error && !error->localized_description.empty()) text = error->localized_description.c_str();
    lv_copy_message(text, buffer, capacity);
}
