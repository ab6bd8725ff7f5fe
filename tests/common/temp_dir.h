#pragma once
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

// Writes `bytes` to `path`, creating or replacing the file.
void WriteFile(const std::string& path, const std::string& bytes);
// The whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace nurv::testing
