#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace pages {

namespace {

// Owns a file descriptor.
struct unique_fd {
  int fd = -1;
  explicit unique_fd(int value) : fd(value) {}
  unique_fd(const unique_fd&) = delete;
  unique_fd& operator=(const unique_fd&) = delete;
  ~unique_fd() {
    if (fd >= 0) ::close(fd);
  }
  // Closes now and reports whether the close succeeded (it can report a late write error).
  bool close() {
    const int value = fd;
    fd = -1;
    return ::close(value) == 0;
  }
};

// Owns a named temporary file until it is renamed into place.
struct temporary_name {
  std::string path;
  bool linked = false;
  ~temporary_name() {
    if (linked) ::unlink(path.c_str());
  }
};

bool write_all(int fd, const unsigned char* data, size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

std::string directory_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

mode_t default_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Gives the unnamed file `fd` a unique name in `directory`, so that it can be renamed
// over the target.
bool link_unnamed(int fd, const std::string& directory, temporary_name& name) {
  char proc_path[64];
  std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "/.pages-%08x", arc4random());
    name.path = directory + suffix;
    if (::linkat(AT_FDCWD, proc_path, AT_FDCWD, name.path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      name.linked = true;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// Closes the written, named temporary and renames it over `target`.
bool commit(unique_fd& file, temporary_name& name, const std::string& target,
            const std::string& directory) {
  if (!file.close()) return false;
  if (::rename(name.path.c_str(), target.c_str()) != 0) return false;
  name.linked = false;
  // Make the rename itself durable; the new file is complete either way.
  unique_fd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd >= 0) ::fsync(dir.fd);
  return true;
}

bool fill(int fd, const void* data, size_t length) {
  return write_all(fd, static_cast<const unsigned char*>(data), length) && ::fsync(fd) == 0;
}

}  // namespace

read_result read_file_capped(const char* path, size_t max_bytes, std::string& out) {
  out.clear();
  unique_fd file(::open(path, O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) return read_result::unreadable;
  struct stat info {};
  if (::fstat(file.fd, &info) != 0 || S_ISDIR(info.st_mode)) return read_result::unreadable;
  if (S_ISREG(info.st_mode) && static_cast<unsigned long long>(info.st_size) > max_bytes)
    return read_result::too_large;
  try {
    // The size is only a hint: the file may change while it is read.
    size_t capacity = S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) + 1 : 65536;
    out.resize(capacity);
    size_t filled = 0;
    for (;;) {
      if (filled == out.size()) {
        if (out.size() > max_bytes) return read_result::too_large;
        out.resize(out.size() * 2 > max_bytes + 1 ? max_bytes + 1 : out.size() * 2);
      }
      const ssize_t got = ::read(file.fd, out.data() + filled, out.size() - filled);
      if (got < 0) {
        if (errno == EINTR) continue;
        return read_result::unreadable;
      }
      if (got == 0) break;
      filled += static_cast<size_t>(got);
      if (filled > max_bytes) return read_result::too_large;
    }
    out.resize(filled);
  } catch (const std::bad_alloc&) {
    return read_result::unreadable;
  }
  return read_result::ok;
}

bool write_file_atomically(const char* path, const void* data, size_t length) {
  const std::string target(path);
  if (target.empty() || target.back() == '/') return false;
  const std::string directory = directory_of(target);

  // First choice: an unnamed file, which vanishes by itself should the process die
  // while writing (the CPU limit ends it with an uncatchable signal).
  {
    unique_fd file(::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    if (file.fd >= 0) {
      if (!fill(file.fd, data, length)) return false;
      temporary_name name;
      if (link_unnamed(file.fd, directory, name)) return commit(file, name, target, directory);
    }
  }

  // Fallback where the file system has no unnamed files, or one could not be named: a
  // named temporary.
  temporary_name name;
  name.path = directory + "/.pages-XXXXXX";
  unique_fd file(::mkostemp(name.path.data(), O_CLOEXEC));
  if (file.fd < 0) return false;
  name.linked = true;
  if (::fchmod(file.fd, default_file_mode()) != 0) return false;
  if (!fill(file.fd, data, length)) return false;
  return commit(file, name, target, directory);
}

}  // namespace pages
