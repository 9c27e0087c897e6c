#include "feed_url.h"

#include <curl/curl.h>
#include <cstring>
#include <strings.h>

#include <memory>

namespace lv::updates {
namespace {

struct UrlDeleter {
    void operator()(CURLU *url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
    void operator()(char *text) const { curl_free(text); }
};

bool is_loopback(const char *host) {
    return strcasecmp(host, "localhost") == 0 || strncmp(host, "127.", 4) == 0 ||
           strcmp(host, "[::1]") == 0;
}

}  // namespace

StartError check_url(const std::string &url) {
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return start_error_feed_url_invalid;
    char *raw_scheme = nullptr, *raw_host = nullptr;
    curl_url_get(parsed.get(), CURLUPART_SCHEME, &raw_scheme, 0);
    curl_url_get(parsed.get(), CURLUPART_HOST, &raw_host, 0);
    std::unique_ptr<char, TextDeleter> scheme(raw_scheme), host(raw_host);
    if (!scheme || !host || !*host) return start_error_feed_url_invalid;
    if (strcasecmp(scheme.get(), "https") == 0) return start_error_none;
    if (strcasecmp(scheme.get(), "http") == 0 && is_loopback(host.get())) return start_error_none;
    return start_error_feed_url_insecure;
}

}  // namespace lv::updates
