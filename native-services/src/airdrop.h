// Internal to the library and its tests: the sharing services started and not yet finished.
#pragma once

#include <cstddef>

namespace lv {

std::size_t shares_in_flight();

}  // namespace lv
