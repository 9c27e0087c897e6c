#include "rich_text.h"

namespace lv::rich {

Document plain_document(const std::string &utf8) {
    Document document;
    std::string text;
    auto end_paragraph = [&] {
        Paragraph paragraph;
        if (!text.empty()) paragraph.runs.push_back(Run{{}, std::move(text), -1});
        document.paragraphs.push_back(std::move(paragraph));
        text.clear();
    };
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\n') {
            end_paragraph();
        } else if (c == '\r') {
            if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
            end_paragraph();
        } else if (utf8.compare(i, 3, "\xE2\x80\xA9") == 0) {  // paragraph separator
            end_paragraph();
            i += 2;
        } else if (utf8.compare(i, 3, "\xE2\x80\xA8") == 0) {  // line separator
            text += '\n';
            i += 2;
        } else {
            text += c;
        }
    }
    if (!text.empty() || document.paragraphs.empty()) end_paragraph();
    return document;
}

}  // namespace lv::rich
