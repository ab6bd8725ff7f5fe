#include "support/sevenzip_streams.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/utf8.h"
#include "platform/files.h"
#include "support/owned_file.h"

namespace nurv::sz {

std::basic_string<WideChar> ToLibraryText(const std::string& utf8) {
  return Utf8ToUtf16<WideChar>(utf8);
}

std::string FromLibraryText(const WideChar* text, std::size_t length) {
  return Utf16ToUtf8(text, length);
}

namespace {

#ifdef _WIN32
constexpr std::int32_t kAccessDenied = 5;  // ERROR_ACCESS_DENIED

bool SeekFile(std::FILE* file, std::uint64_t position) {
  return _fseeki64(file, static_cast<long long>(position), SEEK_SET) == 0;
}
std::int64_t FileEnd(std::FILE* file) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return _ftelli64(file);
}
#else
constexpr std::int32_t kAccessDenied = EACCES;

bool SeekFile(std::FILE* file, std::uint64_t position) {
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}
std::int64_t FileEnd(std::FILE* file) {
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  return ftello(file);
}
#endif

// The new position of a Seek, or a negative-seek error.
HResult NewPosition(std::int64_t offset, std::uint32_t origin, std::uint64_t current,
                    std::uint64_t end, std::uint64_t& result) {
  std::uint64_t base = 0;
  switch (origin) {
    case kSeekSet:
      base = 0;
      break;
    case kSeekCur:
      base = current;
      break;
    case kSeekEnd:
      base = end;
      break;
    default:
      return kEInvalidArg;
  }
  if (offset < 0 && static_cast<std::uint64_t>(-(offset + 1)) + 1 > base) return kENegativeSeek;
  result = base + static_cast<std::uint64_t>(offset);
  return kSOk;
}

std::int32_t ErrorOr(std::int32_t fallback) {
  const std::int32_t error = LastFileError();
  return error != 0 ? error : fallback;
}

}  // namespace

std::int32_t LastFileError() {
#ifdef _WIN32
  if (_doserrno != 0) return static_cast<std::int32_t>(_doserrno);
#endif
  return errno;
}

std::optional<std::uint64_t> FindSfxArchiveStart(const std::string& path) {
  constexpr std::uint64_t kSkip = 65536;
  constexpr std::size_t kWindow = 81920;
  static constexpr unsigned char kSignature[6] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
  const OwnedFile file = OpenOwnedFile(path, FileAccess::Read);
  if (!file) return std::nullopt;
  std::string window(kWindow, '\0');
  std::size_t got = 0;
  if (SeekFile(file.get(), kSkip)) got = std::fread(window.data(), 1, window.size(), file.get());
  window.resize(got);
  const auto at = window.find(reinterpret_cast<const char*>(kSignature), 0, sizeof kSignature);
  if (at == std::string::npos) return std::nullopt;
  return kSkip + at;
}

// ---- reader ----

ArchiveReadStream* ArchiveReadStream::Open(const std::string& path, std::uint64_t start_offset,
                                           const CallHook* hook, std::int32_t& error) {
  OwnedFile file = OpenOwnedFile(path, FileAccess::Read);
  if (!file) {
    error = ErrorOr(EIO);
    return nullptr;
  }
  const std::int64_t length = FileEnd(file.get());
  if (length < 0) {
    error = ErrorOr(EIO);
    return nullptr;
  }
  return new ArchiveReadStream(std::move(file), static_cast<std::uint64_t>(length), start_offset,
                               hook);
}

void* ArchiveReadStream::InterfaceFor(const Guid& iid) {
  Hook();
  if (iid == kIidIUnknown || iid == kIidISequentialInStream || iid == kIidIInStream)
    return static_cast<IInStream*>(this);
  if (iid == kIidIStreamGetSize) return static_cast<IStreamGetSize*>(this);
  return nullptr;
}

HResult ArchiveReadStream::Read(void* data, std::uint32_t size, std::uint32_t* processed_size) {
  Hook();
  const std::lock_guard lock(mutex_);
  if (processed_size != nullptr) *processed_size = 0;
  if (size == 0 || position_ >= length_) return kSOk;
  if (!SeekFile(file_.get(), position_)) {
    last_error_ = ErrorOr(EIO);
    return kEFail;
  }
  const std::size_t got = std::fread(data, 1, size, file_.get());
  if (got == 0 && std::ferror(file_.get())) {
    // A failed read must not pass for the end of the archive.
    last_error_ = ErrorOr(EIO);
    std::clearerr(file_.get());
    return kEFail;
  }
  position_ += got;
  if (processed_size != nullptr) *processed_size = static_cast<std::uint32_t>(got);
  return kSOk;
}

HResult ArchiveReadStream::Seek(std::int64_t offset, std::uint32_t origin,
                                std::uint64_t* new_position) {
  Hook();
  const std::lock_guard lock(mutex_);
  // The end is the file's real length: the library measures the archive with Seek(0, END).
  std::uint64_t position = 0;
  const HResult result = NewPosition(offset, origin, position_, length_, position);
  if (result != kSOk) return result;
  position_ = position;
  if (new_position != nullptr) *new_position = position_;
  return kSOk;
}

HResult ArchiveReadStream::GetSize(std::uint64_t* size) {
  Hook();
  if (size == nullptr) return kEInvalidArg;
  *size = length_;
  return kSOk;
}

// ---- writer ----

ItemWriteStream* ItemWriteStream::Create(const std::string& path, std::uint32_t attributes,
                                         std::optional<DateTime> modified, const CallHook* hook,
                                         std::atomic<std::int32_t>* report_error,
                                         std::int32_t& error) {
  if (platform::FileExists(path)) {
    const auto existing = platform::ReadAttributes(path);
    if (existing && (*existing & platform::kAttrReadOnly) != 0) {
      error = kAccessDenied;
      return nullptr;
    }
  }
  OwnedFile file = OpenOwnedFile(path, FileAccess::Write);
  if (!file) {
    error = ErrorOr(EIO);
    return nullptr;
  }
  if (modified && !platform::WriteModifiedTime(path, *modified)) {
    error = ErrorOr(EIO);
    return nullptr;
  }
  return new ItemWriteStream(std::move(file), path, attributes, modified, hook, report_error);
}

ItemWriteStream::~ItemWriteStream() {
  // Closed here, before the stamps, and checked: the last bytes may fail only now.
  if (std::fclose(file_.release()) != 0 && last_error_ == 0) last_error_ = ErrorOr(EIO);
  if (modified_) platform::WriteModifiedTime(path_, *modified_);
  if ((attributes_ & platform::kAttrUnixExtension) != 0) {
    platform::WriteUnixMode(path_, attributes_ >> 16);
  }
  constexpr std::uint32_t kApplied =
      platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;
  if ((attributes_ & kApplied) != 0) {
    platform::WriteAttributes(path_, attributes_ & kWindowsAttributeBits);
  }
  if (last_error_ != 0 && report_error_ != nullptr) report_error_->store(last_error_);
}

void* ItemWriteStream::InterfaceFor(const Guid& iid) {
  Hook();
  if (iid == kIidIUnknown || iid == kIidISequentialOutStream || iid == kIidIOutStream)
    return static_cast<IOutStream*>(this);
  return nullptr;
}

HResult ItemWriteStream::Write(const void* data, std::uint32_t size,
                               std::uint32_t* processed_size) {
  Hook();
  const std::lock_guard lock(mutex_);
  if (processed_size != nullptr) *processed_size = 0;
  if (size == 0) return kSOk;
  errno = 0;
  if (!SeekFile(file_.get(), position_) || std::fwrite(data, 1, size, file_.get()) != size) {
    // The library ends the item as a data error; the cause goes to SystemErrorCode on closing.
    last_error_ = ErrorOr(EIO);
    std::clearerr(file_.get());
    return kSFalse;
  }
  position_ += size;
  if (position_ > largest_) largest_ = position_;
  if (processed_size != nullptr) *processed_size = size;
  return kSOk;
}

HResult ItemWriteStream::Seek(std::int64_t offset, std::uint32_t origin,
                              std::uint64_t* new_position) {
  Hook();
  const std::lock_guard lock(mutex_);
  std::uint64_t position = 0;
  const HResult result = NewPosition(offset, origin, position_, largest_, position);
  if (result != kSOk) return result;
  position_ = position;
  if (new_position != nullptr) *new_position = position_;
  return kSOk;
}

HResult ItemWriteStream::SetSize(std::uint64_t) {
  Hook();
  return kSFalse;
}

}  // namespace nurv::sz
