#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "base/value.h"

// File services with Windows semantics. On POSIX: read-only is the absence of every write
// permission bit, hidden is a name beginning with ".", system is never set, archive is reported
// for every regular file; setting hidden, system or archive has no effect there.
// As on Windows, deleting, copying or renaming over a read-only file fails ("Permission denied"),
// on POSIX for root too. Writing attributes, deleting and renaming over act on a link itself,
// never on what it points to (on POSIX a link has no mode: writing its attributes does nothing).
// On POSIX a file that other names share (a hard link) never has its mode changed through one
// name, and that name is replaced or removed as it is.
namespace nurv::platform {

inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
// Archivers set this bit when the high 16 bits of an item's attributes hold its Unix mode.
inline constexpr std::uint32_t kAttrUnixExtension = 0x8000;

// nullopt when the attributes cannot be read (missing path).
std::optional<std::uint32_t> ReadAttributes(const std::string& path);
bool WriteAttributes(const std::string& path, std::uint32_t attributes);
// Carries an archived Unix mode over to a file just written: its execute bits follow the stored
// ones and its read and write bits are never widened beyond those the file was created with.
// No effect on Windows, which has no such bits.
bool WriteUnixMode(const std::string& path, std::uint32_t mode);

// True when the path exists and is not a folder.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

bool RemoveFile(const std::string& path);
// Creates one folder level; false when it fails or the folder exists.
bool CreateFolder(const std::string& path);
bool CopyFileReplacing(const std::string& from, const std::string& to);
// Atomic replacement of `to` by `from` within one file system.
bool RenameReplacing(const std::string& from, const std::string& to);

// What tells one file from another whichever path reaches it (a link is followed): device and
// inode, on Windows volume and file index.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FileId&) const = default;
};
// nullopt for a missing path.
std::optional<FileId> ReadFileId(const std::string& path);

// Last modification time in local time; nullopt for a missing path.
std::optional<DateTime> ReadModifiedTime(const std::string& path);

// FileExists, ReadFileId and ReadModifiedTime of one path in as few look-ups as the platform
// allows (one on POSIX): a walk over thousands of files asks all three of each.
struct FileFacts {
  bool exists_as_file = false;
  std::optional<FileId> id;
  std::optional<DateTime> modified;
};
FileFacts ReadFileFacts(const std::string& path);
bool WriteModifiedTime(const std::string& path, DateTime local_time);

// The platform's message for the error of the last failed call of this thread.
std::string LastErrorText();

}  // namespace nurv::platform
