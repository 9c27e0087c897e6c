#include "version_compare.h"

#include <cctype>
#include <string>
#include <vector>

namespace lv::updates {
namespace {

struct Segment {
    bool numeric;
    std::string text;  // digits without leading zeros, or letters
};

std::vector<Segment> segments_of(std::string_view version) {
    std::vector<Segment> out;
    size_t i = 0;
    while (i < version.size()) {
        unsigned char c = static_cast<unsigned char>(version[i]);
        size_t start = i;
        if (std::isdigit(c)) {
            while (i < version.size() && std::isdigit(static_cast<unsigned char>(version[i]))) ++i;
            std::string digits(version.substr(start, i - start));
            digits.erase(0, digits.find_first_not_of('0'));
            out.push_back({true, digits});
        } else if (std::isalpha(c)) {
            while (i < version.size() && std::isalpha(static_cast<unsigned char>(version[i]))) ++i;
            out.push_back({false, std::string(version.substr(start, i - start))});
        } else {
            ++i;  // a separator
        }
    }
    return out;
}

int compare_numbers(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace

int compare_versions(std::string_view a, std::string_view b) {
    std::vector<Segment> left = segments_of(a), right = segments_of(b);
    size_t count = std::max(left.size(), right.size());
    const Segment zero{true, ""};
    for (size_t i = 0; i < count; ++i) {
        bool has_left = i < left.size(), has_right = i < right.size();
        // A missing segment is a zero against a number, and older than letters.
        if (!has_left && !right[i].numeric) return -1;
        if (!has_right && !left[i].numeric) return 1;
        const Segment &l = has_left ? left[i] : zero;
        const Segment &r = has_right ? right[i] : zero;
        if (l.numeric && r.numeric) {
            if (int c = compare_numbers(l.text, r.text)) return c;
        } else if (!l.numeric && !r.numeric) {
            if (int c = l.text.compare(r.text)) return c < 0 ? -1 : 1;
        } else {
            return l.numeric ? 1 : -1;  // "1.0.1" is newer than "1.0a"
        }
    }
    return 0;
}

}  // namespace lv::updates
