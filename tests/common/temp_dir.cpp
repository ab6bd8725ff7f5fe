#include "common/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace nurv::testing {

namespace fs = std::filesystem;

fs::path Utf8Path(const std::string& path) {
  return fs::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8Text(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("nurv-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) {
      path_ = Utf8Text(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary test folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only files and folders left by a test must not keep the folder alive.
  for (auto it = fs::recursive_directory_iterator(Utf8Path(path_), ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(Utf8Path(path_), ignored);
}

std::string TempDir::Sub(const std::string& relative) const {
  return Utf8Text(Utf8Path(path_) / Utf8Path(relative));
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace nurv::testing
