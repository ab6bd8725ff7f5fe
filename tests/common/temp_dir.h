#pragma once
#include <filesystem>
#include <string>

namespace nurv::testing {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, without a final separator.
  const std::string& path() const { return path_; }
  // path() + separator + relative.
  std::string Sub(const std::string& relative) const;

 private:
  std::string path_;
};

// Paths are UTF-8 like every text of the core; a narrow std::filesystem path would be read in the
// ANSI code page on Windows.
std::filesystem::path Utf8Path(const std::string& path);
std::string Utf8Text(const std::filesystem::path& path);

// Writes `bytes` to `path`, creating or replacing the file.
void WriteFile(const std::string& path, const std::string& bytes);
// The whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace nurv::testing
