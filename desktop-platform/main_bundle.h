// The main bundle: the application bundle holding the running executable. When the executable
// is B/Contents/MacOS/NAME, the bundle is B and its information dictionary is
// B/Contents/Info.plist (XML or binary). Otherwise the bundle is the executable's folder, with
// no dictionary and an empty identifier.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace lv::desktop {

struct MainBundle {
    std::string path;              // the bundle folder, or the executable's folder
    std::string executable;        // the running executable, links resolved
    bool app_layout = false;       // the executable lies in path/Contents/MacOS
    std::shared_ptr<void> info;    // the Info.plist dictionary (a plist_t), or null
};

// The bundle of the running process, read once and kept for the process's lifetime.
const MainBundle &main_bundle();

// The bundle that holds `executable` (an absolute path), read now.
MainBundle bundle_of_executable(const std::string &executable);

// Values of the information dictionary; nullopt when the key is missing or of another type.
// Numbers accept integer and real entries; booleans accept boolean entries and the strings
// "YES"/"NO"/"true"/"false" that hand-written dictionaries use.
std::optional<std::string> info_string(const MainBundle &bundle, const char *key);
std::optional<double> info_number(const MainBundle &bundle, const char *key);
std::optional<bool> info_bool(const MainBundle &bundle, const char *key);

// CFBundleIdentifier, or "" when there is none.
std::string bundle_identifier(const MainBundle &bundle);

}  // namespace lv::desktop
