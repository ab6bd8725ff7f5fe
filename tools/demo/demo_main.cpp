// Stand-in for the complex's main program nurv.exe: writes the arguments it was started with,
// one per line (its own path first), to nurv-launch.txt beside itself, and exits.
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <string>

namespace {

// The program's own path; empty when it cannot be told.
std::string OwnPath() {
  char self[4096];
#ifdef _WIN32
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  return length > 0 && length < sizeof self ? std::string(self, length) : std::string();
#else
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  return length > 0 ? std::string(self, static_cast<std::size_t>(length)) : std::string();
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = OwnPath();
  const auto separator = path.find_last_of("/\\");
  const std::string folder = separator == std::string::npos ? "." : path.substr(0, separator);
  const std::string target = folder + "/nurv-launch.txt";
  const std::string temporary = target + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) return 1;
  for (int i = 0; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
  const bool written = std::fclose(out) == 0;
  // Whoever waits for the file sees it whole.
  return written && std::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : 1;
}
