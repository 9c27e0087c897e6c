// Appcasts: RSS 2.0 feeds with the sparkle namespace, one item per published version.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv::updates {

struct AppcastItem {
    std::string title;
    std::string version;        // sparkle:version, compared with CFBundleVersion
    std::string short_version;  // sparkle:shortVersionString, shown to the user
    std::string notes;          // the description text
    std::string notes_link;     // sparkle:releaseNotesLink
    std::string url;            // enclosure url
    long long length = -1;      // enclosure length in bytes, -1 when absent
    std::string signature;      // enclosure sparkle:edSignature (Base64)
};

// The items of an appcast, or nullopt when the text is not a well-formed RSS document.
// Items without a version or an enclosure URL are left out.
std::optional<std::vector<AppcastItem>> parse_appcast(std::string_view xml);

// The newest item newer than `running_version`, or null.
const AppcastItem *newest_item_above(const std::vector<AppcastItem> &items,
                                     std::string_view running_version);

}  // namespace lv::updates
