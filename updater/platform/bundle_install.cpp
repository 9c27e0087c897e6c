#include "bundle_install.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <set>
#include <vector>

namespace lv::updates {
namespace fs = std::filesystem;
namespace {

struct ReaderDeleter {
    void operator()(archive *a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive *a) const { archive_write_free(a); }
};

// The entry's path split into components, or empty when it is unsafe.
std::vector<std::string> safe_components(const char *path) {
    if (!path || !*path || path[0] == '/') return {};
    std::vector<std::string> parts;
    for (const auto &part : fs::path(path)) {
        std::string text = part.string();
        if (text.empty() || text == ".") continue;
        if (text == "..") return {};
        parts.push_back(text);
    }
    return parts;
}

// Whether a link stored at `entry` (components) with `target` stays inside the archive root.
bool link_stays_inside(const std::vector<std::string> &entry, const char *target) {
    if (!target || !*target || target[0] == '/') return false;
    std::vector<std::string> where(entry.begin(), entry.end() - 1);
    for (const auto &part : fs::path(target)) {
        std::string text = part.string();
        if (text.empty() || text == ".") continue;
        if (text == "..") {
            if (where.empty()) return false;
            where.pop_back();
        } else {
            where.push_back(text);
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> unpack_bundle(const std::string &archive_path, const std::string &into) {
    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    std::unique_ptr<archive, WriterDeleter> writer(archive_write_disk_new());
    if (!reader || !writer) return std::nullopt;
    archive_read_support_format_zip(reader.get());
    archive_read_support_format_tar(reader.get());
    archive_read_support_format_gnutar(reader.get());
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_filter_xz(reader.get());
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_NO_OVERWRITE);
    if (archive_read_open_filename(reader.get(), archive_path.c_str(), 1 << 16) != ARCHIVE_OK)
        return std::nullopt;

    std::set<std::string> top_level;
    archive_entry *entry = nullptr;
    int status;
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
        std::vector<std::string> parts = safe_components(archive_entry_pathname(entry));
        if (parts.empty()) return std::nullopt;
        if (parts.front() == "__MACOSX") {
            archive_read_data_skip(reader.get());
            continue;
        }
        mode_t type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) return std::nullopt;
        if (type == AE_IFLNK && !link_stays_inside(parts, archive_entry_symlink(entry)))
            return std::nullopt;
        if (const char *hardlink = archive_entry_hardlink(entry)) {
            std::vector<std::string> target = safe_components(hardlink);
            if (target.empty() || target.front() != parts.front()) return std::nullopt;
            archive_entry_set_hardlink(entry, (fs::path(into) / hardlink).c_str());
        }
        top_level.insert(parts.front());
        fs::path destination = into;
        for (const auto &part : parts) destination /= part;
        archive_entry_set_pathname(entry, destination.c_str());
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK) return std::nullopt;
        if (archive_entry_size(entry) > 0 && type == AE_IFREG) {
            const void *block;
            size_t size;
            la_int64_t offset;
            int read_status;
            while ((read_status = archive_read_data_block(reader.get(), &block, &size, &offset)) == ARCHIVE_OK)
                if (archive_write_data_block(writer.get(), block, size, offset) != ARCHIVE_OK)
                    return std::nullopt;
            if (read_status != ARCHIVE_EOF) return std::nullopt;
        }
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) return std::nullopt;
    }
    if (status != ARCHIVE_EOF || archive_write_close(writer.get()) != ARCHIVE_OK) return std::nullopt;

    if (top_level.size() != 1) return std::nullopt;
    fs::path bundle = fs::path(into) / *top_level.begin();
    std::error_code error;
    if (bundle.extension() != ".app" || !fs::is_directory(fs::symlink_status(bundle, error)))
        return std::nullopt;
    return bundle.string();
}

bool exchange_bundles(const std::string &replacement, const std::string &installed) {
    return renameat2(AT_FDCWD, replacement.c_str(), AT_FDCWD, installed.c_str(), RENAME_EXCHANGE) == 0;
}

void remove_tree(const std::string &path) {
    std::error_code error;
    fs::remove_all(path, error);
}

}  // namespace lv::updates
