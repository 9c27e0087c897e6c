#include "download.h"

#include "feed_url.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>

namespace lv::updates {
namespace {

struct EasyDeleter {
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};
struct FileCloser {
    void operator()(FILE *file) const { fclose(file); }
};

struct TextSink {
    std::string text;
    size_t limit;
};

size_t append_text(char *data, size_t size, size_t count, void *user) {
    auto *sink = static_cast<TextSink *>(user);
    size_t bytes = size * count;
    if (sink->text.size() + bytes > sink->limit) return 0;  // too large: abort the transfer
    sink->text.append(data, bytes);
    return bytes;
}

size_t append_file(char *data, size_t size, size_t count, void *user) {
    return fwrite(data, size, count, static_cast<FILE *>(user));
}

int report_progress(void *user, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t) {
    const auto *progress = static_cast<const DownloadProgress *>(user);
    if (*progress) (*progress)(static_cast<uint64_t>(received), static_cast<uint64_t>(expected));
    return 0;
}

std::unique_ptr<CURL, EasyDeleter> new_transfer(const std::string &url) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialised || check_url(url) != start_error_none) return nullptr;
    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) return nullptr;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl.get(), CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 30L);
    // Give up on a stalled server: less than 1 byte/s for a minute.
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, "LumivaneUpdater/1");
    return curl;
}

}  // namespace

std::optional<std::string> fetch_text(const std::string &url, size_t limit) {
    auto curl = new_transfer(url);
    if (!curl) return std::nullopt;
    TextSink sink{{}, limit};
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, append_text);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 120L);
    if (curl_easy_perform(curl.get()) != CURLE_OK) return std::nullopt;
    return std::move(sink.text);
}

bool download_file(const std::string &url, const std::string &path, const DownloadProgress &progress) {
    auto curl = new_transfer(url);
    if (!curl) return false;
    std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "wbxe"));
    if (!file) return false;
    setvbuf(file.get(), nullptr, _IOFBF, 1 << 20);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, append_file);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, file.get());
    curl_easy_setopt(curl.get(), CURLOPT_BUFFERSIZE, 512L * 1024L);
    curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, report_progress);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &progress);
    bool ok = curl_easy_perform(curl.get()) == CURLE_OK;
    FILE *raw = file.release();
    return (fclose(raw) == 0) && ok;
}

}  // namespace lv::updates
