// Copying and removing whole file-system items (a file, a symbolic link or a folder with all it
// holds), for moves between volumes. Failures are reported as errno values.
#pragma once

#include <string>

namespace lv {

// Copies `source` to `destination`, which must not exist: folders with their contents, symbolic
// links as links, regular files with their data; modes and access and modification times are
// kept. Nothing that exists is ever overwritten. Returns 0, or the errno of the first failure,
// in which case everything the copy wrote has been removed again.
int copy_item(const std::string &source, const std::string &destination);

// Removes `path` and, for a folder, everything in it. Returns 0 or the first errno met.
int remove_item(const std::string &path);

}  // namespace lv
