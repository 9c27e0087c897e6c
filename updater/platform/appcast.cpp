#include "appcast.h"

#include "version_compare.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace lv::updates {
namespace {

constexpr const char *sparkle_namespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

struct DocumentDeleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};

bool named(const xmlNode *node, const char *name, const char *ns = nullptr) {
    if (node->type != XML_ELEMENT_NODE || strcmp(reinterpret_cast<const char *>(node->name), name))
        return false;
    if (!ns) return node->ns == nullptr;
    return node->ns && node->ns->href && strcmp(reinterpret_cast<const char *>(node->ns->href), ns) == 0;
}

std::string text_of(const xmlNode *node) {
    xmlChar *content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char *>(content) : "";
    xmlFree(content);
    // Trim the white space around element text.
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string attribute(const xmlNode *node, const char *name, const char *ns = nullptr) {
    xmlChar *value = ns ? xmlGetNsProp(node, BAD_CAST name, BAD_CAST ns) : xmlGetNoNsProp(node, BAD_CAST name);
    std::string text = value ? reinterpret_cast<const char *>(value) : "";
    xmlFree(value);
    return text;
}

AppcastItem read_item(const xmlNode *item) {
    AppcastItem out;
    for (const xmlNode *child = item->children; child; child = child->next) {
        if (named(child, "title")) out.title = text_of(child);
        else if (named(child, "description")) out.notes = text_of(child);
        else if (named(child, "version", sparkle_namespace)) out.version = text_of(child);
        else if (named(child, "shortVersionString", sparkle_namespace)) out.short_version = text_of(child);
        else if (named(child, "releaseNotesLink", sparkle_namespace)) out.notes_link = text_of(child);
        else if (named(child, "enclosure")) {
            out.url = attribute(child, "url");
            std::string length = attribute(child, "length");
            char *end = nullptr;
            long long value = length.empty() ? -1 : std::strtoll(length.c_str(), &end, 10);
            out.length = (end && *end == '\0' && value >= 0) ? value : -1;
            out.signature = attribute(child, "edSignature", sparkle_namespace);
            // The version may sit on the enclosure instead of in its own element.
            if (out.version.empty()) out.version = attribute(child, "version", sparkle_namespace);
            if (out.short_version.empty())
                out.short_version = attribute(child, "shortVersionString", sparkle_namespace);
        }
    }
    return out;
}

}  // namespace

std::optional<std::vector<AppcastItem>> parse_appcast(std::string_view xml) {
    if (xml.size() > 16u << 20) return std::nullopt;
    // No network access and no external DTD; entities stay unexpanded references.
    int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    std::unique_ptr<xmlDoc, DocumentDeleter> doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "appcast.xml", nullptr, options));
    if (!doc) return std::nullopt;
    const xmlNode *rss = xmlDocGetRootElement(doc.get());
    if (!rss || !named(rss, "rss")) return std::nullopt;
    std::vector<AppcastItem> items;
    bool has_channel = false;
    for (const xmlNode *channel = rss->children; channel; channel = channel->next) {
        if (!named(channel, "channel")) continue;
        has_channel = true;
        for (const xmlNode *node = channel->children; node; node = node->next) {
            if (!named(node, "item")) continue;
            AppcastItem item = read_item(node);
            if (!item.version.empty() && !item.url.empty()) items.push_back(std::move(item));
        }
    }
    if (!has_channel) return std::nullopt;
    return items;
}

const AppcastItem *newest_item_above(const std::vector<AppcastItem> &items,
                                     std::string_view running_version) {
    const AppcastItem *best = nullptr;
    for (const AppcastItem &item : items) {
        if (compare_versions(item.version, running_version) <= 0) continue;
        if (!best || compare_versions(item.version, best->version) > 0) best = &item;
    }
    return best;
}

}  // namespace lv::updates
