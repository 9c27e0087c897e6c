// The session's autostart entry for an application: a desktop entry file in
// $XDG_CONFIG_HOME/autostart (default ~/.config/autostart) that the session starts at login.
#pragma once

#include <string>

namespace lv {

enum class AutostartState {
    absent = 0,           // no entry
    enabled = 1,          // present and on
    switched_off = 2,     // present, turned off by the user in the session's settings
    program_missing = 3,  // present, but the program it runs does not exist
};

// The autostart folder, read from the environment on every call.
std::string autostart_folder();

// The entry file of the application whose identifier is `identifier`.
std::string autostart_entry_path(const std::string &identifier);

AutostartState autostart_state(const std::string &entry_path);

// The Exec value that runs `program` with no arguments, quoted by the desktop entry rules.
std::string desktop_exec_value(const std::string &program);

// Writes the entry atomically (a complete new file or the old one). Returns 0 or an errno.
int write_autostart_entry(const std::string &entry_path, const std::string &name, const std::string &program);

}  // namespace lv
