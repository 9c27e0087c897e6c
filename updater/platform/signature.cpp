#include "signature.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace lv::updates {
namespace {

std::optional<std::vector<unsigned char>> from_base64(const std::string &text, size_t capacity) {
    std::vector<unsigned char> bytes(capacity);
    size_t length = 0;
    const char *end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), " \t\r\n", &length,
                          &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size())
        return std::nullopt;
    bytes.resize(length);
    return bytes;
}

struct FileMap {
    int fd = -1;
    void *data = MAP_FAILED;
    size_t size = 0;
    ~FileMap() {
        if (data != MAP_FAILED) munmap(data, size);
        if (fd >= 0) close(fd);
    }
};

}  // namespace

std::optional<PublicKey> decode_public_key(const std::string &base64) {
    auto bytes = from_base64(base64, 64);
    if (!bytes || bytes->size() != 32) return std::nullopt;
    PublicKey key;
    std::copy(bytes->begin(), bytes->end(), key.begin());
    return key;
}

bool file_signature_valid(const std::string &path, const std::string &signature_base64,
                          const PublicKey &key) {
    if (sodium_init() < 0) return false;
    auto signature = from_base64(signature_base64, 128);
    if (!signature || signature->size() != crypto_sign_BYTES) return false;
    FileMap map;
    map.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (map.fd < 0 || fstat(map.fd, &info) != 0) return false;
    map.size = static_cast<size_t>(info.st_size);
    static const unsigned char empty = 0;
    const unsigned char *message = &empty;
    if (map.size > 0) {
        map.data = mmap(nullptr, map.size, PROT_READ, MAP_PRIVATE, map.fd, 0);
        if (map.data == MAP_FAILED) return false;
        madvise(map.data, map.size, MADV_SEQUENTIAL);
        message = static_cast<const unsigned char *>(map.data);
    }
    return crypto_sign_verify_detached(signature->data(), message, map.size, key.data()) == 0;
}

}  // namespace lv::updates
