// Prints what the desktop layer sees from inside a process, as one JSON object:
// the main bundle, the main-thread test on both kinds of thread, and the order in which
// posted work runs on the main context.
#include "main_bundle.h"
#include "main_queue.h"
#include "main_thread.h"

#include <glib.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// Enough JSON for paths and identifiers: quotes and backslashes escaped, UTF-8 as it is.
std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string optional_text(const std::optional<std::string> &value) {
    return value ? quoted(*value) : "null";
}

}  // namespace

int main() {
    using namespace lv::desktop;
    const MainBundle &bundle = main_bundle();

    std::atomic<bool> worker_main{true};
    std::thread([&] { worker_main = is_main_thread(); }).join();

    // Posted work never runs inline: "posted" is recorded before any of it.
    std::vector<std::string> order;
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    post_to_main([&] { order.push_back("first"); });
    unsigned cancelled = schedule_on_main(1, [&] { order.push_back("cancelled"); });
    cancel_on_main(cancelled);
    std::thread worker([&] { post_to_main([&] { order.push_back("from-worker"); }); });
    worker.join();
    schedule_on_main(20, [&] {
        order.push_back("timer");
        g_main_loop_quit(loop);
    });
    order.push_back("posted");
    g_main_loop_run(loop);
    g_main_loop_unref(loop);

    std::string order_json;
    for (const auto &step : order) {
        if (!order_json.empty()) order_json += ',';
        order_json += quoted(step);
    }
    auto number = info_number(bundle, "SUScheduledCheckInterval");
    auto flag = info_bool(bundle, "SUEnableAutomaticChecks");
    std::printf("{\"path\":%s,\"executable\":%s,\"app_layout\":%s,\"identifier\":%s,"
                "\"feed\":%s,\"interval\":%s,\"automatic\":%s,\"has_info\":%s,"
                "\"main\":%s,\"worker_main\":%s,\"order\":[%s]}\n",
                quoted(bundle.path).c_str(), quoted(bundle.executable).c_str(),
                bundle.app_layout ? "true" : "false", quoted(bundle_identifier(bundle)).c_str(),
                optional_text(info_string(bundle, "SUFeedURL")).c_str(),
                number ? std::to_string(*number).c_str() : "null",
                flag ? (*flag ? "true" : "false") : "null", bundle.info ? "true" : "false",
                is_main_thread() ? "true" : "false", worker_main ? "true" : "false",
                order_json.c_str());
    return 0;
}
