#include "platform/posix/reg_file_registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <unordered_map>

#include "base/utf8.h"
#include "platform/posix/reg_file.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/xdg_folders.h"

namespace nurv::platform {
namespace {

using regfile::Document;
using regfile::Key;
using regfile::ParseResult;
using regfile::ParseStatus;
using regfile::Value;

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

std::string ErrnoText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The whole file; nullopt when it does not exist. Other failures raise RegistryError.
std::optional<std::string> ReadWhole(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT) return std::nullopt;
    throw RegistryError(ErrnoText("cannot open " + path, errno));
  }
  std::string bytes;
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw RegistryError(ErrnoText("cannot read " + path, errno));
    }
    if (got == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      throw RegistryError(ErrnoText("cannot write " + path, errno));
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
}

// Creates `path` (which must not exist) with `bytes`, flushed to the disk.
void WriteNewFile(const std::string& path, std::string_view bytes, mode_t mode) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd) throw RegistryError(ErrnoText("cannot create " + path, errno));
  try {
    WriteAll(fd.Get(), bytes, path);
    if (::fsync(fd.Get()) != 0) throw RegistryError(ErrnoText("cannot flush " + path, errno));
    if (!fd.Close()) throw RegistryError(ErrnoText("cannot close " + path, errno));
  } catch (...) {
    ::unlink(path.c_str());
    throw;
  }
}

void SyncFolder(const std::string& folder) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.Get());
}

void Lock(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) throw RegistryError(ErrnoText("cannot lock the registry", errno));
  }
}

// "\SOFTWARE\NURVSQL" -> "HKEY_CURRENT_USER\SOFTWARE\NURVSQL"; nullopt for a path that a key
// line cannot hold.
std::optional<std::string> FullKeyPath(std::string_view key_path) {
  std::string full(kRoot);
  std::size_t pos = 0;
  while (pos < key_path.size()) {
    std::size_t next = key_path.find('\\', pos);
    if (next == std::string_view::npos) next = key_path.size();
    if (next > pos) {
      full += '\\';
      full += key_path.substr(pos, next - pos);
    }
    pos = next + 1;
  }
  if (full.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos ||
      !IsValidUtf8(full)) {
    return std::nullopt;
  }
  return full;
}

bool IsSameOrBelow(std::string_view path, std::string_view key) {
  if (path.size() < key.size()) return false;
  if (!regfile::NamesEqual(path.substr(0, key.size()), key)) return false;
  return path.size() == key.size() || path[key.size()] == '\\';
}

Key* FindKey(Document& document, std::string_view full) {
  for (Key& key : document.keys) {
    if (regfile::NamesEqual(key.path, full)) return &key;
  }
  return nullptr;
}

// A key exists when it has its own line or when a key below it does (as in the registry, where
// a sub-key cannot exist without its parent).
bool KeyExists(const Document& document, std::string_view full) {
  if (full == kRoot) return true;
  for (const Key& key : document.keys) {
    if (IsSameOrBelow(key.path, full)) return true;
  }
  return false;
}

// Adds the key's line after the last key of its nearest existing ancestor's tree, so that
// sub-keys stay beside their parent.
Key& AddKey(Document& document, const std::string& full) {
  std::string ancestor = full;
  std::size_t insert_at = document.keys.size();
  while (true) {
    const std::size_t slash = ancestor.rfind('\\');
    if (slash == std::string::npos) break;
    ancestor.resize(slash);
    bool found = false;
    for (std::size_t i = 0; i < document.keys.size(); ++i) {
      if (IsSameOrBelow(document.keys[i].path, ancestor)) {
        insert_at = i + 1;
        found = true;
      }
    }
    if (found) break;
  }
  return *document.keys.insert(document.keys.begin() + static_cast<std::ptrdiff_t>(insert_at),
                               Key{full, {}});
}

class FileStore {
 public:
  explicit FileStore(std::string path)
      : path_(std::move(path)), folder_(FolderOf(path_)), lock_path_(path_ + ".lock") {}

  // The store as it is now; a store that cannot be read at all reads as empty.
  ParseResult Read() const {
    if (batch_) return batch_->parsed;
    int lock_fd = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_fd < 0) lock_fd = ::open(lock_path_.c_str(), O_RDONLY | O_CLOEXEC);
    const UniqueFd lock(lock_fd);
    // Without a lock file (no folder yet, read-only folder) nobody can be writing through us.
    if (lock) Lock(lock.Get(), LOCK_SH);
    std::optional<std::string> bytes;
    try {
      bytes = ReadWhole(path_);
    } catch (const RegistryError&) {
      ParseResult unreadable;
      unreadable.status = ParseStatus::Unreadable;
      return unreadable;
    }
    return bytes ? regfile::Parse(*bytes) : ParseResult{};
  }

  // Read-modify-write under the exclusive lock (within a batch, of the batch's document).
  // `change` returns whether it changed the document; an unchanged document is not written.
  // Returns the document as it now stands.
  Document Modify(const std::function<bool(Document&)>& change) {
    if (batch_) {
      if (change(batch_->parsed.document)) batch_->changed = true;
      return batch_->parsed.document;
    }
    Pending pending = Begin();
    if (change(pending.parsed.document)) Commit(pending);
    return std::move(pending.parsed.document);
  }

  void Batch(const std::function<void()>& writes) {
    if (batch_) {
      writes();  // part of the batch already open
      return;
    }
    try {
      batch_.emplace(Begin());
    } catch (const RegistryError&) {
      // A store that cannot even be locked refuses every write: each is then tried, and reported
      // by its writer, on its own.
      writes();
      return;
    }
    // Raised or not, the lock is released when the batch ends; what a raising batch did is lost.
    struct EndOfBatch {
      std::optional<Pending>& batch;
      ~EndOfBatch() { batch.reset(); }
    } end_of_batch{batch_};
    writes();
    if (batch_->changed) Commit(*batch_);
  }

 private:
  static constexpr std::string_view kTemporaryMark = ".tmp-";

  // Under the exclusive lock no writer is between its temporary file and its rename, so any
  // temporary file left here belongs to a writer that died.
  void RemoveStaleTemporaries() const {
    DIR* dir = ::opendir(folder_.c_str());
    if (dir == nullptr) return;
    const std::string prefix = BaseName(path_) + std::string(kTemporaryMark);
    while (const dirent* entry = ::readdir(dir)) {
      if (std::string_view(entry->d_name).starts_with(prefix)) {
        ::unlink((folder_ + "/" + entry->d_name).c_str());
      }
    }
    ::closedir(dir);
  }

  // What this store cannot understand may be another program's setting: it is kept beside the
  // store before the first rewrite drops it.
  void KeepBrokenCopy(const std::string& bytes, mode_t mode) const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = path_ + ".broken-" + stamp;
    std::string copy = base;
    for (int n = 2; ::access(copy.c_str(), F_OK) == 0; ++n) copy = base + "-" + std::to_string(n);
    WriteNewFile(copy, bytes, mode);
  }

  // A modification under way: the exclusive lock and the store as read under it.
  struct Pending {
    UniqueFd lock;
    std::optional<std::string> bytes;
    ParseResult parsed;
    bool changed = false;
  };

  Pending Begin() const {
    MakePrivateFolders(folder_);
    UniqueFd lock(::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) throw RegistryError(ErrnoText("cannot open " + lock_path_, errno));
    Lock(lock.Get(), LOCK_EX);
    RemoveStaleTemporaries();
    Pending pending{std::move(lock), ReadWhole(path_), {}, false};
    if (pending.bytes) pending.parsed = regfile::Parse(*pending.bytes);
    return pending;
  }

  // Replaces the file by the pending document in one rename.
  void Commit(const Pending& pending) const {
    mode_t mode = 0600;
    struct stat info {};
    if (pending.bytes && ::stat(path_.c_str(), &info) == 0) mode = info.st_mode & 0777;
    if (pending.bytes && pending.parsed.status != ParseStatus::Ok)
      KeepBrokenCopy(*pending.bytes, mode);

    const std::string temporary = path_ + std::string(kTemporaryMark) + std::to_string(::getpid());
    WriteNewFile(temporary, regfile::Write(pending.parsed.document), mode);
    if (::rename(temporary.c_str(), path_.c_str()) != 0) {
      const int error = errno;
      ::unlink(temporary.c_str());
      throw RegistryError(ErrnoText("cannot replace " + path_, error));
    }
    SyncFolder(folder_);
  }

  std::string path_;
  std::string folder_;
  std::string lock_path_;
  std::optional<Pending> batch_;
};

RegValue ToRegValue(const Value& value) {
  RegValue out;
  switch (value.form) {
    case Value::Form::String:
      out.type = RegType::Sz;
      out.text = value.text;
      break;
    case Value::Form::Dword:
      out.type = RegType::Dword;
      out.number = value.number;
      break;
    case Value::Form::Hex:
      out.type = static_cast<RegType>(value.hex_type);
      if (out.type == RegType::Sz || out.type == RegType::ExpandSz) {
        out.text = regfile::Utf16LeToUtf8(value.bytes);
      } else if (out.type == RegType::Dword && value.bytes.size() == 4) {
        out.number = static_cast<std::uint32_t>(value.bytes[0]) |
                     static_cast<std::uint32_t>(value.bytes[1]) << 8 |
                     static_cast<std::uint32_t>(value.bytes[2]) << 16 |
                     static_cast<std::uint32_t>(value.bytes[3]) << 24;
      } else {
        out.raw = value.bytes;
      }
      break;
  }
  return out;
}

void CheckValueName(std::string_view name) {
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos ||
      !IsValidUtf8(name)) {
    throw RegistryError("invalid value name");
  }
}

class FileKey : public RegistryKey {
 public:
  FileKey(std::shared_ptr<FileStore> store, std::string full_path, std::vector<Value> values)
      : store_(std::move(store)), full_path_(std::move(full_path)) {
    SetValues(std::move(values));
  }

  std::optional<RegValue> Query(std::string_view name) override {
    const auto found = index_.find(regfile::FoldName(name));
    if (found == index_.end()) return std::nullopt;
    return ToRegValue(values_[found->second]);
  }

  void SetString(std::string_view name, std::string_view text) override {
    CheckValueName(name);
    Value value;
    value.name = name;
    if (text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
        IsValidUtf8(text)) {
      value.form = Value::Form::String;
      value.text = text;
    } else {
      // A quoted line cannot hold these; regedit keeps such a REG_SZ as hex(1) too.
      value.form = Value::Form::Hex;
      value.hex_type = static_cast<std::uint32_t>(RegType::Sz);
      value.bytes = regfile::Utf8ToUtf16Le(text);
    }
    Store(std::move(value));
  }

  void SetDword(std::string_view name, std::uint32_t number) override {
    CheckValueName(name);
    Value value;
    value.name = name;
    value.form = Value::Form::Dword;
    value.number = number;
    Store(std::move(value));
  }

  void DeleteValue(std::string_view name) override {
    Refresh(store_->Modify([&](Document& document) {
      Key* key = FindKey(document, full_path_);
      if (key == nullptr) return false;
      for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (regfile::NamesEqual(it->name, name)) {
          key->values.erase(it);
          return true;
        }
      }
      return false;
    }));
  }

 private:
  void Store(Value value) {
    Refresh(store_->Modify([&](Document& document) {
      Key* key = FindKey(document, full_path_);
      // Another process may have removed the key since it was opened; the value is not lost.
      if (key == nullptr) key = &AddKey(document, full_path_);
      for (Value& existing : key->values) {
        if (regfile::NamesEqual(existing.name, value.name)) {
          value.name = existing.name;  // the stored spelling of the name stays
          if (existing == value) return false;
          existing = value;
          return true;
        }
      }
      key->values.push_back(value);
      return true;
    }));
  }

  void Refresh(Document document) {
    Key* key = FindKey(document, full_path_);
    SetValues(key != nullptr ? std::move(key->values) : std::vector<Value>{});
  }

  // The chooser queries hundreds of numbered values of one key: looked up by folded name.
  void SetValues(std::vector<Value> values) {
    values_ = std::move(values);
    index_.clear();
    for (std::size_t i = 0; i < values_.size(); ++i) {
      index_.try_emplace(regfile::FoldName(values_[i].name), i);
    }
  }

  std::shared_ptr<FileStore> store_;
  std::string full_path_;
  std::vector<Value> values_;
  std::unordered_map<std::string, std::size_t> index_;
};

class FileRegistry : public Registry {
 public:
  explicit FileRegistry(const std::string& path) : store_(std::make_shared<FileStore>(path)) {}

  std::unique_ptr<RegistryKey> Open(std::string_view key_path) override {
    const std::optional<std::string> full = FullKeyPath(key_path);
    if (!full) return nullptr;
    ParseResult parsed = store_->Read();
    if (!KeyExists(parsed.document, *full)) return nullptr;
    Key* key = FindKey(parsed.document, *full);
    return std::make_unique<FileKey>(
        store_, *full, key != nullptr ? std::move(key->values) : std::vector<Value>{});
  }

  void Batch(const std::function<void()>& writes) override { store_->Batch(writes); }

  std::unique_ptr<RegistryKey> Create(std::string_view key_path) override {
    const std::optional<std::string> full = FullKeyPath(key_path);
    if (!full) throw RegistryError("invalid key path");
    Document document = store_->Modify([&](Document& doc) {
      if (KeyExists(doc, *full)) return false;
      AddKey(doc, *full);
      return true;
    });
    Key* key = FindKey(document, *full);
    return std::make_unique<FileKey>(
        store_, *full, key != nullptr ? std::move(key->values) : std::vector<Value>{});
  }

 private:
  std::shared_ptr<FileStore> store_;
};

}  // namespace

void MakePrivateFolders(const std::string& folder) {
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = folder.find('/', pos + 1);
    partial = folder.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      throw RegistryError(ErrnoText("cannot create folder " + partial, errno));
    }
  }
}

std::unique_ptr<Registry> OpenRegistryFile(const std::string& path) {
  return std::make_unique<FileRegistry>(path);
}

std::string CurrentUserRegistryPath() {
  return XdgBaseFolder("XDG_CONFIG_HOME", ".config") + "/nurv/registry.reg";
}

std::unique_ptr<Registry> OpenCurrentUserRegistry() {
  return OpenRegistryFile(CurrentUserRegistryPath());
}

}  // namespace nurv::platform
