#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/update_signature.h"
#include "base/value.h"
#include "db/database.h"
#include "platform/new_file.h"
#include "rules/loader_files.h"
#include "support/background_sha256.h"

namespace nurv {

// A file the loader creates new (nothing may stand at its name, not even a link) and fills through
// its one handle, folding the bytes into their CRC-32 (and, when asked, SHA-256) as they go by, so
// no check reads the file back and nobody can slip other bytes in between. The file is removed when
// the object ends without Keep(). Failures raise std::runtime_error with the platform's text.
class CheckedNewFile {
 public:
  CheckedNewFile(std::string path, bool with_sha256);
  ~CheckedNewFile();
  CheckedNewFile(const CheckedNewFile&) = delete;
  CheckedNewFile& operator=(const CheckedNewFile&) = delete;

  const std::string& path() const { return path_; }
  void Write(const std::uint8_t* data, std::size_t size);
  // The current record's BLOB `field`, streamed.
  void WriteBlob(db::Dataset& row, const std::string& field);
  // The whole of the regular file `source`, with its Unix mode where the platform has one.
  void CopyFrom(const std::string& source);
  // Gives the file the Unix mode of `source` where the platform has one.
  void TakeModeOf(const std::string& source);
  // Stamps the file with `stamp` (when given) and closes it.
  void Finish(const std::optional<DateTime>& stamp);
  // The file stays when the object ends.
  void Keep() { kept_ = true; }

  std::uint32_t crc32() const { return ~crc_; }
  std::uint64_t size() const { return size_; }
  // The SHA-256 of the bytes written (only when asked for at creation); call once.
  Sha256Digest sha256() { return sha256_ ? sha256_->Finish() : Sha256Digest{}; }

 private:
  std::string path_;
  platform::NewFile file_;
  std::optional<BackgroundSha256> sha256_;
  std::uint32_t crc_ = 0xFFFFFFFFu;
  std::uint64_t size_ = 0;
  bool kept_ = false;
};

// The current record's `fblob` as the file `path`, created new once whatever stood there is gone.
void SaveBlobAsNewFile(db::Dataset& row, const std::string& path);

// A new file prepared beside its destination, under its StagingPath, so that the destination is
// replaced by one rename once its bytes are verified. A leftover at the staging name (a link too)
// is removed itself, and the name is then created new; should anything stand there again, the
// staging fails rather than write through it.
class StagedFile : public CheckedNewFile {
 public:
  StagedFile(std::string destination, bool with_sha256);

  const std::string& destination() const { return destination_; }

  // Stamps the staged file with `stamp` (when given), closes it and renames it over the
  // destination. The platform's message when the destination stays as it was.
  [[nodiscard]] std::optional<std::string> Replace(const std::optional<DateTime>& stamp);

 private:
  std::string destination_;
};

}  // namespace nurv
