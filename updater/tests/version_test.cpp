// Version ordering and appcast reading, as a table of cases.
#include "appcast.h"
#include "feed_url.h"
#include "version_compare.h"

#include <cstdio>

int main() {
    using namespace lv::updates;
    struct Case {
        const char *a, *b;
        int expected;
    } cases[] = {
        {"1.10", "1.9", 1}, {"1.0", "1.0.0", 0}, {"1.0.1", "1.0", 1}, {"2", "10", -1},
        {"1.0a", "1.0", 1}, {"1.0b", "1.0a", 1}, {"1.1", "1.0b", 1}, {"1.0.1", "1.0a", 1},
        {"1.01", "1.1", 0}, {"", "0", 0}, {"3.2.10", "3.2.9", 1}, {"10.0", "9.99.99", 1},
    };
    int failures = 0;
    for (const Case &c : cases) {
        int got = compare_versions(c.a, c.b), back = compare_versions(c.b, c.a);
        auto sign = [](int v) { return (v > 0) - (v < 0); };
        if (sign(got) != c.expected || sign(back) != -c.expected) {
            std::printf("compare(%s, %s) = %d, expected %d\n", c.a, c.b, got, c.expected);
            ++failures;
        }
    }
    struct UrlCase {
        const char *url;
        StartError expected;
    } urls[] = {
        {"https://example.org/appcast.xml", start_error_none},
        {"http://127.0.0.1:8000/appcast.xml", start_error_none},
        {"http://localhost/appcast.xml", start_error_none},
        {"http://example.org/appcast.xml", start_error_feed_url_insecure},
        {"ftp://127.0.0.1/appcast.xml", start_error_feed_url_insecure},
        {"not a url", start_error_feed_url_invalid},
        {"", start_error_feed_url_invalid},
    };
    for (const UrlCase &c : urls)
        if (check_url(c.url) != c.expected) {
            std::printf("check_url(%s) = %ld, expected %ld\n", c.url, long(check_url(c.url)), long(c.expected));
            ++failures;
        }
    // Entities are not expanded, and an external DTD is not fetched.
    const char *feed = R"(<?xml version="1.0"?>
<!DOCTYPE rss SYSTEM "http://127.0.0.1:9/none.dtd" [<!ENTITY secret SYSTEM "file:///etc/passwd">]>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
<item><sparkle:version>2.0</sparkle:version><description>&secret;</description>
<enclosure url="https://example.org/a.zip" length="10" sparkle:edSignature="c2ln"/></item>
<item><enclosure url="https://example.org/b.zip" sparkle:version="3.0" length="x"/></item>
<item><title>no enclosure</title><sparkle:version>9.0</sparkle:version></item>
</channel></rss>)";
    auto items = parse_appcast(feed);
    if (!items || items->size() != 2 || (*items)[0].notes.find("root:") != std::string::npos ||
        (*items)[0].length != 10 || (*items)[1].length != -1 || (*items)[0].signature != "c2ln") {
        std::printf("appcast items not read as expected\n");
        ++failures;
    } else if (const AppcastItem *newest = newest_item_above(*items, "2.0"); !newest || newest->version != "3.0") {
        std::printf("newest item not 3.0\n");
        ++failures;
    }
    if (parse_appcast("<rss><channel>") || parse_appcast("<feed/>")) {
        std::printf("malformed appcast accepted\n");
        ++failures;
    }
    std::printf("%d failures\n", failures);
    return failures ? 1 : 0;
}
