// The updater: reads the bundle's update configuration, checks the appcast on demand and on a
// schedule, and downloads, verifies and installs a newer version, then relaunches.
// Main-thread calls are marked; the rest may come from any thread.
#pragma once

#include "appcast.h"
#include "signature.h"
#include "update_settings.h"
#include "user_driver.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace lv::updates {

class UpdaterDelegate {
public:
    virtual ~UpdaterDelegate() = default;
    // Asked on the main thread before relaunching into an installed update. Answering true
    // postpones the relaunch until `resume` is invoked; it acts once, later calls do nothing.
    virtual bool should_postpone_relaunch(std::function<void()> resume) {
        (void)resume;
        return false;
    }
};

struct UpdaterConfiguration {
    std::string feed_url;
    PublicKey public_key{};
    bool automatic_default = false;     // "SUEnableAutomaticChecks"
    unsigned check_interval = 86400;    // seconds, "SUScheduledCheckInterval", at least 3600
    std::string version;                // "CFBundleVersion"
    std::string short_version;          // "CFBundleShortVersionString"
    std::string bundle_path;
    std::string executable_name;
    std::string bundle_identifier;
    std::string application_name;
};

class Updater {
public:
    Updater(UpdaterDelegate *delegate, UserDriver *driver);
    ~Updater();
    Updater(const Updater &) = delete;
    Updater &operator=(const Updater &) = delete;

    // Main thread. False with a StartError code when the configuration cannot work.
    bool start_updater(long *error_code);
    bool can_check_for_updates() const;
    bool automatically_checks_for_updates() const;
    void set_automatically_checks_for_updates(bool on);
    // Main thread: a user-initiated check, which reports every outcome to the user.
    void check_for_updates();

private:
    struct InstallResult;

    void schedule_next_check();
    void begin_check(bool user_initiated);
    void appcast_arrived(bool user_initiated, std::optional<std::string> text);
    void offer(const AppcastItem &item);
    void begin_install(const AppcastItem &item);
    InstallResult download_and_install(const AppcastItem &item);
    void install_finished(const InstallResult &result);
    void request_relaunch(const std::string &executable);
    void relaunch(const std::string &executable);
    void end_session();
    void run_worker(std::function<void()> work);

    UpdaterDelegate *delegate_;
    UserDriver *driver_;
    UpdaterConfiguration config_;
    std::unique_ptr<UpdateSettings> settings_;
    std::atomic<bool> started_{false};
    std::atomic<bool> session_active_{false};
    std::atomic<bool> automatic_{false};
    unsigned check_timer_ = 0;
    std::thread worker_;
};

// The updater with the standard user interface, created without starting it.
class StandardUpdaterController {
public:
    StandardUpdaterController(bool start_updater, UpdaterDelegate *updater_delegate,
                              void *user_driver_delegate);
    Updater &updater() { return updater_; }
    // Main thread: a user-initiated check.
    void check_for_updates() { updater_.check_for_updates(); }

private:
    std::unique_ptr<UserDriver> driver_;
    Updater updater_;
};

// Brings the application's windows to the front (main thread).
void activate_application();

}  // namespace lv::updates
