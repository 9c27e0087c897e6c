// Starting the updated executable once this process has exited.
#pragma once

#include <string>

namespace lv::updates {

// Leaves behind a waiting child that runs `executable` (no arguments) as soon as this process
// has ended. False when the child could not be made.
bool relaunch_after_exit(const std::string &executable);

}  // namespace lv::updates
