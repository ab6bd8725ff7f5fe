#pragma once
// The file streams that 7-Zip's library reads an archive from and writes unpacked items to.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "base/value.h"
#include "support/owned_file.h"
#include "support/sevenzip_abi.h"
#include "support/sevenzip_com.h"

namespace nurv::sz {

// Called by every method the library invokes on our objects (a test hook; may be empty).
using CallHook = std::function<void()>;

// The Windows part of an item's attributes; above it archivers may keep a Unix mode.
inline constexpr std::uint32_t kWindowsAttributeBits = 0x7FFF;

// The error code of the last failed file call of this thread (errno; on Windows the system's).
std::int32_t LastFileError();

// Start of the 7z archive inside a self-extracting executable: the first 7z signature in the
// 81920 bytes after the first 65536. nullopt when there is none (or the file cannot be read).
std::optional<std::uint64_t> FindSfxArchiveStart(const std::string& path);

// The archive file, read straight through (one positioning and one read per call). The library may
// call it from any of its threads.
class ArchiveReadStream final : public ComObject<ArchiveReadStream, IInStream, IStreamGetSize> {
 public:
  // nullptr when the file cannot be opened; `error` gets the system's code then.
  static ArchiveReadStream* Open(const std::string& path, std::uint64_t start_offset,
                                 const CallHook* hook, std::int32_t& error);

  void* InterfaceFor(const Guid& iid);
  HResult NURV_SZ_CALL Read(void* data, std::uint32_t size, std::uint32_t* processed_size) override;
  HResult NURV_SZ_CALL Seek(std::int64_t offset, std::uint32_t origin,
                            std::uint64_t* new_position) override;
  HResult NURV_SZ_CALL GetSize(std::uint64_t* size) override;

  std::int32_t last_error() const { return last_error_; }

 private:
  ArchiveReadStream(OwnedFile file, std::uint64_t length, std::uint64_t position,
                    const CallHook* hook)
      : file_(std::move(file)), length_(length), position_(position), hook_(hook) {}
  friend ComObject;
  ~ArchiveReadStream() = default;
  void Hook() const {
    if (hook_ && *hook_) (*hook_)();
  }

  std::mutex mutex_;  // the position and the file's own one move together
  OwnedFile file_;
  std::uint64_t length_;
  std::uint64_t position_;
  const CallHook* hook_;
  std::int32_t last_error_ = 0;
};

// One unpacked file, created (replacing an older one) and written straight through. Closing it
// stamps the item's time again, since writing moves the modification time on POSIX, and applies
// the item's attributes last so that a read-only item can still be written and stamped.
class ItemWriteStream final : public ComObject<ItemWriteStream, IOutStream> {
 public:
  // nullptr when the file cannot be created or stamped; `error` gets the system's code then. An
  // existing read-only file is refused as Windows refuses it, whoever runs the loader.
  // `report_error` receives a later write error when the stream is closed.
  static ItemWriteStream* Create(const std::string& path, std::uint32_t attributes,
                                 std::optional<DateTime> modified, const CallHook* hook,
                                 std::atomic<std::int32_t>* report_error, std::int32_t& error);

  void* InterfaceFor(const Guid& iid);
  HResult NURV_SZ_CALL Write(const void* data, std::uint32_t size,
                             std::uint32_t* processed_size) override;
  HResult NURV_SZ_CALL Seek(std::int64_t offset, std::uint32_t origin,
                            std::uint64_t* new_position) override;
  HResult NURV_SZ_CALL SetSize(std::uint64_t new_size) override;

 private:
  ItemWriteStream(OwnedFile file, std::string path, std::uint32_t attributes,
                  std::optional<DateTime> modified, const CallHook* hook,
                  std::atomic<std::int32_t>* report_error)
      : file_(std::move(file)),
        path_(std::move(path)),
        attributes_(attributes),
        modified_(modified),
        hook_(hook),
        report_error_(report_error) {}
  friend ComObject;
  ~ItemWriteStream();
  void Hook() const {
    if (hook_ && *hook_) (*hook_)();
  }

  std::mutex mutex_;  // the library may write from any of its threads, one after another
  OwnedFile file_;
  std::string path_;
  std::uint32_t attributes_;
  std::optional<DateTime> modified_;
  const CallHook* hook_;
  std::atomic<std::int32_t>* report_error_;
  std::uint64_t position_ = 0;
  std::uint64_t largest_ = 0;
  std::int32_t last_error_ = 0;
};

}  // namespace nurv::sz
