#include "whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lv {

std::optional<std::vector<std::uint8_t>> read_whole_file(const std::string &path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> result;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        std::vector<std::uint8_t> bytes;
        bytes.reserve(std::min<std::size_t>(static_cast<std::size_t>(info.st_size), limit) + 1);
        std::uint8_t chunk[65536];
        bool ok = true;
        for (;;) {
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) { ok = false; break; }
            if (got == 0) break;
            if (bytes.size() + static_cast<std::size_t>(got) > limit) { ok = false; break; }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        if (ok) result = std::move(bytes);
    }
    ::close(fd);
    return result;
}

}  // namespace lv
