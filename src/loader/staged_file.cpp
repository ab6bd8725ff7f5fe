#include "loader/staged_file.h"

#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/crc32.h"
#include "platform/files.h"
#include "support/file_utils.h"
#include "support/owned_file.h"

namespace nurv {

namespace {

[[noreturn]] void Fail() { throw std::runtime_error(platform::LastErrorText()); }

// A leftover of an interrupted run is ours; it must not block the new write. Whatever it is, a
// link included, the name itself goes, never what it points to.
std::string ClearedStagingPath(const std::string& destination) {
  std::string path = StagingPath(destination);
  if (EntryExists(path)) RemoveEntry(path);
  return path;
}

}  // namespace

CheckedNewFile::CheckedNewFile(std::string path, bool with_sha256) : path_(std::move(path)) {
  if (!file_.Create(path_)) Fail();
  if (with_sha256) sha256_.emplace();
}

CheckedNewFile::~CheckedNewFile() {
  if (kept_) return;
  if (file_.IsOpen()) static_cast<void>(file_.Close());
  ForceDeleteFile(path_);
}

void CheckedNewFile::Write(const std::uint8_t* data, std::size_t size) {
  if (!file_.Write(data, size)) Fail();
  crc_ = Crc32UpdateBlock(crc_, data, size);
  size_ += size;
  if (sha256_) sha256_->Update(data, size);
}

void CheckedNewFile::WriteBlob(db::Dataset& row, const std::string& field) {
  row.ReadBlob(field, [this](const std::uint8_t* data, std::size_t size) { Write(data, size); });
}

void CheckedNewFile::CopyFrom(const std::string& source) {
  const OwnedFile from = OpenOwnedFile(source, FileAccess::Read);
  if (!from) Fail();
  std::vector<std::uint8_t> buffer(512 * 1024);
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), from.get()))
    Write(buffer.data(), n);
  if (std::ferror(from.get())) Fail();
  TakeModeOf(source);
}

void CheckedNewFile::TakeModeOf(const std::string& source) {
  if (!file_.CopyModeOf(source)) Fail();
}

void CheckedNewFile::Finish(const std::optional<DateTime>& stamp) {
  if (stamp && !file_.SetModifiedTime(*stamp)) Fail();
  if (!file_.Close()) Fail();
}

void SaveBlobAsNewFile(db::Dataset& row, const std::string& path) {
  RemoveEntry(path);
  CheckedNewFile file(path, false);
  file.WriteBlob(row, "fblob");
  file.Finish(std::nullopt);
  file.Keep();
}

StagedFile::StagedFile(std::string destination, bool with_sha256)
    : CheckedNewFile(ClearedStagingPath(destination), with_sha256),
      destination_(std::move(destination)) {}

std::optional<std::string> StagedFile::Replace(const std::optional<DateTime>& stamp) {
  try {
    Finish(stamp);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  if (!platform::RenameReplacing(path(), destination_)) return platform::LastErrorText();
  Keep();
  return std::nullopt;
}

}  // namespace nurv
