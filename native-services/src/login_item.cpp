// The login item: the host application started by the session at login, through its
// autostart entry.
#include "lumivane_image.h"
#include "message_buffer.h"

#include "../platform/autostart_entry.h"
#include "error_descriptions.h"
#include "main_bundle.h"

#include <gio/gio.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr const char *bundle_message = "Use o Lumivane instalado em Aplicativos para configurar o início automático.";

// The host runs from an application bundle: one with an identifier whose folder ends in ".app"
// (any case). Where the bundle lies is not looked at.
bool runs_from_app_bundle(const lv::desktop::MainBundle &bundle) {
    const std::string identifier = lv::desktop::bundle_identifier(bundle);
    // The identifier names the entry file, so it must be a plain file name.
    if (identifier.empty() || identifier.find('/') != std::string::npos || identifier[0] == '.') return false;
    const std::string name = lv::desktop::display_name(bundle.path);
    if (name.size() < 4) return false;
    return g_ascii_strcasecmp(name.c_str() + name.size() - 4, ".app") == 0;
}

std::string application_name(const lv::desktop::MainBundle &bundle) {
    if (auto name = lv::desktop::info_string(bundle, "CFBundleDisplayName"); name && !name->empty()) return *name;
    if (auto name = lv::desktop::info_string(bundle, "CFBundleName"); name && !name->empty()) return *name;
    return lv::desktop::display_name(bundle.executable);
}

std::string entry_path(const lv::desktop::MainBundle &bundle) {
    return lv::autostart_entry_path(lv::desktop::bundle_identifier(bundle));
}

lv::PlatformError file_error(lv::desktop::FileOperation operation, int error, const std::string &path) {
    return {lv::desktop::file_error_description(operation, error, lv::desktop::display_name(path),
                                                lv::desktop::parent_display_name(path))};
}

// Returns the refusal, or nothing when the change was made.
std::unique_ptr<lv::PlatformError> change(const lv::desktop::MainBundle &bundle, bool enable) {
    const std::string path = entry_path(bundle);
    const std::string name = application_name(bundle);
    const lv::AutostartState state = lv::autostart_state(path);
    if (enable) {
        // Only the user turns it back on, where they turned it off.
        if (state == lv::AutostartState::switched_off)
            return std::make_unique<lv::PlatformError>(lv::PlatformError{
                "O início automático de “" + name +
                "” foi desativado nas configurações da sessão. Ative-o novamente nos aplicativos de inicialização."});
        if (int error = lv::write_autostart_entry(path, name, bundle.executable))
            return std::make_unique<lv::PlatformError>(file_error(lv::desktop::FileOperation::save, error, path));
        return nullptr;
    }
    if (state == lv::AutostartState::absent)
        return std::make_unique<lv::PlatformError>(
            lv::PlatformError{"O início automático de “" + name + "” não está ativado."});
    if (std::remove(path.c_str()) != 0 && errno != ENOENT)
        return std::make_unique<lv::PlatformError>(file_error(lv::desktop::FileOperation::remove, errno, path));
    return nullptr;
}

}  // namespace

extern "C" LV_EXPORT int32_t lv_login_status(void) {
    const lv::desktop::MainBundle &bundle = lv::desktop::main_bundle();
    if (!runs_from_app_bundle(bundle)) return -1;
    return static_cast<int32_t>(lv::autostart_state(entry_path(bundle)));
}

extern "C" LV_EXPORT int32_t lv_login_set(int32_t enable, char *message, int32_t capacity) {
    const lv::desktop::MainBundle &bundle = lv::desktop::main_bundle();
    if (!runs_from_app_bundle(bundle)) {
        lv_copy_message(bundle_message, message, capacity);
        return 0;
    }
    if (std::unique_ptr<lv::PlatformError> refusal = change(bundle, enable != 0)) {
        lv_action_error(refusal.get(), message, capacity);
        return 0;
    }
    return 1;
}

extern "C" LV_EXPORT void lv_login_settings(void) {
    // The session's own startup-applications editor when there is one, else the autostart
    // folder in the user's file manager. Neither waits for the program it starts.
    if (std::unique_ptr<char, decltype(&g_free)> editor(g_find_program_in_path("gnome-session-properties"), &g_free);
        editor) {
        char *argv[] = {editor.get(), nullptr};
        g_spawn_async(nullptr, argv, nullptr, G_SPAWN_STDIN_FROM_DEV_NULL, nullptr, nullptr, nullptr, nullptr);
        return;
    }
    const std::string folder = lv::autostart_folder();
    g_mkdir_with_parents(folder.c_str(), 0755);
    std::unique_ptr<char, decltype(&g_free)> uri(g_filename_to_uri(folder.c_str(), nullptr, nullptr), &g_free);
    if (uri) g_app_info_launch_default_for_uri(uri.get(), nullptr, nullptr);
}
