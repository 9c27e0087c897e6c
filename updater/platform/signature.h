// Ed25519 keys and signatures as Base64 texts, checked with libsodium.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace lv::updates {

using PublicKey = std::array<unsigned char, 32>;

// The key when `base64` holds exactly 32 bytes.
std::optional<PublicKey> decode_public_key(const std::string &base64);

// Whether `signature_base64` is a valid signature of the whole file at `path`.
bool file_signature_valid(const std::string &path, const std::string &signature_base64,
                          const PublicKey &key);

}  // namespace lv::updates
