#include "support/owned_file.h"

#include <cerrno>
#include <cstdlib>

#include "base/utf8.h"

namespace nurv {

OwnedFile OpenOwnedFile(const std::string& path, FileAccess access) {
  errno = 0;
#ifdef _WIN32
  _doserrno = 0;
  const std::wstring wide = Utf8ToUtf16<wchar_t>(path);
  OwnedFile file(_wfopen(wide.c_str(), access == FileAccess::Write ? L"wb" : L"rb"));
#else
  OwnedFile file(std::fopen(path.c_str(), access == FileAccess::Write ? "wb" : "rb"));
#endif
  if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
  return file;
}

}  // namespace nurv
