// Sending files to a nearby device: the desktop's Bluetooth send-to program shows its own
// chooser of devices and performs the transfer. Each started service is kept until it reports.
#include "airdrop.h"

#include "lumivane_image.h"

#include "main_thread.h"

#include <gio/gio.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr const char *sharing_program = "bluetooth-sendto";

struct GFree {
    void operator()(void *p) const { g_free(p); }
};

// One run of the sharing program with its items.
struct SharingService {
    std::string program;
    GPid pid = 0;
};

struct LVAirDropDelegate {
    void did_share_items(SharingService *service);
    void did_fail_to_share_items(SharingService *service);
};

// Touched on the main thread only: lv_airdrop enforces it and child watches run there.
std::set<std::unique_ptr<SharingService>> *lv_shares = nullptr;
LVAirDropDelegate *lv_share_delegate = nullptr;

void finish(SharingService *service) {
    for (auto it = lv_shares->begin(); it != lv_shares->end(); ++it)
        if (it->get() == service) {
            lv_shares->erase(it);
            return;
        }
}

void LVAirDropDelegate::did_share_items(SharingService *service) { finish(service); }
void LVAirDropDelegate::did_fail_to_share_items(SharingService *service) { finish(service); }

std::unique_ptr<SharingService> sharing_service() {
    std::unique_ptr<char, GFree> found(g_find_program_in_path(sharing_program));
    if (!found) return nullptr;
    auto service = std::make_unique<SharingService>();
    service->program = found.get();
    return service;
}

// The items as absolute paths (relative ones against the current folder), in order. Text that
// is not a JSON array of strings gives no items.
std::vector<std::string> items_of(const char *json_text) {
    std::vector<std::string> items;
    if (!json_text) return items;
    nlohmann::json parsed = nlohmann::json::parse(json_text, nullptr, false);
    if (!parsed.is_array()) return items;
    for (const auto &element : parsed) {
        if (!element.is_string()) return {};
        std::unique_ptr<char, GFree> absolute(g_canonicalize_filename(element.get<std::string>().c_str(), nullptr));
        items.emplace_back(absolute.get());
    }
    return items;
}

bool can_perform(const std::vector<std::string> &items) {
    if (items.empty()) return false;
    for (const std::string &item : items) {
        struct stat st;
        if (stat(item.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    }
    return true;
}

void service_finished(GPid pid, gint status, gpointer data) {
    auto *service = static_cast<SharingService *>(data);
    g_spawn_close_pid(pid);
    if (g_spawn_check_wait_status(status, nullptr)) lv_share_delegate->did_share_items(service);
    else lv_share_delegate->did_fail_to_share_items(service);
}

bool perform(SharingService &service, const std::vector<std::string> &items) {
    std::vector<char *> argv;
    argv.push_back(service.program.data());
    for (const std::string &item : items) argv.push_back(const_cast<char *>(item.c_str()));
    argv.push_back(nullptr);
    GError *error = nullptr;
    if (!g_spawn_async(nullptr, argv.data(), nullptr,
                       static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDIN_FROM_DEV_NULL), nullptr,
                       nullptr, &service.pid, &error)) {
        g_error_free(error);
        return false;
    }
    GSource *watch = g_child_watch_source_new(service.pid);
    g_source_set_callback(watch, G_SOURCE_FUNC(service_finished), &service, nullptr);
    g_source_attach(watch, g_main_context_default());
    g_source_unref(watch);
    return true;
}

}  // namespace

std::size_t lv::shares_in_flight() { return lv_shares ? lv_shares->size() : 0; }

extern "C" LV_EXPORT int32_t lv_airdrop(const char *paths_json, char *, int32_t) {
    if (!lv::desktop::is_main_thread()) return -1;
    const std::vector<std::string> items = items_of(paths_json);
    std::unique_ptr<SharingService> service = sharing_service();
    if (!service || !can_perform(items)) return 0;
    // The child's report comes on a later iteration of the main context, never before this returns.
    if (!perform(*service, items)) return 0;
    if (!lv_shares) lv_shares = new std::set<std::unique_ptr<SharingService>>();
    if (!lv_share_delegate) lv_share_delegate = new LVAirDropDelegate();
    lv_shares->insert(std::move(service));
    return 1;
}
