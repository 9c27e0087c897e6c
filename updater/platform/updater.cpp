#include "updater.h"

#include "application.h"
#include "bundle_install.h"
#include "download.h"
#include "feed_url.h"
#include "main_bundle.h"
#include "main_queue.h"
#include "main_thread.h"
#include "start_error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "relaunch.h"

namespace lv::updates {
namespace fs = std::filesystem;
namespace {

constexpr size_t appcast_limit = 8u << 20;
constexpr unsigned minimum_interval = 3600;

int64_t now_seconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

StartError read_configuration(UpdaterConfiguration &config) {
    using namespace lv::desktop;
    const MainBundle &bundle = main_bundle();
    if (!bundle.app_layout) return start_error_not_a_bundle;
    auto feed = info_string(bundle, "SUFeedURL");
    if (!feed) return start_error_feed_url_missing;
    if (StartError error = check_url(*feed)) return error;
    auto key = decode_public_key(info_string(bundle, "SUPublicEDKey").value_or(""));
    if (!key) return start_error_public_key_invalid;
    // The new copy is made beside the bundle and exchanged with it: the parent must take it.
    std::string parent = fs::path(bundle.path).parent_path().string();
    if (access(parent.c_str(), W_OK | X_OK) != 0) return start_error_bundle_not_writable;

    config.feed_url = *feed;
    config.public_key = *key;
    config.automatic_default = info_bool(bundle, "SUEnableAutomaticChecks").value_or(false);
    double interval = info_number(bundle, "SUScheduledCheckInterval").value_or(86400);
    config.check_interval = static_cast<unsigned>(std::clamp(interval, double(minimum_interval), 30.0 * 86400));
    config.short_version = info_string(bundle, "CFBundleShortVersionString").value_or("");
    config.version = info_string(bundle, "CFBundleVersion").value_or(config.short_version);
    if (config.short_version.empty()) config.short_version = config.version;
    config.bundle_path = bundle.path;
    config.executable_name = fs::path(bundle.executable).filename().string();
    config.bundle_identifier = bundle_identifier(bundle);
    config.application_name = info_string(bundle, "CFBundleName").value_or(fs::path(bundle.path).stem().string());
    return start_error_none;
}

// Whether `bundle` is a complete copy of this application, and its executable's name.
std::optional<std::string> new_executable(const std::string &bundle, const UpdaterConfiguration &config) {
    using namespace lv::desktop;
    MainBundle unpacked = bundle_of_executable(bundle + "/Contents/MacOS/" + config.executable_name);
    if (!unpacked.info) return std::nullopt;
    if (bundle_identifier(unpacked) != config.bundle_identifier) return std::nullopt;
    std::string name = info_string(unpacked, "CFBundleExecutable").value_or(config.executable_name);
    if (name.empty() || name.find('/') != std::string::npos || name == "..") return std::nullopt;
    std::string path = bundle + "/Contents/MacOS/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || access(path.c_str(), X_OK) != 0)
        return std::nullopt;
    return name;
}

}  // namespace

struct Updater::InstallResult {
    std::string error;       // for the user; empty on success
    std::string executable;  // the installed bundle's executable
};

Updater::Updater(UpdaterDelegate *delegate, UserDriver *driver) : delegate_(delegate), driver_(driver) {}

Updater::~Updater() {
    lv::desktop::cancel_on_main(check_timer_);
    if (worker_.joinable()) worker_.join();
}

bool Updater::start_updater(long *error_code) {
    if (started_) return true;
    UpdaterConfiguration config;
    if (StartError error = read_configuration(config)) {
        if (error_code) *error_code = error;
        return false;
    }
    config_ = std::move(config);
    settings_ = std::make_unique<UpdateSettings>(config_.bundle_identifier);
    automatic_ = settings_->automatic_checks().value_or(config_.automatic_default);
    started_ = true;
    schedule_next_check();
    return true;
}

bool Updater::can_check_for_updates() const { return started_ && !session_active_; }

bool Updater::automatically_checks_for_updates() const { return started_ && automatic_; }

void Updater::set_automatically_checks_for_updates(bool on) {
    if (!started_) return;
    automatic_ = on;
    settings_->set_automatic_checks(on);
    lv::desktop::post_to_main([this] { schedule_next_check(); });
}

void Updater::check_for_updates() {
    if (!started_ || !lv::desktop::is_main_thread()) return;
    begin_check(true);
}

void Updater::schedule_next_check() {
    lv::desktop::cancel_on_main(check_timer_);
    check_timer_ = 0;
    if (!automatic_) return;
    int64_t now = now_seconds();
    std::optional<int64_t> last = settings_->last_check_time();
    if (!last || *last > now) {
        // The clock starts now: the first automatic check comes one interval later.
        settings_->set_last_check_time(now);
        last = now;
    }
    int64_t wait = std::clamp<int64_t>(*last + config_.check_interval - now, 0, config_.check_interval);
    check_timer_ = lv::desktop::schedule_on_main(static_cast<unsigned>(wait * 1000), [this] {
        check_timer_ = 0;
        if (session_active_) {
            settings_->set_last_check_time(now_seconds());
            schedule_next_check();
        } else {
            begin_check(false);
        }
    });
}

void Updater::run_worker(std::function<void()> work) {
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread(std::move(work));
}

void Updater::begin_check(bool user_initiated) {
    if (session_active_) return;
    session_active_ = true;
    if (user_initiated) driver_->show_checking();
    run_worker([this, user_initiated] {
        std::optional<std::string> text = fetch_text(config_.feed_url, appcast_limit);
        lv::desktop::post_to_main([this, user_initiated, text = std::move(text)]() mutable {
            appcast_arrived(user_initiated, std::move(text));
        });
    });
}

void Updater::appcast_arrived(bool user_initiated, std::optional<std::string> text) {
    settings_->set_last_check_time(now_seconds());
    schedule_next_check();
    auto fail = [&](const char *message) {
        if (user_initiated) driver_->show_error(message);
        else std::fprintf(stderr, "Lumivane: %s\n", message);
        end_session();
    };
    if (!text) return fail("Não foi possível obter as informações de atualização.");
    std::optional<std::vector<AppcastItem>> items = parse_appcast(*text);
    if (!items) return fail("As informações de atualização estão danificadas.");
    const AppcastItem *newest = newest_item_above(*items, config_.version);
    // A version the user chose to skip comes back only when the user asks.
    if (newest && !user_initiated && newest->version == settings_->skipped_version()) newest = nullptr;
    if (!newest) {
        if (user_initiated) driver_->show_up_to_date(config_.short_version);
        end_session();
        return;
    }
    offer(*newest);
}

void Updater::offer(const AppcastItem &item) {
    UpdateOffer offer{config_.application_name,
                      item.short_version.empty() ? item.version : item.short_version,
                      config_.short_version, item.notes, item.notes_link};
    driver_->show_update_found(offer, [this, item](UpdateChoice choice) {
        if (choice == UpdateChoice::install) return begin_install(item);
        if (choice == UpdateChoice::skip) settings_->set_skipped_version(item.version);
        end_session();
    });
}

void Updater::begin_install(const AppcastItem &item) {
    driver_->show_download_progress(0, item.length > 0 ? static_cast<uint64_t>(item.length) : 0);
    run_worker([this, item] {
        InstallResult result = download_and_install(item);
        lv::desktop::post_to_main([this, result] { install_finished(result); });
    });
}

Updater::InstallResult Updater::download_and_install(const AppcastItem &item) {
    // Everything happens in a private folder beside the bundle, on the bundle's file system,
    // which goes away on every path; only the final exchange touches the installed bundle.
    fs::path bundle(config_.bundle_path);
    std::string pattern = (bundle.parent_path() / ("." + bundle.filename().string() + ".update-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) return {"A atualização não pôde ser instalada.", ""};
    const std::string work = pattern;
    struct Cleanup {
        std::string path;
        ~Cleanup() { remove_tree(path); }
    } cleanup{work};

    std::string archive = work + "/archive";
    uint64_t last_reported = 0;
    DownloadProgress progress = [this, &last_reported](uint64_t received, uint64_t expected) {
        // About a hundred updates per download are enough for a progress bar.
        uint64_t step = std::max<uint64_t>(expected / 100, 256 * 1024);
        if (received != expected && received - last_reported < step) return;
        if (received == last_reported && received != 0) return;
        last_reported = received;
        lv::desktop::post_to_main([this, received, expected] { driver_->show_download_progress(received, expected); });
    };
    if (!download_file(item.url, archive, progress)) return {"O download da atualização falhou.", ""};
    std::error_code error;
    uint64_t size = fs::file_size(archive, error);
    if (error || (item.length >= 0 && size != static_cast<uint64_t>(item.length)))
        return {"A atualização baixada está incompleta.", ""};
    if (item.signature.empty()) return {"A atualização não está assinada.", ""};
    if (!file_signature_valid(archive, item.signature, config_.public_key))
        return {"A assinatura da atualização não é válida.", ""};

    lv::desktop::post_to_main([this] { driver_->show_installing(); });
    std::string unpack_folder = work + "/unpacked";
    if (mkdir(unpack_folder.c_str(), 0700) != 0) return {"A atualização não pôde ser instalada.", ""};
    std::optional<std::string> unpacked = unpack_bundle(archive, unpack_folder);
    if (!unpacked) return {"A atualização está danificada e não pôde ser instalada.", ""};
    std::optional<std::string> executable = new_executable(*unpacked, config_);
    if (!executable) return {"A atualização não contém este aplicativo.", ""};
    // The bundle keeps the permissions of the installed one's folder.
    struct stat installed_mode;
    if (stat(config_.bundle_path.c_str(), &installed_mode) == 0) chmod(unpacked->c_str(), installed_mode.st_mode & 07777);
    if (!exchange_bundles(*unpacked, config_.bundle_path)) return {"A atualização não pôde ser instalada.", ""};
    return {"", config_.bundle_path + "/Contents/MacOS/" + *executable};
}

void Updater::install_finished(const InstallResult &result) {
    if (worker_.joinable()) worker_.join();
    if (!result.error.empty()) {
        driver_->show_error(result.error);
        end_session();
        return;
    }
    // The session stays open: the installed version is newer than the running one, and
    // checking again before the relaunch would only offer it a second time.
    std::string executable = result.executable;
    driver_->show_ready_to_restart([this, executable] { request_relaunch(executable); });
}

void Updater::request_relaunch(const std::string &executable) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::function<void()> resume = [this, executable, done] {
        if (!done->exchange(true)) relaunch(executable);
    };
    if (delegate_ && delegate_->should_postpone_relaunch(resume)) {
        driver_->show_restart_postponed();
        return;
    }
    resume();
}

void Updater::relaunch(const std::string &executable) {
    driver_->dismiss();
    if (!relaunch_after_exit(executable)) {
        driver_->show_error("Não foi possível reiniciar o aplicativo. Abra-o novamente para usar a nova versão.");
        return;
    }
    if (GApplication *application = lv::desktop::application()) g_application_quit(application);
}

void Updater::end_session() {
    session_active_ = false;
}

StandardUpdaterController::StandardUpdaterController(bool start_updater, UpdaterDelegate *updater_delegate,
                                                     void *user_driver_delegate)
    : driver_(make_standard_user_driver()), updater_(updater_delegate, driver_.get()) {
    (void)user_driver_delegate;  // the standard windows need no delegate
    if (start_updater) updater_.start_updater(nullptr);
}

}  // namespace lv::updates
