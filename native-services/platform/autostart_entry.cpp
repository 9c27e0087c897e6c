#include "autostart_entry.h"

#include "atomic_file.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace lv {
namespace {

constexpr const char *group = "Desktop Entry";

struct KeyFileFree {
    void operator()(GKeyFile *file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;

struct GFree {
    void operator()(void *p) const { g_free(p); }
};
using GString_ = std::unique_ptr<char, GFree>;

struct StrvFree {
    void operator()(char **v) const { g_strfreev(v); }
};

bool key_is(GKeyFile *file, const char *key, bool expected) {
    GError *error = nullptr;
    gboolean value = g_key_file_get_boolean(file, group, key, &error);
    if (error) {
        g_error_free(error);
        return false;
    }
    return (value != FALSE) == expected;
}

// Field codes in Exec are written with a doubled percent sign.
std::string without_field_escapes(const std::string &argument) {
    std::string out;
    for (size_t i = 0; i < argument.size(); ++i) {
        out += argument[i];
        if (argument[i] == '%' && i + 1 < argument.size() && argument[i + 1] == '%') ++i;
    }
    return out;
}

bool program_exists(GKeyFile *file) {
    GString_ exec(g_key_file_get_string(file, group, "Exec", nullptr));
    if (!exec) return false;
    char **argv_raw = nullptr;
    if (!g_shell_parse_argv(exec.get(), nullptr, &argv_raw, nullptr)) return false;
    std::unique_ptr<char *, StrvFree> argv(argv_raw);
    const std::string program = without_field_escapes(argv.get()[0]);
    if (g_path_is_absolute(program.c_str()))
        return g_file_test(program.c_str(), G_FILE_TEST_IS_REGULAR) &&
               g_file_test(program.c_str(), G_FILE_TEST_IS_EXECUTABLE);
    GString_ found(g_find_program_in_path(program.c_str()));
    return found != nullptr;
}

}  // namespace

std::string autostart_folder() {
    const char *config = getenv("XDG_CONFIG_HOME");
    std::string base = config && g_path_is_absolute(config) ? config : std::string(g_get_home_dir()) + "/.config";
    return base + "/autostart";
}

std::string autostart_entry_path(const std::string &identifier) {
    return autostart_folder() + "/" + identifier + ".desktop";
}

AutostartState autostart_state(const std::string &entry_path) {
    if (!g_file_test(entry_path.c_str(), G_FILE_TEST_EXISTS)) return AutostartState::absent;
    KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_file(file.get(), entry_path.c_str(), G_KEY_FILE_NONE, nullptr))
        return AutostartState::program_missing;  // an entry the session cannot read starts nothing
    if (!program_exists(file.get())) return AutostartState::program_missing;
    if (key_is(file.get(), "Hidden", true) || key_is(file.get(), "X-GNOME-Autostart-enabled", false))
        return AutostartState::switched_off;
    return AutostartState::enabled;
}

std::string desktop_exec_value(const std::string &program) {
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    return quoted + "\"";
}

int write_autostart_entry(const std::string &entry_path, const std::string &name, const std::string &program) {
    KeyFile file(g_key_file_new());
    g_key_file_set_string(file.get(), group, "Type", "Application");
    g_key_file_set_string(file.get(), group, "Name", name.c_str());
    // set_string adds the key file's own escaping (a backslash doubled) on top of Exec's quoting.
    g_key_file_set_string(file.get(), group, "Exec", desktop_exec_value(program).c_str());
    g_key_file_set_boolean(file.get(), group, "X-GNOME-Autostart-enabled", TRUE);
    gsize length = 0;
    GString_ data(g_key_file_to_data(file.get(), &length, nullptr));

    const std::string folder = entry_path.substr(0, entry_path.rfind('/'));
    if (g_mkdir_with_parents(folder.c_str(), 0755) != 0) return errno;
    AtomicFile entry(entry_path.c_str());
    if (entry.is_open() && entry.set_mode(0644) && entry.write(data.get(), length) && entry.commit()) return 0;
    return entry.error() ? entry.error() : EIO;
}

}  // namespace lv
