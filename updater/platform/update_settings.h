// The user's update settings, kept per bundle identifier in a GLib key file under
// $XDG_CONFIG_HOME: automatic checking, the last check time and a skipped version.
// Safe to use from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace lv::updates {

class UpdateSettings {
public:
    explicit UpdateSettings(std::string bundle_identifier);

    std::optional<bool> automatic_checks() const;
    void set_automatic_checks(bool on);
    std::optional<int64_t> last_check_time() const;  // seconds since the epoch
    void set_last_check_time(int64_t seconds);
    std::string skipped_version() const;
    void set_skipped_version(const std::string &version);

private:
    std::string file_path_;
    std::string group_;
    mutable std::mutex mutex_;
};

}  // namespace lv::updates
