// The six exports over the updater. The delegate's two properties are guarded by a mutex,
// because LVUpdaterSetBusy may come from any thread while the updater asks the delegate on
// the main thread; a busy flag set on a worker takes effect at once. A postponed relaunch
// still runs through the main context, never inline.
#include "lumivane_updater.h"

#include "main_queue.h"
#include "main_thread.h"
#include "main_bundle.h"
#include "updater.h"

#include <cstdio>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace {

class LumivaneUpdateDelegate final : public lv::updates::UpdaterDelegate {
public:
    bool busy() const {
        std::lock_guard lock(mutex_);
        return busy_;
    }

    // Records the state; leaving it hands back a stored continuation to run.
    std::function<void()> set_busy(bool busy) {
        std::lock_guard lock(mutex_);
        busy_ = busy;
        std::function<void()> taken;
        if (!busy) taken.swap(resume_installation_);
        return taken;
    }

    bool should_postpone_relaunch(std::function<void()> resume) override {
        std::lock_guard lock(mutex_);
        if (!busy_) return false;
        resume_installation_ = std::move(resume);
        return true;
    }

private:
    mutable std::mutex mutex_;
    bool busy_ = false;
    std::function<void()> resume_installation_;
};

// Both live until the process ends once a start succeeds; they are never destroyed at exit,
// so a check still running on a worker does not hold the exit up.
std::atomic<lv::updates::StandardUpdaterController *> controller{nullptr};
std::atomic<LumivaneUpdateDelegate *> update_delegate{nullptr};

}  // namespace

extern "C" {

int LVUpdaterStart(void) {
    if (!lv::desktop::is_main_thread()) return 0;
    if (controller.load()) return 1;
    const lv::desktop::MainBundle &bundle = lv::desktop::main_bundle();
    if (!lv::desktop::info_string(bundle, "SUFeedURL") || !lv::desktop::info_string(bundle, "SUPublicEDKey"))
        return 0;
    auto delegate = std::make_unique<LumivaneUpdateDelegate>();
    auto made = std::make_unique<lv::updates::StandardUpdaterController>(false, delegate.get(), nullptr);
    long code = 0;
    if (!made->updater().start_updater(&code)) {
        std::fprintf(stderr, "Lumivane: não foi possível iniciar as atualizações (%ld).\n", code);
        return 0;  // both released here
    }
    update_delegate = delegate.release();
    controller = made.release();
    return 1;
}

int LVUpdaterCanCheck(void) {
    auto *current = controller.load();
    return current && current->updater().can_check_for_updates() ? 1 : 0;
}

int LVUpdaterAutomatic(void) {
    auto *current = controller.load();
    return current && current->updater().automatically_checks_for_updates() ? 1 : 0;
}

void LVUpdaterSetAutomatic(int automatic) {
    if (auto *current = controller.load()) current->updater().set_automatically_checks_for_updates(automatic != 0);
}

void LVUpdaterCheck(void) {
    if (!lv::desktop::is_main_thread()) return;
    if (!LVUpdaterCanCheck()) return;
    lv::updates::activate_application();
    controller.load()->check_for_updates();
}

void LVUpdaterSetBusy(int busy) {
    auto *delegate = update_delegate.load();
    if (!delegate) return;
    if (std::function<void()> resume = delegate->set_busy(busy != 0))
        lv::desktop::post_to_main(std::move(resume));
}

}  // extern "C"
