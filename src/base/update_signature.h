#pragma once
// What an update row's signature covers, and the text forms of the keys that make and check it.
// Pure encoding: the cryptography itself is support/signing.h.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/value.h"

namespace nurv {

using Sha256Digest = std::array<std::uint8_t, 32>;
using PublicKey = std::array<std::uint8_t, 32>;
using SecretKey = std::array<std::uint8_t, 64>;  // the seed followed by the public key
using Signature = std::array<std::uint8_t, 64>;

// The fields of a row that its signature covers.
struct SignedFields {
  std::string code;                    // the module's code as the loader knows it ("PRG")
  std::optional<std::string> name;     // NULL stays NULL
  std::optional<std::string> version;  // NULL stays NULL
  DateTime updatedate;                 // to the second
  std::int64_t caption = 0;
  Sha256Digest landed{};  // the bytes as they land on disk (the unpacked item of an archive)
  Sha256Digest stored{};  // `fblob` as stored
};

// The version tag that opens every signed message.
inline constexpr std::string_view kSignedMessageTag = "nurv-update-signature-1";

// The signed message: the tag, code, name, version, updatedate as "YYYY-MM-DD HH:MM:SS", caption
// as decimal text, the landed digest and the stored digest, each as a field of a 4-byte big-endian
// length and its bytes; a NULL as the length 0xFFFFFFFF and no bytes.
std::string SignedMessage(const SignedFields& fields);

// "ed25519:" + base64 of the 32-byte public key: the line `keygen` prints and nurv.ini trusts.
inline constexpr std::string_view kPublicKeyPrefix = "ed25519:";
std::string PublicKeyLine(const PublicKey& key);
// The key of a line (blanks around it allowed); nullopt for anything else.
std::optional<PublicKey> ParsePublicKeyLine(std::string_view line);

// The key's id as the signature table stores it: its first 8 bytes in lower-case hex.
std::string KeyId(const PublicKey& key);

// Lower-case hex of bytes, and back (nullopt for anything but 2 hex digits per byte).
std::string HexText(std::string_view bytes);
std::optional<std::string> BytesOfHex(std::string_view text);

// The bytes of a fixed-size array as a string, and back (nullopt when the size differs).
template <std::size_t N>
std::string BytesOf(const std::array<std::uint8_t, N>& array) {
  return std::string(reinterpret_cast<const char*>(array.data()), N);
}
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> ArrayOf(std::string_view bytes) {
  if (bytes.size() != N) return std::nullopt;
  std::array<std::uint8_t, N> array{};
  for (std::size_t i = 0; i < N; ++i) array[i] = static_cast<std::uint8_t>(bytes[i]);
  return array;
}

}  // namespace nurv
