// The file service: an application action, "receberArquivos", that a file manager's "send to"
// entry or a script reaches over D-Bus with a list of file URIs (or paths). The host gets the
// paths as a JSON array.
#include "lumivane_image.h"

#include "json_text.h"
#include "application.h"
#include "main_thread.h"

#include <gio/gio.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char *service_action = "receberArquivos";
constexpr const char *nothing_selected = "Selecione arquivos ou pastas no Finder.";

// Touched on the main thread only: registration enforces it and actions are activated there.
lv_file_service_callback lv_file_callback = nullptr;
GSimpleAction *lv_file_provider = nullptr;  // kept alive while installed

struct GFree {
    void operator()(void *p) const { g_free(p); }
};

// The selection's paths in order: file URIs first; only when there is none, absolute paths
// (the older file-name list convention).
std::vector<std::string> selected_paths(GVariant *selection) {
    std::vector<std::string> paths;
    gsize count = 0;
    std::unique_ptr<const gchar *, GFree> entries(g_variant_get_strv(selection, &count));
    for (gsize i = 0; i < count; ++i) {
        std::unique_ptr<char, GFree> path(g_filename_from_uri(entries.get()[i], nullptr, nullptr));
        if (path) paths.emplace_back(path.get());
    }
    if (!paths.empty()) return paths;
    for (gsize i = 0; i < count; ++i)
        if (g_path_is_absolute(entries.get()[i])) paths.emplace_back(entries.get()[i]);
    return paths;
}

// A failed request, shown as the desktop shows one: a notification from the application.
void report_failed_request() {
    GApplication *application = lv::desktop::application();
    if (!application) return;
    GNotification *notification = g_notification_new(nothing_selected);
    g_notification_set_priority(notification, G_NOTIFICATION_PRIORITY_NORMAL);
    g_application_send_notification(application, service_action, notification);
    g_object_unref(notification);
}

void receive_files(GSimpleAction *, GVariant *selection, gpointer) {
    const std::vector<std::string> paths = selection ? selected_paths(selection) : std::vector<std::string>();
    if (lv_file_callback && !paths.empty()) {
        std::unique_ptr<char, decltype(&free)> text(lv::json_result_text(nlohmann::json(paths)), &free);
        if (text) {
            lv_file_callback(text.get());
            return;
        }
    }
    report_failed_request();
}

}  // namespace

extern "C" LV_EXPORT int32_t lv_register_file_service(lv_file_service_callback callback) {
    GApplication *application = lv::desktop::application();
    if (!lv::desktop::is_main_thread() || !application) return 0;
    lv_file_callback = callback;
    GSimpleAction *provider = g_simple_action_new(service_action, G_VARIANT_TYPE_STRING_ARRAY);
    g_signal_connect(provider, "activate", G_CALLBACK(receive_files), nullptr);
    // Adding an action of the same name replaces the earlier one in the map.
    g_action_map_add_action(G_ACTION_MAP(application), G_ACTION(provider));
    if (lv_file_provider) g_object_unref(lv_file_provider);
    lv_file_provider = provider;
    return 1;
}
