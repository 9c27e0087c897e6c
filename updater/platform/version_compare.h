// Version texts compared segment by segment: runs of digits compare as numbers ("1.10" after
// "1.9"), runs of letters compare as text and sort after the number they follow ("1.0" before
// "1.0a" before "1.1"); separators only split. Missing numeric segments count as 0.
#pragma once

#include <string_view>

namespace lv::updates {

// Negative, zero or positive as `a` is older than, equal to or newer than `b`.
int compare_versions(std::string_view a, std::string_view b);

}  // namespace lv::updates
