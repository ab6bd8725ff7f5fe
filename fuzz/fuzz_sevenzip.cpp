// Arbitrary bytes as a 7z archive, extracted with stored paths through the system's 7-Zip library:
// no crash, no leak, and nothing written outside the destination folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "support/sevenzip_archive.h"

namespace {

namespace fs = std::filesystem;

struct Setup {
  std::unique_ptr<nurv::SevenZipArchive> zip;
  fs::path root;
  fs::path archive;
  fs::path out;
};

Setup& State() {
  static Setup setup = [] {
    Setup s;
    s.root = fs::temp_directory_path() / ("nurv-fuzz-7z-" + std::to_string(::getpid()));
    fs::create_directories(s.root);
    s.archive = s.root / "input.7z";
    s.out = s.root / "out";
    try {
      s.zip =
          std::make_unique<nurv::SevenZipArchive>(std::vector<std::string>{"/usr/lib/p7zip/7z.so"});
    } catch (const nurv::SevenZipLoadError&) {
    }
    return s;
  }();
  return setup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Setup& s = State();
  if (!s.zip) return 0;
  std::FILE* file = std::fopen(s.archive.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  fs::create_directories(s.out);

  s.zip->ArchivePath = s.archive.string();
  s.zip->ExtractFolder = s.out.string();
  s.zip->ExtractOptions = static_cast<unsigned>(nurv::ExtractOption::ExtractOverwrite);
  s.zip->ItemIndexes.clear();
  s.zip->Extract(size % 2 == 1);

  // Only the archive and the destination folder may exist beside each other.
  for (const auto& entry : fs::directory_iterator(s.root)) {
    if (entry.path() != s.archive && entry.path() != s.out) std::abort();
  }
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(s.out, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(s.out, ignored);
  return 0;
}
