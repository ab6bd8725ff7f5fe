#pragma once
// A C stream that closes itself, opened by a UTF-8 path on every platform.
#include <cstdio>
#include <memory>
#include <string>

namespace nurv {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

enum class FileAccess {
  Read,   // an existing file, others may read and write it meanwhile
  Write,  // created, or emptied when it exists; on POSIX never through a link at its name
};

// The file at `path`, unbuffered: its callers move large blocks, which stdio's buffer would only
// copy once more. Empty when it cannot be opened; errno (on Windows also _doserrno) says why.
OwnedFile OpenOwnedFile(const std::string& path, FileAccess access);

}  // namespace nurv
