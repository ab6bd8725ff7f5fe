#include "platform/ini_file.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/utf8.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

using win32::Narrow;
using win32::Widen;

namespace {

constexpr DWORD kMaxValue = 2048;  // 2047 characters and the terminating zero

bool IsAscii(const std::string& bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::wstring Decode(const std::string& bytes, UINT code_page) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int count = MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), size, wide.data(), count);
  return wide;
}

// Windows reads a file without a byte-order mark in the ANSI code page of the machine. The loader
// reads nurv.ini the same on every machine: UTF-8 when it is valid UTF-8, otherwise Windows-1251.
// Such a file is handed to the profile API as a UTF-16 copy, which it reads unambiguously.
class ProfileSource {
 public:
  explicit ProfileSource(const std::string& path) : path_(Widen(path)) {
    std::ifstream in(std::filesystem::path(path_), std::ios::binary);
    if (!in) return;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const bool utf16_bom = bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                                 (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
    const bool utf8_bom = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if (utf16_bom || IsAscii(bytes)) return;
    std::wstring text;
    if (utf8_bom) {
      text = Decode(bytes.substr(3), CP_UTF8);
    } else {
      text = Decode(bytes, IsValidUtf8(bytes) ? CP_UTF8 : 1251);
    }
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"ini", 0, name) == 0) {
      return;
    }
    copy_ = name;
    std::ofstream out(std::filesystem::path(copy_), std::ios::binary | std::ios::trunc);
    const std::wstring content = L"\xFEFF" + text;
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size() * sizeof(wchar_t)));
    if (out.flush()) path_ = copy_;
  }
  ~ProfileSource() {
    if (!copy_.empty()) DeleteFileW(copy_.c_str());
  }
  ProfileSource(const ProfileSource&) = delete;
  ProfileSource& operator=(const ProfileSource&) = delete;

  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  std::wstring copy_;
};

std::string ReadWithDefault(const ProfileSource& source, const std::string& section,
                            const std::string& key, const std::string& fallback) {
  wchar_t value[kMaxValue];
  const DWORD length =
      GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(fallback).c_str(),
                               value, kMaxValue, source.path().c_str());
  return Narrow(std::wstring_view(value, length));
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& fallback) {
  // An empty section or key would make the API list names instead of reading a value.
  if (section.empty() || key.empty()) return fallback;
  return ReadWithDefault(ProfileSource(path), section, key, fallback);
}

std::optional<std::string> ReadProfileValue(const std::string& path, const std::string& section,
                                            const std::string& key) {
  if (section.empty() || key.empty()) return std::nullopt;
  // The API tells a missing key only by returning the default: a key that is there reads the
  // same whatever the default, a missing one reads as each of two different defaults.
  const ProfileSource source(path);
  std::string value = ReadWithDefault(source, section, key, "0");
  if (value != ReadWithDefault(source, section, key, "1")) return std::nullopt;
  return value;
}

}  // namespace nurv::platform
