// A user driver that answers from a script and writes one line per event on standard error,
// "updater-script: EVENT [DETAILS]", for tests and for trying feeds out without a display.
#include "user_driver.h"

#include "main_queue.h"

#include <cstdio>
#include <cstdlib>

namespace lv::updates {
namespace {

class ScriptedUserDriver final : public UserDriver {
public:
    explicit ScriptedUserDriver(std::string script) : script_(std::move(script)) {}

    void show_checking() override { say("checking", ""); }
    void show_update_found(const UpdateOffer &offer, std::function<void(UpdateChoice)> reply) override {
        say("found", offer.new_version + " notes=" + offer.notes);
        UpdateChoice choice = script_.rfind("later", 0) == 0  ? UpdateChoice::later
                              : script_.rfind("skip", 0) == 0 ? UpdateChoice::skip
                                                              : UpdateChoice::install;
        lv::desktop::post_to_main([reply = std::move(reply), choice] { reply(choice); });
    }
    void show_up_to_date(const std::string &running_version) override { say("up-to-date", running_version); }
    void show_download_progress(uint64_t received, uint64_t expected) override {
        if (received == expected && expected > 0 && !progress_done_) {
            progress_done_ = true;
            say("downloaded", std::to_string(received));
        }
    }
    void show_installing() override { say("installing", ""); }
    void show_ready_to_restart(std::function<void()> restart) override {
        say("ready-to-restart", "");
        lv::desktop::post_to_main(std::move(restart));
    }
    void show_restart_postponed() override { say("restart-postponed", ""); }
    void show_error(const std::string &message) override { say("error", message); }
    void dismiss() override {}

private:
    static void say(const char *event, const std::string &details) {
        std::fprintf(stderr, "updater-script: %s%s%s\n", event, details.empty() ? "" : " ", details.c_str());
        std::fflush(stderr);
    }

    std::string script_;
    bool progress_done_ = false;
};

}  // namespace

std::unique_ptr<UserDriver> make_scripted_user_driver(const std::string &script) {
    return std::make_unique<ScriptedUserDriver>(script);
}

std::unique_ptr<UserDriver> make_standard_user_driver() {
    if (const char *script = std::getenv("LUMIVANE_UPDATER_SCRIPT")) return make_scripted_user_driver(script);
    return make_gtk_user_driver();
}

}  // namespace lv::updates
