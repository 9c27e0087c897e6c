// Fetching over HTTP(S) with libcurl: the appcast into memory, an archive into a file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace lv::updates {

// Called on the downloading thread; `expected` is 0 while the size is unknown.
using DownloadProgress = std::function<void(uint64_t received, uint64_t expected)>;

// The body of `url`, at most `limit` bytes; nullopt on any failure (HTTP status >= 400 too).
std::optional<std::string> fetch_text(const std::string &url, size_t limit);

// Writes the body of `url` to a new file at `path`. False on any failure.
bool download_file(const std::string &url, const std::string &path, const DownloadProgress &progress);

}  // namespace lv::updates
