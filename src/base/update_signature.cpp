#include "base/update_signature.h"

#include "base/base64.h"
#include "base/date_utils.h"
#include "base/text_utils.h"

namespace nurv {

namespace {

void AppendLength(std::string& message, std::uint32_t length) {
  for (int shift = 24; shift >= 0; shift -= 8)
    message += static_cast<char>((length >> shift) & 0xFF);
}

void AppendField(std::string& message, std::string_view bytes) {
  AppendLength(message, static_cast<std::uint32_t>(bytes.size()));
  message += bytes;
}

void AppendNullable(std::string& message, const std::optional<std::string>& text) {
  if (text)
    AppendField(message, std::string_view(*text));
  else
    AppendLength(message, 0xFFFFFFFFu);
}

// The bytes after `prefix` of a trimmed line, decoded; nullopt when the line is not of that form.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> KeyOfLine(std::string_view line,
                                                     std::string_view prefix) {
  const std::string_view text = TrimBlanks(line);
  if (!text.starts_with(prefix)) return std::nullopt;
  const auto bytes = Base64Decode(text.substr(prefix.size()));
  if (!bytes) return std::nullopt;
  return ArrayOf<N>(*bytes);
}

}  // namespace

std::string SignedMessage(const SignedFields& fields) {
  std::string message;
  AppendField(message, kSignedMessageTag);
  AppendField(message, std::string_view(fields.code));
  AppendNullable(message, fields.name);
  AppendNullable(message, fields.version);
  AppendField(message,
              SqlDateTimeText(std::chrono::floor<std::chrono::seconds>(fields.updatedate)));
  AppendField(message, std::to_string(fields.caption));
  AppendField(message, BytesOf(fields.landed));
  AppendField(message, BytesOf(fields.stored));
  return message;
}

std::string PublicKeyLine(const PublicKey& key) {
  return std::string(kPublicKeyPrefix) + Base64Encode(BytesOf(key));
}

std::optional<PublicKey> ParsePublicKeyLine(std::string_view line) {
  return KeyOfLine<32>(line, kPublicKeyPrefix);
}

std::string KeyId(const PublicKey& key) { return HexText(BytesOf(key).substr(0, 8)); }

std::string HexText(std::string_view bytes) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string text;
  for (const char byte : bytes) {
    text += kDigits[static_cast<std::uint8_t>(byte) >> 4];
    text += kDigits[static_cast<std::uint8_t>(byte) & 15];
  }
  return text;
}

std::optional<std::string> BytesOfHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  const auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

}  // namespace nurv
