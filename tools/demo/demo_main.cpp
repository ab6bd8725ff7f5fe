// Stand-in for the complex's main program nurv.exe: writes the arguments it was started with,
// one per line (its own path first), to nurv-launch.txt beside itself, and exits.
#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string folder = ".";
  if (length > 0) {
    const std::string path(self, static_cast<std::size_t>(length));
    folder = path.substr(0, path.find_last_of('/'));
  }
  const std::string target = folder + "/nurv-launch.txt";
  const std::string temporary = target + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) return 1;
  for (int i = 0; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
  const bool written = std::fclose(out) == 0;
  // Whoever waits for the file sees it whole.
  return written && std::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : 1;
}
