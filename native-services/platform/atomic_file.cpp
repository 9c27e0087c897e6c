#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace lv {
namespace {

// The process's file-creation mask, read without changing it (umask() would race other threads).
mode_t current_umask() {
    FILE *status = std::fopen("/proc/self/status", "r");
    mode_t mask = 022;
    if (!status) return mask;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        unsigned value = 0;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<mode_t>(value);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

bool write_all(int fd, const std::uint8_t *bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

bool write_file_atomically(const std::string &path, const void *bytes, std::size_t count) {
    if (path.empty() || path.back() == '/') return false;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "/." + name + ".XXXXXX";
    std::vector<char> pattern(temporary.begin(), temporary.end());
    pattern.push_back('\0');
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return false;
    temporary = pattern.data();
    bool ok = fchmod(fd, 0666 & ~current_umask()) == 0 &&
              write_all(fd, static_cast<const std::uint8_t *>(bytes), count) && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    const int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd >= 0) {  // make the rename itself durable
        fsync(folder_fd);
        ::close(folder_fd);
    }
    return true;
}

}  // namespace lv
