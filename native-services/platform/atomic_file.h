// A file that appears at its path only when it is complete: the bytes go to a temporary file in
// the same folder, which is flushed to the disk and then renamed over the path in one step.
#pragma once

#include <cstddef>
#include <string>

namespace lv {

class AtomicFile {
public:
    // Creates the temporary file next to `path`; is_open() tells whether that worked.
    explicit AtomicFile(const char *path);
    // Removes the temporary file unless commit() succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    bool is_open() const { return descriptor_ >= 0; }
    // Appends all `count` bytes; false (and the file is spoiled) when they could not be written.
    bool write(const void *bytes, std::size_t count);
    // Flushes, closes and renames the file onto its path. False leaves nothing behind.
    bool commit();
    // Gives the file exactly these permission bits, whatever the process's umask.
    bool set_mode(unsigned mode);
    // The errno of the first step that failed (0 while none has).
    int error() const { return error_; }

private:
    void discard();

    std::string path_;
    std::string folder_;
    std::string temporary_path_;
    int descriptor_ = -1;
    bool failed_ = false;
    int error_ = 0;
};

// Writes `count` bytes as the whole of the file at `path` through an AtomicFile.
bool write_file_atomically(const std::string &path, const void *bytes, std::size_t count);

}  // namespace lv
