#include "main_bundle.h"

#include <plist/plist.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <strings.h>

namespace lv::desktop {
namespace fs = std::filesystem;
namespace {

std::shared_ptr<void> read_dictionary(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return nullptr;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.empty() || bytes.size() > UINT32_MAX) return nullptr;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (!root) return nullptr;
    std::shared_ptr<void> owned(root, [](void *node) { plist_free(static_cast<plist_t>(node)); });
    if (plist_get_node_type(root) != PLIST_DICT) return nullptr;
    return owned;
}

plist_t entry(const MainBundle &bundle, const char *key) {
    if (!bundle.info || !key) return nullptr;
    return plist_dict_get_item(static_cast<plist_t>(bundle.info.get()), key);
}

std::string running_executable() {
    std::error_code error;
    fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.string();
}

}  // namespace

MainBundle bundle_of_executable(const std::string &executable) {
    MainBundle bundle;
    bundle.executable = executable;
    fs::path exe(executable);
    fs::path macos = exe.parent_path();
    fs::path contents = macos.parent_path();
    if (macos.filename() == "MacOS" && contents.filename() == "Contents" &&
        !contents.parent_path().empty()) {
        bundle.path = contents.parent_path().string();
        bundle.app_layout = true;
        bundle.info = read_dictionary(contents / "Info.plist");
    } else {
        bundle.path = macos.string();
    }
    return bundle;
}

const MainBundle &main_bundle() {
    static const MainBundle bundle = bundle_of_executable(running_executable());
    return bundle;
}

std::optional<std::string> info_string(const MainBundle &bundle, const char *key) {
    plist_t node = entry(bundle, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(node, &length);
    return text ? std::optional<std::string>(std::string(text, length)) : std::nullopt;
}

std::optional<double> info_number(const MainBundle &bundle, const char *key) {
    plist_t node = entry(bundle, key);
    if (!node) return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return static_cast<double>(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    default:
        return std::nullopt;
    }
}

std::optional<bool> info_bool(const MainBundle &bundle, const char *key) {
    plist_t node = entry(bundle, key);
    if (!node) return std::nullopt;
    if (plist_get_node_type(node) == PLIST_BOOLEAN) {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    if (auto text = info_string(bundle, key)) {
        if (!strcasecmp(text->c_str(), "YES") || !strcasecmp(text->c_str(), "true")) return true;
        if (!strcasecmp(text->c_str(), "NO") || !strcasecmp(text->c_str(), "false")) return false;
    }
    return std::nullopt;
}

std::string bundle_identifier(const MainBundle &bundle) {
    return info_string(bundle, "CFBundleIdentifier").value_or("");
}

}  // namespace lv::desktop
