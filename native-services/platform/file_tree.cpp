#include "file_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace lv {
namespace {

// A file descriptor closed on every path.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

// The names in a folder, read up front so that the folder may change while we work on them.
int list_names(int dir_fd, std::vector<std::string> &names) {
    int copy = dup(dir_fd);
    if (copy < 0) return errno;
    Dir dir(fdopendir(copy));
    if (!dir) {
        int error = errno;
        close(copy);
        return error;
    }
    rewinddir(dir.get());
    errno = 0;
    while (dirent *entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
        errno = 0;
    }
    return errno;
}

enum class CopyWay { kernel_copy, send, read_write };

bool refused(int error) { return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

int copy_data(int from, int to) {
    // copy_file_range lets the file system copy (or share) the bytes, but most pairs of
    // different file systems refuse it; sendfile still moves them inside the kernel; plain
    // reads and writes are the last resort. Each goes on at the offsets where the last stopped.
    CopyWay way = CopyWay::kernel_copy;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n = 0;
        if (way == CopyWay::kernel_copy) n = copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        else if (way == CopyWay::send) n = sendfile(to, from, nullptr, 1 << 30);
        else {
            if (buffer.empty()) buffer.resize(1 << 20);
            n = read(from, buffer.data(), buffer.size());
            for (ssize_t done = 0; n > 0 && done < n;) {
                ssize_t w = write(to, buffer.data() + done, static_cast<size_t>(n - done));
                if (w < 0) {
                    if (errno == EINTR) continue;
                    return errno;
                }
                done += w;
            }
        }
        if (n > 0) continue;
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        if (way == CopyWay::read_write || !refused(errno)) return errno;
        way = way == CopyWay::kernel_copy ? CopyWay::send : CopyWay::read_write;
    }
}

void keep_times(int dir_fd, const char *name, const struct stat &st, int flags) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(dir_fd, name, times, flags);
}

int copy_at(int src_dir, const char *src_name, int dst_dir, const char *dst_name, bool *created);

int copy_file(int src_dir, const char *src_name, const struct stat &st, int dst_dir, const char *dst_name,
              bool *created) {
    Fd from(openat(src_dir, src_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (from.get() < 0) return errno;
    Fd to(openat(dst_dir, dst_name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (to.get() < 0) return errno;
    *created = true;
    int error = copy_data(from.get(), to.get());
    if (!error && fchmod(to.get(), st.st_mode & 07777) != 0) error = errno;
    if (!error) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (futimens(to.get(), times) != 0) error = errno;
    }
    if (close(to.release()) != 0 && !error) error = errno;
    return error;
}

int copy_link(int src_dir, const char *src_name, const struct stat &st, int dst_dir, const char *dst_name,
              bool *created) {
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    for (;;) {
        ssize_t n = readlinkat(src_dir, src_name, target.data(), target.size());
        if (n < 0) return errno;
        if (static_cast<size_t>(n) < target.size()) {
            target[static_cast<size_t>(n)] = '\0';
            break;
        }
        target.resize(target.size() * 2);  // the link changed since we looked at it
    }
    if (symlinkat(target.data(), dst_dir, dst_name) != 0) return errno;
    *created = true;
    keep_times(dst_dir, dst_name, st, AT_SYMLINK_NOFOLLOW);
    return 0;
}

int copy_folder(int src_dir, const char *src_name, const struct stat &st, int dst_dir, const char *dst_name,
                bool *created) {
    Fd from(openat(src_dir, src_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (from.get() < 0) return errno;
    // Private until filled; its own mode and times are set once its contents are in place.
    if (mkdirat(dst_dir, dst_name, 0700) != 0) return errno;
    *created = true;
    Fd to(openat(dst_dir, dst_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (to.get() < 0) return errno;
    std::vector<std::string> names;
    if (int error = list_names(from.get(), names)) return error;
    for (const std::string &name : names) {
        bool child_created = false;
        if (int error = copy_at(from.get(), name.c_str(), to.get(), name.c_str(), &child_created)) return error;
    }
    if (fchmod(to.get(), st.st_mode & 07777) != 0) return errno;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(to.get(), times) != 0) return errno;
    return 0;
}

int copy_at(int src_dir, const char *src_name, int dst_dir, const char *dst_name, bool *created) {
    struct stat st;
    if (fstatat(src_dir, src_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    switch (st.st_mode & S_IFMT) {
    case S_IFREG: return copy_file(src_dir, src_name, st, dst_dir, dst_name, created);
    case S_IFLNK: return copy_link(src_dir, src_name, st, dst_dir, dst_name, created);
    case S_IFDIR: return copy_folder(src_dir, src_name, st, dst_dir, dst_name, created);
    case S_IFIFO:
        if (mkfifoat(dst_dir, dst_name, st.st_mode & 07777) != 0) return errno;
        *created = true;
        keep_times(dst_dir, dst_name, st, 0);
        return 0;
    default:
        return EOPNOTSUPP;  // sockets and device nodes do not travel between volumes
    }
}

int remove_at(int dir_fd, const char *name) {
    if (unlinkat(dir_fd, name, 0) == 0) return 0;
    if (errno != EISDIR && errno != EPERM) return errno;  // Linux says EISDIR, POSIX allows EPERM
    Fd folder(openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0) return errno == ENOTDIR ? EPERM : errno;
    std::vector<std::string> names;
    if (int error = list_names(folder.get(), names)) return error;
    for (const std::string &child : names)
        if (int error = remove_at(folder.get(), child.c_str())) return error;
    if (unlinkat(dir_fd, name, AT_REMOVEDIR) != 0) return errno;
    return 0;
}

}  // namespace

int copy_item(const std::string &source, const std::string &destination) {
    bool created = false;
    int error = copy_at(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), &created);
    // Only what this copy made is taken away: an item that was already there stays.
    if (error && created) remove_item(destination);
    return error;
}

int remove_item(const std::string &path) { return remove_at(AT_FDCWD, path.c_str()); }

}  // namespace lv
