// The error a platform request reports: what went wrong, told to the user in Portuguese when
// the platform has a description for it.
#pragma once

#include <string>

namespace lv {

struct PlatformError {
    std::string localized_description;  // may be empty: the caller then uses its own fixed text
};

}  // namespace lv
