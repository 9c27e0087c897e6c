// What the updater shows the user and the decisions it asks for. The standard driver shows
// GTK windows; a scripted driver gives the same answers from a script, so one updater serves
// both. Every call comes on the main thread, and replies may come later, also on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace lv::updates {

enum class UpdateChoice { install, later, skip };

struct UpdateOffer {
    std::string application_name;
    std::string new_version;      // as shown to the user
    std::string running_version;  // as shown to the user
    std::string notes;            // release notes text, may be empty
    std::string notes_link;       // where the full notes are, may be empty
};

class UserDriver {
public:
    virtual ~UserDriver() = default;
    virtual void show_checking() = 0;
    virtual void show_update_found(const UpdateOffer &offer, std::function<void(UpdateChoice)> reply) = 0;
    virtual void show_up_to_date(const std::string &running_version) = 0;
    virtual void show_download_progress(uint64_t received, uint64_t expected) = 0;
    virtual void show_installing() = 0;
    // The update is in place; `restart` finishes it by relaunching the application.
    virtual void show_ready_to_restart(std::function<void()> restart) = 0;
    // The restart waits until the application is no longer busy.
    virtual void show_restart_postponed() = 0;
    virtual void show_error(const std::string &message) = 0;
    virtual void dismiss() = 0;
};

// The scripted driver when LUMIVANE_UPDATER_SCRIPT is set in the environment (its first word
// answers the update offer: install, later or skip), otherwise the GTK windows.
std::unique_ptr<UserDriver> make_standard_user_driver();

std::unique_ptr<UserDriver> make_gtk_user_driver();
std::unique_ptr<UserDriver> make_scripted_user_driver(const std::string &script);

}  // namespace lv::updates
