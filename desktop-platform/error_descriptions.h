// Descriptions of file-system errors as the desktop tells them to the user, in Portuguese:
// what could not be done to which item, and why, for the errno values file operations meet.
#pragma once

#include <string>

namespace lv::desktop {

// The operation that failed, which gives the sentence its verb.
enum class FileOperation { move, copy, save, remove };

// The description of `error` (an errno value) for `operation` on the item named `item` (a
// display name, usually the last path component) in or into the folder named `folder`.
// For ENOENT an empty `folder` says the item itself is missing, a non-empty one that the folder
// is. Empty when the error is one this layer has no description for.
std::string file_error_description(FileOperation operation, int error, const std::string &item,
                                   const std::string &folder);

// The name a path shows to the user: its last component ("/" for the root).
std::string display_name(const std::string &path);

// The name of the folder that holds `path` (the current folder for a bare name).
std::string parent_display_name(const std::string &path);

}  // namespace lv::desktop
