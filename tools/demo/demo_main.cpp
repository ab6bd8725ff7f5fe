// Stand-in for the complex's main program nurv.exe: writes the arguments it was started with,
// one per line (its own path first), to nurv-launch.txt beside itself, and exits. On Windows it is
// a window program, as nurv.exe is, and writes the arguments of its wide command line in UTF-8.
#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace {

#ifdef _WIN32

using NativePath = std::wstring;
constexpr wchar_t kSeparators[] = L"\\/";
constexpr wchar_t kRecord[] = L"\\nurv-launch.txt";
constexpr wchar_t kPartial[] = L".tmp";

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating zero
  return utf8;
}

NativePath OwnPath() {
  std::vector<wchar_t> self(32768);
  const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  return length > 0 && length < self.size() ? NativePath(self.data(), length) : NativePath();
}

// argv of a mingw program is in the ANSI code page, which cannot carry every caption.
std::vector<std::string> Arguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::FILE* OpenForWriting(const NativePath& path) { return _wfopen(path.c_str(), L"wb"); }

bool Replace(const NativePath& from, const NativePath& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

#else

using NativePath = std::string;
constexpr char kSeparators[] = "/";
constexpr char kRecord[] = "/nurv-launch.txt";
constexpr char kPartial[] = ".tmp";

NativePath OwnPath() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  return length > 0 ? NativePath(self, static_cast<std::size_t>(length)) : NativePath();
}

std::vector<std::string> Arguments(int argc, char** argv) { return {argv, argv + argc}; }

std::FILE* OpenForWriting(const NativePath& path) { return std::fopen(path.c_str(), "wb"); }

bool Replace(const NativePath& from, const NativePath& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

#endif

}  // namespace

int main(int argc, char** argv) {
  const NativePath path = OwnPath();
  const auto separator = path.find_last_of(kSeparators);
  const NativePath folder =
      separator == NativePath::npos ? NativePath(1, '.') : path.substr(0, separator);
  const NativePath target = folder + kRecord;
  const NativePath temporary = target + kPartial;
  std::FILE* out = OpenForWriting(temporary);
  if (out == nullptr) return 1;
  for (const std::string& argument : Arguments(argc, argv)) {
    std::fprintf(out, "%s\n", argument.c_str());
  }
  const bool written = std::fclose(out) == 0;
  // Whoever waits for the file sees it whole.
  return written && Replace(temporary, target) ? 0 : 1;
}
