// Why the updater refused to start. The values are stable: the host logs them.
#pragma once

namespace lv::updates {

enum StartError : long {
    start_error_none = 0,
    start_error_feed_url_missing = 1,     // no "SUFeedURL" in the Info.plist
    start_error_feed_url_invalid = 2,     // the feed URL does not parse, or has no host
    start_error_feed_url_insecure = 3,    // not HTTPS (plain HTTP only for loopback hosts)
    start_error_public_key_invalid = 4,   // "SUPublicEDKey" is not Base64 of 32 bytes
    start_error_not_a_bundle = 5,         // the executable is not inside X.app/Contents/MacOS
    start_error_bundle_not_writable = 6,  // the bundle's parent folder cannot take the new copy
};

}  // namespace lv::updates
