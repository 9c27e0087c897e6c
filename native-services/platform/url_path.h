// Percent-encoding with the characters a URL path may hold unescaped: letters, digits and
// -._~!$&'()*+,;=:@/ stay; every other byte of the UTF-8 text becomes %XX.
#pragma once

#include <string>

namespace lv {

std::string percent_encode_url_path(const std::string &utf8);

}  // namespace lv
