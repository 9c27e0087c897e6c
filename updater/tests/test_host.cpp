// A small host application: a GApplication that loads libLumivaneUpdater and runs the calls
// named on its command line, in order, on its main loop, printing "name=result" lines on
// standard output. Bundles made at test time carry a copy of it as Contents/MacOS/host.
//
//   start, start-from-thread, can-check, automatic, set-automatic=N, check, busy=N,
//   busy-from-thread=N, check-from-thread, wait=MS, wait-idle (until a check is
//   possible again), quit
// SIGUSR1 calls LVUpdaterSetBusy(0) from a new thread. Without arguments the host prints the
// version in its Info.plist as "launched=VERSION" to $LUMIVANE_TEST_LAUNCH_LOG and exits.
#include <dlfcn.h>
#include <gio/gio.h>
#include <glib-unix.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Updater {
    int (*start)();
    int (*can_check)();
    int (*automatic)();
    void (*set_automatic)(int);
    void (*check)();
    void (*set_busy)(int);
} updater;

std::vector<std::string> steps;
size_t next_step = 0;
GApplication *app = nullptr;

template <typename F>
void resolve(void *library, const char *name, F &slot) {
    slot = reinterpret_cast<F>(dlsym(library, name));
    if (!slot) {
        std::fprintf(stderr, "host: missing %s\n", name);
        std::exit(3);
    }
}

void say(const std::string &name, int value) {
    std::printf("%s=%d\n", name.c_str(), value);
    std::fflush(stdout);
}

gboolean run_steps(gpointer) {
    while (next_step < steps.size()) {
        std::string step = steps[next_step++];
        std::string name = step.substr(0, step.find('='));
        int value = step.find('=') == std::string::npos ? 0 : std::atoi(step.c_str() + step.find('=') + 1);
        if (name == "start") say(name, updater.start());
        else if (name == "start-from-thread") {
            int result = -1;
            std::thread([&] { result = updater.start(); }).join();
            say(name, result);
        } else if (name == "can-check") say(name, updater.can_check());
        else if (name == "automatic") say(name, updater.automatic());
        else if (name == "set-automatic") updater.set_automatic(value), say(name, value);
        else if (name == "check") updater.check(), say(name, 1);
        else if (name == "check-from-thread") std::thread([] { updater.check(); }).join(), say(name, 1);
        else if (name == "busy") updater.set_busy(value), say(name, value);
        else if (name == "busy-from-thread") std::thread([value] { updater.set_busy(value); }).join(), say(name, value);
        else if (name == "wait") {
            g_timeout_add(value, run_steps, nullptr);
            return G_SOURCE_REMOVE;
        } else if (name == "wait-idle") {
            // Until the check under way has ended (a check is possible again).
            if (!updater.can_check()) {
                --next_step;
                g_timeout_add(50, run_steps, nullptr);
                return G_SOURCE_REMOVE;
            }
        } else if (name == "quit") {
            g_application_quit(app);
            return G_SOURCE_REMOVE;
        }
    }
    return G_SOURCE_REMOVE;
}

void activate(GApplication *application, gpointer) {
    g_application_hold(application);  // stays until the updater or a "quit" step ends it
    g_idle_add(run_steps, nullptr);
}

std::string plist_version(const char *executable) {
    std::string path(executable);
    path = path.substr(0, path.rfind('/'));  // Contents/MacOS
    path = path.substr(0, path.rfind('/')) + "/Info.plist";
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t key = text.find("<key>CFBundleVersion</key>");
    if (key == std::string::npos) return "?";
    size_t start = text.find("<string>", key) + 8;
    return text.substr(start, text.find("</string>", start) - start);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 1) {
        char exe[4096] = {};
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n > 0) exe[n] = 0;
        if (const char *log = std::getenv("LUMIVANE_TEST_LAUNCH_LOG")) {
            std::ofstream(log, std::ios::app) << "launched=" << plist_version(exe) << " pid=" << getpid() << "\n";
        }
        return 0;
    }
    const char *library_path = std::getenv("LUMIVANE_UPDATER_LIBRARY");
    void *library = library_path ? dlopen(library_path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!library) {
        std::fprintf(stderr, "host: cannot load the updater library: %s\n", dlerror());
        return 3;
    }
    resolve(library, "LVUpdaterStart", updater.start);
    resolve(library, "LVUpdaterCanCheck", updater.can_check);
    resolve(library, "LVUpdaterAutomatic", updater.automatic);
    resolve(library, "LVUpdaterSetAutomatic", updater.set_automatic);
    resolve(library, "LVUpdaterCheck", updater.check);
    resolve(library, "LVUpdaterSetBusy", updater.set_busy);
    for (int i = 1; i < argc; ++i) steps.push_back(argv[i]);

    app = g_application_new("org.lumivane.TestHost", G_APPLICATION_NON_UNIQUE);
    g_application_set_default(app);
    g_signal_connect(app, "activate", G_CALLBACK(activate), nullptr);
    g_unix_signal_add(SIGUSR1, +[](gpointer) -> gboolean {
        std::thread([] { updater.set_busy(0); }).join();
        say("busy-from-signal", 0);
        return G_SOURCE_CONTINUE;
    }, nullptr);
    char *no_args[] = {argv[0], nullptr};
    int status = g_application_run(app, 1, no_args);
    say("exited", status);
    g_object_unref(app);
    return status;
}
