// Moving items and canonical paths.
#include "lumivane_image.h"
#include "message_buffer.h"

#include "../platform/file_tree.h"
#include "error_descriptions.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using lv::desktop::FileOperation;

// Moves across volumes as the file manager does: a full copy first, then the source goes.
// A copy that fails leaves the source as it was and takes back what it wrote.
int move_between_volumes(const char *source, const char *destination) {
    if (int error = lv::copy_item(source, destination)) return error;
    return lv::remove_item(source);
}

int move_item(const char *source, const char *destination) {
    // RENAME_NOREPLACE: an item that appears at the destination meanwhile is never replaced.
    if (renameat2(AT_FDCWD, source, AT_FDCWD, destination, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EXDEV) return errno;
    return move_between_volumes(source, destination);
}

lv::PlatformError move_error(int error, const char *source, const char *destination) {
    const std::string item = lv::desktop::display_name(source);
    std::string folder = lv::desktop::parent_display_name(destination);
    struct stat st;
    if (error == ENOENT && lstat(source, &st) != 0) folder.clear();  // the item itself is gone
    return {lv::desktop::file_error_description(FileOperation::move, error, item, folder)};
}

}  // namespace

extern "C" LV_EXPORT int32_t lv_move_item(const char *source, const char *destination, char *message,
                                          int32_t capacity) {
    if (!source || !destination) {
        lv_action_error(nullptr, message, capacity);
        return 0;
    }
    const int error = move_item(source, destination);
    if (error == 0) return 1;
    const lv::PlatformError description = move_error(error, source, destination);
    lv_action_error(&description, message, capacity);
    return 0;
}

extern "C" LV_EXPORT int32_t lv_canonical_path(const char *path, char *output, int32_t capacity) {
    if (!path || !output || capacity <= 0) return 0;
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path, nullptr), &std::free);
    if (!resolved) return 0;
    const size_t length = std::strlen(resolved.get());
    if (length >= static_cast<size_t>(capacity)) return 0;  // all or nothing
    std::memcpy(output, resolved.get(), length + 1);
    return 1;
}
