// Escaping UTF-8 text for XML and HTML: markup characters become entities, and characters XML
// cannot carry (C0 controls other than tab, LF and CR; U+FFFE, U+FFFF) are dropped.
#pragma once

#include <string>

namespace lv {

void append_xml_escaped(std::string &out, const std::string &utf8);

}  // namespace lv
