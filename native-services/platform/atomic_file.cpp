#include "atomic_file.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lv {
namespace {

// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string folder_of(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string temporary_name(const std::string &folder) {
    std::uint64_t token = 0;
    if (getrandom(&token, sizeof token, 0) != static_cast<ssize_t>(sizeof token))
        token = static_cast<std::uint64_t>(getpid()) ^ reinterpret_cast<std::uintptr_t>(&token);
    char name[40];
    std::snprintf(name, sizeof name, "/.lumivane-%016" PRIx64 ".tmp", token);
    return folder + name;
}

void sync_folder(const std::string &folder) {
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    fsync(descriptor);  // best effort: the rename itself has already happened
    close(descriptor);
}

}  // namespace

AtomicFile::AtomicFile(const char *path) : path_(path ? path : "") {
    // A path that names a folder ("", "x/") has no file name to rename onto.
    if (path_.empty() || path_.back() == '/') {
        error_ = EISDIR;
        return;
    }
    folder_ = folder_of(path_);
    for (int attempt = 0; attempt < 8 && descriptor_ < 0; ++attempt) {
        temporary_path_ = temporary_name(folder_);
        // 0666 minus the process's umask, as for any new file the user makes.
        descriptor_ = open(temporary_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor_ < 0 && errno != EEXIST) break;
    }
    if (descriptor_ < 0) {
        error_ = errno;
        temporary_path_.clear();
    }
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::write(const void *bytes, std::size_t count) {
    if (!is_open() || failed_) return false;
    const char *next = static_cast<const char *>(bytes);
    while (count > 0) {
        const ssize_t written = ::write(descriptor_, next, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failed_ = true;
            error_ = written < 0 ? errno : ENOSPC;
            return false;
        }
        next += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

bool AtomicFile::commit() {
    if (!is_open() || failed_) {
        discard();
        return false;
    }
    const bool flushed = fsync(descriptor_) == 0;
    if (!flushed) error_ = errno;
    const bool closed = close(descriptor_) == 0;
    if (!closed && !error_) error_ = errno;
    descriptor_ = -1;
    if (flushed && closed && std::rename(temporary_path_.c_str(), path_.c_str()) != 0) error_ = errno;
    if (error_) {
        discard();
        return false;
    }
    temporary_path_.clear();
    sync_folder(folder_);
    return true;
}

bool AtomicFile::set_mode(unsigned mode) {
    if (!is_open() || failed_) return false;
    if (fchmod(descriptor_, static_cast<mode_t>(mode)) == 0) return true;
    failed_ = true;
    error_ = errno;
    return false;
}

void AtomicFile::discard() {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
    if (!temporary_path_.empty()) unlink(temporary_path_.c_str());
    temporary_path_.clear();
}

}  // namespace lv

namespace lv {

bool write_file_atomically(const std::string &path, const void *bytes, std::size_t count) {
    AtomicFile file(path.c_str());
    return file.is_open() && file.write(bytes, count) && file.commit();
}

}  // namespace lv
