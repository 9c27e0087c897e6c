#include "rtfd_reader.h"

#include "rtf_reader.h"
#include "whole_file.h"

#include <sys/stat.h>


namespace lv::rich {
namespace {

// Attachment files and the text of an RTFD are bounded like every input the library reads whole.
constexpr std::size_t max_part_size = std::size_t(1) << 30;

bool plain_file_name(const std::string &name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

std::optional<Document> read_rtfd(const std::string &folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    const std::string base = folder.back() == '/' ? folder : folder + "/";
    const std::optional<std::vector<std::uint8_t>> text = lv::read_whole_file(base + "TXT.rtf", max_part_size);
    if (!text) return std::nullopt;
    const AttachmentLoader load = [&base](const std::string &name) -> std::optional<std::vector<std::uint8_t>> {
        if (!plain_file_name(name)) return std::nullopt;
        return lv::read_whole_file(base + name, max_part_size);
    };
    return read_rtf(text->data(), text->size(), load);
}

}  // namespace lv::rich
