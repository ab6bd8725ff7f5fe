#include "support/owned_file.h"

#ifndef _WIN32
#include <fcntl.h>

#include "platform/posix/unique_fd.h"
#endif

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
  OwnedFile file;
  if (access == FileAccess::Write) {
    // A link at the name is never written through: the write would land wherever it points.
    platform::UniqueFd fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd) {
      file.reset(::fdopen(fd.Get(), "wb"));
      if (file) fd.Release();  // the stream owns it now
    }
  } else {
    file.reset(std::fopen(path.c_str(), "rb"));
  }
#endif
  if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
  return file;
}

}  // namespace nurv
