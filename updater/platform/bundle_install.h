// Putting a downloaded bundle in place of the installed one.
#pragma once

#include <optional>
#include <string>

namespace lv::updates {

// Unpacks a .zip, .tar.gz or .tar.xz archive into the empty folder `into` and returns the path
// of the one NAME.app folder it holds. Refuses (nullopt) absolute paths, ".." components,
// links that point outside the archive, device files, and anything but one bundle at the top.
std::optional<std::string> unpack_bundle(const std::string &archive, const std::string &into);

// Exchanges the two folders in one step (both on the same file system), so the installed path
// holds either the old bundle or the new one at every instant. Afterwards `replacement` holds
// the old bundle.
bool exchange_bundles(const std::string &replacement, const std::string &installed);

// Removes a folder tree; errors are ignored.
void remove_tree(const std::string &path);

}  // namespace lv::updates
