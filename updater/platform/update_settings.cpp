#include "update_settings.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <functional>
#include <memory>

namespace lv::updates {
namespace {

struct KeyFileDeleter {
    void operator()(GKeyFile *file) const { g_key_file_unref(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

KeyFile load(const std::string &path) {
    KeyFile file(g_key_file_new());
    g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
    return file;
}

void save(const std::string &path, GKeyFile *file) {
    std::unique_ptr<char, decltype(&g_free)> folder(g_path_get_dirname(path.c_str()), g_free);
    g_mkdir_with_parents(folder.get(), 0700);
    g_key_file_save_to_file(file, path.c_str(), nullptr);  // atomic replace
}

}  // namespace

UpdateSettings::UpdateSettings(std::string bundle_identifier)
    : group_(bundle_identifier.empty() ? "unidentified" : std::move(bundle_identifier)) {
    std::unique_ptr<char, decltype(&g_free)> path(
        g_build_filename(g_get_user_config_dir(), "lumivane", "updates.ini", nullptr), g_free);
    file_path_ = path.get();
}

std::optional<bool> UpdateSettings::automatic_checks() const {
    std::lock_guard lock(mutex_);
    KeyFile file = load(file_path_);
    GError *error = nullptr;
    bool on = g_key_file_get_boolean(file.get(), group_.c_str(), "AutomaticChecks", &error);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    return on;
}

void UpdateSettings::set_automatic_checks(bool on) {
    std::lock_guard lock(mutex_);
    KeyFile file = load(file_path_);
    g_key_file_set_boolean(file.get(), group_.c_str(), "AutomaticChecks", on);
    save(file_path_, file.get());
}

std::optional<int64_t> UpdateSettings::last_check_time() const {
    std::lock_guard lock(mutex_);
    KeyFile file = load(file_path_);
    GError *error = nullptr;
    gint64 seconds = g_key_file_get_int64(file.get(), group_.c_str(), "LastCheckTime", &error);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    return seconds;
}

void UpdateSettings::set_last_check_time(int64_t seconds) {
    std::lock_guard lock(mutex_);
    KeyFile file = load(file_path_);
    g_key_file_set_int64(file.get(), group_.c_str(), "LastCheckTime", seconds);
    save(file_path_, file.get());
}

std::string UpdateSettings::skipped_version() const {
    std::lock_guard lock(mutex_);
    KeyFile file = load(file_path_);
    char *value = g_key_file_get_string(file.get(), group_.c_str(), "SkippedVersion", nullptr);
    std::string text = value ? value : "";
    g_free(value);
    return text;
}

void UpdateSettings::set_skipped_version(const std::string &version) {
    std::lock_guard lock(mutex_);
    KeyFile file = load(file_path_);
    g_key_file_set_string(file.get(), group_.c_str(), "SkippedVersion", version.c_str());
    save(file_path_, file.get());
}

}  // namespace lv::updates
