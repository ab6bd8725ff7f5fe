#include "base/utf8.h"

namespace nurv {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::size_t DecodeUtf8(std::string_view s, std::size_t pos, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - pos < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
  char32_t cp = 0;
  const std::size_t len = DecodeUtf8(s, pos, cp);
  if (len == 0) {
    ++pos;
    return kReplacementCharacter;
  }
  pos += len;
  return cp;
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(bytes, pos, cp);
    if (len == 0) return false;
    pos += len;
  }
  return true;
}

char32_t LowerCaseCodePoint(char32_t cp) {
  if (cp >= U'A' && cp <= U'Z') return cp + 0x20;
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 0x20;  // Latin-1, without ×
  if (cp >= 0x410 && cp <= 0x42F) return cp + 0x20;              // А–Я
  if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;              // Ѐ–Џ, Ё among them
  if (cp == 0x490) return 0x491;                                 // Ґ
  return cp;
}

std::string LowerCaseText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text, i, c);
    if (length == 0) {  // a malformed byte is kept as it is
      out += text[i++];
      continue;
    }
    AppendUtf8(out, LowerCaseCodePoint(c));
    i += length;
  }
  return out;
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace nurv
