#include "support/sevenzip_archive.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <ctime>
#include <exception>
#include <optional>
#include <thread>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shared_library.h"
#include "platform/system_info.h"
#include "support/caller_thread_relay.h"
#include "support/sevenzip_abi.h"
#include "support/sevenzip_com.h"
#include "support/sevenzip_library.h"
#include "support/sevenzip_streams.h"

namespace nurv {

const char* SevenZipLibraryName() {
#ifdef _WIN32
  return "7za.dll";
#else
  return "7z.so";
#endif
}

std::string SevenZipLoadErrorText() {
  const std::string name = SevenZipLibraryName();
  return "Could not load CreateObject function from " + name + "\r\nPerhaps " + name + " not found";
}

namespace sevenzip_detail {

using namespace nurv::sz;

// The loaded library with its 7z handler. The module is declared first so that it is unloaded
// last, after every object obtained from it has been released.
struct Library {
  std::unique_ptr<platform::SharedLibrary> module;
  StringApi strings;
  ComPtr<IInArchive> archive;

  Library() = default;
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  NURV_SZ_FOREIGN_CALLS ~Library() {
    if (archive) archive->Close();
  }
  NURV_SZ_FOREIGN_CALLS void Close() const { archive->Close(); }

  // One property of an item; false when the library gives none. `value` must be cleared by
  // the caller (ClearValue) whatever the result.
  NURV_SZ_FOREIGN_CALLS bool Property(std::uint32_t index, PropId id, PropVariant& value) const {
    std::memset(&value, 0, sizeof value);
    return archive->GetProperty(index, id, &value) == kSOk && value.vt != kVtEmpty;
  }
  void ClearValue(PropVariant& value) const {
    if (value.vt != kVtEmpty) strings.Clear(&value);
  }

  std::string ItemPath(std::uint32_t index) const {
    PropVariant value;
    std::string path;
    if (Property(index, kpidPath, value) && value.vt == kVtBstr && value.bstrVal != nullptr) {
      path = FromLibraryText(value.bstrVal, BstrLength(value.bstrVal));
    }
    ClearValue(value);
    return path;
  }
  std::uint64_t ItemSize(std::uint32_t index) const {
    PropVariant value;
    std::uint64_t size = 0;
    if (Property(index, kpidSize, value)) {
      if (value.vt == kVtUi8) size = PropUInt64(value);
      if (value.vt == kVtUi4) size = value.ulVal;
    }
    ClearValue(value);
    return size;
  }
  std::uint32_t ItemAttributes(std::uint32_t index) const {
    PropVariant value;
    std::uint32_t attributes = 0;
    if (Property(index, kpidAttrib, value) && value.vt == kVtUi4) attributes = value.ulVal;
    ClearValue(value);
    // The high word may hold a Unix mode (kAttrUnixExtension says so); the writer applies it.
    return attributes;
  }
  bool ItemIsDir(std::uint32_t index) const {
    PropVariant value;
    bool is_dir = false;
    if (Property(index, kpidIsDir, value) && value.vt == kVtBool) is_dir = value.boolVal != 0;
    ClearValue(value);
    return is_dir;
  }
  std::optional<std::uint64_t> ItemModified(std::uint32_t index) const {
    PropVariant value;
    std::optional<std::uint64_t> filetime;
    if (Property(index, kpidMTime, value) && value.vt == kVtFiletime) {
      filetime =
          (std::uint64_t{value.filetime.dwHighDateTime} << 32) | value.filetime.dwLowDateTime;
    }
    ClearValue(value);
    return filetime;
  }
};

}  // namespace sevenzip_detail

namespace {

using namespace nurv::sz;
using sevenzip_detail::Library;

// A usable library at `candidate`, or nullptr.
NURV_SZ_FOREIGN_CALLS std::unique_ptr<Library> TryLoad(const std::string& candidate) {
  auto loaded = OpenSevenZipModule(candidate);
  if (!loaded) return nullptr;
  auto lib = std::make_unique<Library>();
  lib->module = std::move(loaded->module);
  lib->strings = loaded->strings;
  void* handler = nullptr;
  if (loaded->create_object(&kClsid7zHandler, &kIidIInArchive, &handler) != kSOk ||
      handler == nullptr) {
    return nullptr;
  }
  lib->archive = ComPtr<IInArchive>(static_cast<IInArchive*>(handler));
  return lib;
}

bool IsSeparator(char c) { return c == '/' || c == platform::kPathDelim; }

std::string ParentFolder(const std::string& path) {
  std::size_t end = path.size();
  while (end > 0 && !IsSeparator(path[end - 1])) --end;
  while (end > 1 && IsSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

// Creates `folder` and its missing parents. A created folder gets `attributes`, but never
// read-only: on POSIX that would bar the items meant to go into it.
bool ForceDirectories(std::string folder, std::uint32_t attributes) {
  if (folder.size() > 1 && IsSeparator(folder.back())) folder.pop_back();
  if (folder.empty() || platform::DirectoryExists(folder)) return true;
  const std::string parent = ParentFolder(folder);
  if (parent == folder) return false;  // a root that does not exist
  if (!parent.empty() && !ForceDirectories(parent, 0)) return false;
  if (!platform::CreateFolder(folder) && !platform::DirectoryExists(folder)) return false;
  attributes &= ~(platform::kAttrReadOnly | platform::kAttrDirectory);
  if (attributes != 0) platform::WriteAttributes(folder, attributes);
  return true;
}

// The item's name below the destination folder, or nullopt when the stored path would lead out
// of it ("..", a drive or stream name).
std::optional<std::string> RelativeTarget(const std::string& stored, bool no_path) {
  auto is_part_end = [](char c) { return c == '/' || c == '\\' || c == ':'; };
  if (no_path) {
    std::size_t start = stored.size();
    while (start > 0 && !is_part_end(stored[start - 1])) --start;
    return stored.substr(start);
  }
  std::string relative;
  std::size_t i = 0;
  while (i <= stored.size()) {
    std::size_t end = i;
    while (end < stored.size() && stored[end] != '/' && stored[end] != '\\') ++end;
    const std::string part = stored.substr(i, end - i);
    if (part == ".." || part.find(':') != std::string::npos) return std::nullopt;
    if (!part.empty() && part != ".") {
      if (!relative.empty()) relative.push_back(platform::kPathDelim);
      relative += part;
    }
    i = end + 1;
  }
  return relative;
}

// The item's UTC time as local time at the 2-second resolution of a packed DOS date-time.
std::optional<DateTime> LocalDosTime(std::uint64_t filetime) {
  constexpr std::int64_t kUnixEpoch = 116444736000000000;  // 1970-01-01 in 100 ns since 1601
  const std::int64_t ticks = static_cast<std::int64_t>(filetime) - kUnixEpoch;
  std::int64_t whole_seconds = ticks / 10000000;
  if (ticks % 10000000 < 0) --whole_seconds;
  const auto utc = static_cast<std::time_t>(whole_seconds);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &utc) != 0) return std::nullopt;
#else
  if (localtime_r(&utc, &local) == nullptr) return std::nullopt;
#endif
  using namespace std::chrono;
  const local_days date{year{local.tm_year + 1900} /
                        month{static_cast<unsigned>(local.tm_mon + 1)} /
                        day{static_cast<unsigned>(local.tm_mday)}};
  return time_point_cast<milliseconds>(date + hours{local.tm_hour} + minutes{local.tm_min} +
                                       seconds{local.tm_sec & ~1});
}

std::optional<std::uint32_t> ParseIndex(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  std::size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) return std::nullopt;
  std::int64_t value = 0;
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  if (*first == '+') ++first;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || value < 0 || value > 0xFFFFFFFE) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// What the callbacks share with the component during one Extract.
struct ExtractContext {
  SevenZipArchive& owner;
  const Library& lib;
  // When the library decodes on its own threads, the work of every callback is handed to the
  // caller's thread: the renaming event and the component's state stay on that thread.
  CallerThreadRelay relay;
  std::exception_ptr failure;  // an event that threw; rethrown once the library has returned
  // The error of an item's stream, which the library may release on one of its threads.
  std::atomic<std::int32_t> write_error{0};

  ExtractContext(SevenZipArchive& owner_, const Library& lib_) : owner(owner_), lib(lib_) {}

  void TakeWriteError() {
    if (const std::int32_t error = write_error.exchange(0); error != 0) {
      owner.SystemErrorCode = error;
    }
  }
  // Runs `body` for a method the library called, on the caller's thread; no exception may cross
  // the library's frames.
  template <typename Body>
  HResult Guard(Body body) {
    std::exception_ptr hook_failure;
    try {
      if (owner.TestHookOnLibraryCall) owner.TestHookOnLibraryCall();
    } catch (...) {
      hook_failure = std::current_exception();
    }
    HResult result = kEAbort;
    relay.Call([&] {
      try {
        if (hook_failure) std::rethrow_exception(hook_failure);
        result = body();
      } catch (...) {
        if (!failure) failure = std::current_exception();
        result = kEAbort;
      }
    });
    return result;
  }
  HResult Password(Bstr* password) {
    return Guard([&] {
      if (password == nullptr) return kEInvalidArg;
      *password = nullptr;
      if (owner.Password.empty()) return kSFalse;
      const auto text = ToLibraryText(owner.Password);
      *password = lib.strings.Alloc(text.c_str());
      return *password != nullptr ? kSOk : kEFail;
    });
  }
};

class OpenCallback final
    : public ComObject<OpenCallback, IArchiveOpenCallback, ICryptoGetTextPassword> {
 public:
  explicit OpenCallback(ExtractContext& context) : context_(context) {}

  void* InterfaceFor(const Guid& iid) {
    if (iid == kIidIUnknown || iid == kIidIArchiveOpenCallback)
      return static_cast<IArchiveOpenCallback*>(this);
    if (iid == kIidICryptoGetTextPassword) return static_cast<ICryptoGetTextPassword*>(this);
    return nullptr;
  }
  HResult NURV_SZ_CALL SetTotal(const std::uint64_t*, const std::uint64_t*) override {
    return context_.Guard([] { return kSOk; });
  }
  HResult NURV_SZ_CALL SetCompleted(const std::uint64_t*, const std::uint64_t*) override {
    return context_.Guard([] { return kSOk; });
  }
  HResult NURV_SZ_CALL CryptoGetTextPassword(Bstr* password) override {
    return context_.Password(password);
  }

 private:
  friend ComObject;
  ~OpenCallback() = default;
  ExtractContext& context_;
};

class ExtractCallback final
    : public ComObject<ExtractCallback, IArchiveExtractCallback, ICryptoGetTextPassword> {
 public:
  ExtractCallback(ExtractContext& context, std::string destination, std::int64_t files_to_come)
      : context_(context), destination_(std::move(destination)), files_to_come_(files_to_come) {}

  void* InterfaceFor(const Guid& iid) {
    if (iid == kIidIUnknown || iid == kIidIProgress || iid == kIidIArchiveExtractCallback)
      return static_cast<IArchiveExtractCallback*>(this);
    if (iid == kIidICryptoGetTextPassword) return static_cast<ICryptoGetTextPassword*>(this);
    return nullptr;
  }

  HResult NURV_SZ_CALL SetTotal(std::uint64_t) override {
    return context_.Guard([] { return kSOk; });
  }

  HResult NURV_SZ_CALL SetCompleted(const std::uint64_t*) override {
    return context_.Guard([&] {
      // Once the last selected file is complete, the rest of a solid block is not decoded.
      if (done_) stopping_ = true;
      return done_ ? kSFalse : kSOk;
    });
  }

  HResult NURV_SZ_CALL GetStream(std::uint32_t index, ISequentialOutStream** out_stream,
                                 std::int32_t mode) override {
    return context_.Guard([&] {
      if (out_stream == nullptr) return kEInvalidArg;
      *out_stream = nullptr;
      return OpenTarget(index, out_stream, mode);
    });
  }

  HResult NURV_SZ_CALL PrepareOperation(std::int32_t) override {
    return context_.Guard([] { return kSOk; });
  }

  HResult NURV_SZ_CALL SetOperationResult(std::int32_t op_res) override {
    return context_.Guard([&] {
      context_.TakeWriteError();
      if (last_file_) done_ = true;
      // The library answers a refused stream by testing the item and calling it a data error;
      // the item's real condition (11) was reported already.
      if (creation_failed_) {
        creation_failed_ = false;
        return kSOk;
      }
      // A threaded library may still end the item it was decoding when asked to stop; that item
      // was cut short by the stop, which is reported already.
      if (stopping_) return kSOk;
      std::int32_t code = kSzSuccess;
      switch (op_res) {
        case kOpOk:
          break;
        case kOpUnsupportedMethod:
          code = kSzUnsupportedMethod;
          break;
        case kOpCrcError:
          code = kSzCrcError;
          break;
        default:  // data error, unexpected end, headers error, wrong password, …
          code = kSzDataError;
          break;
      }
      // A later good item must not hide an earlier failed one of the same call.
      if (code == kSzDataError || code == kSzCrcError) context_.owner.DataCheckFailed = true;
      if (code != kSzSuccess) {
        context_.owner.ErrorCode = code;
      }
      return kSOk;
    });
  }

  HResult NURV_SZ_CALL CryptoGetTextPassword(Bstr* password) override {
    return context_.Password(password);
  }

 private:
  friend ComObject;
  ~ExtractCallback() = default;

  HResult OpenTarget(std::uint32_t index, ISequentialOutStream** out_stream, std::int32_t mode) {
    SevenZipArchive& owner = context_.owner;
    const Library& lib = context_.lib;
    if (mode != kAskExtract) return kSOk;

    const std::string stored = lib.ItemPath(index);
    const std::uint32_t attributes = lib.ItemAttributes(index);
    const bool is_dir = lib.ItemIsDir(index) || (attributes & platform::kAttrDirectory) != 0;
    std::optional<DateTime> modified;
    if (const auto filetime = lib.ItemModified(index)) modified = LocalDosTime(*filetime);

    const auto no_path =
        (owner.ExtractOptions & static_cast<unsigned>(ExtractOption::ExtractNoPath)) != 0;
    const auto relative = RelativeTarget(stored, no_path);
    if (!relative) {
      // Never written outside the destination folder; the other items go on.
      owner.ErrorCode = kSzCouldNotCreateFile;
      return kSOk;
    }
    std::string target = destination_ + *relative;
    if (owner.OnSetExtractName) owner.OnSetExtractName(index, target);

    const bool overwrite =
        (owner.ExtractOptions & static_cast<unsigned>(ExtractOption::ExtractOverwrite)) != 0;
    if (!overwrite && (platform::FileExists(target) || platform::DirectoryExists(target))) {
      return kSOk;
    }

    if (is_dir) {
      ForceDirectories(target, attributes & kWindowsAttributeBits);
      return kSOk;
    }
    if (--files_to_come_ == 0) last_file_ = true;
    ForceDirectories(ParentFolder(target), 0);
    std::int32_t error = 0;
    auto* writer = ItemWriteStream::Create(
        target, attributes, modified, &owner.TestHookOnLibraryCall, &context_.write_error, error);
    if (writer == nullptr) {
      owner.SystemErrorCode = error;
      owner.ErrorCode = kSzCouldNotCreateFile;
      creation_failed_ = true;
      return kSFalse;
    }
    *out_stream = writer;  // carries the creator's reference for the library
    return kSOk;
  }

  ExtractContext& context_;
  std::string destination_;
  std::int64_t files_to_come_;
  bool last_file_ = false;
  bool done_ = false;
  bool creation_failed_ = false;
  bool stopping_ = false;  // the library was asked to stop
};

// Tells the library how many threads it may decode with ("mt"; 1 keeps every call of it on the
// calling thread).
NURV_SZ_FOREIGN_CALLS void SetDecoderThreads(IInArchive* archive, std::uint32_t threads) {
  void* out = nullptr;
  if (archive->QueryInterface(kIidISetProperties, &out) != kSOk || out == nullptr) return;
  const ComPtr<ISetProperties> properties(static_cast<ISetProperties*>(out));
  static const WideChar kMt[] = {'m', 't', 0};
  const WideChar* names[] = {kMt};
  PropVariant value;
  std::memset(&value, 0, sizeof value);
  value.vt = kVtUi4;
  value.ulVal = threads;
  properties->SetProperties(names, &value, 1);
}

// Below this many bytes to unpack, a second decoding thread gains nothing measurable (an LZMA2
// stream that small seldom has a second block to decode beside the first), while our own thread
// and the hand-over of every callback to the caller's thread cost about half a millisecond.
constexpr std::uint64_t kThreadedMinimumBytes = 1u << 20;

// The threads the library may decode `bytes` with: the component's setting, else every core for
// a large enough extraction and one otherwise.
std::uint32_t DecoderThreadsFor(std::uint32_t setting, std::uint64_t bytes) {
  if (setting != 0) return setting;
  const std::uint32_t cores = std::max(1u, std::thread::hardware_concurrency());
  return bytes >= kThreadedMinimumBytes ? cores : 1;
}

std::string UpperExtension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t sep = path.find_last_of("/\\");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {};
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return ext;
}

}  // namespace

std::vector<std::string> SevenZipLibraryCandidates(const std::string& system_folder,
                                                   const std::string& temp_folder) {
  const std::string name = SevenZipLibraryName();
  std::vector<std::string> candidates;
  const auto add_in = [&](const std::string& folder) {
    if (!folder.empty()) candidates.push_back(folder + platform::kPathDelim + name);
  };
  try {
    const std::string own = platform::OwnExecutablePath();
    if (!own.empty()) add_in(ParentFolder(own));
  } catch (...) {
    // without its own folder the program looks in the others
  }
  add_in(system_folder);
  // The loader's "7z" stage delivers the library into the temporary folder.
  add_in(temp_folder);
  return candidates;
}

std::vector<std::string> SevenZipLibraryCandidates() {
  // A folder that cannot be told is not looked in.
  const auto folder = [](std::string (*tell)()) {
    try {
      return tell();
    } catch (...) {
      return std::string();
    }
  };
  return SevenZipLibraryCandidates(folder(platform::SystemFolder),
                                   folder(platform::UserTempFolder));
}

SevenZipArchive::SevenZipArchive() : SevenZipArchive(SevenZipLibraryCandidates()) {}

SevenZipArchive::SevenZipArchive(const std::vector<std::string>& library_candidates) {
  for (const std::string& candidate : library_candidates) {
    lib_ = TryLoad(candidate);
    if (lib_) return;
  }
  throw SevenZipLoadError(SevenZipLoadErrorText());
}

SevenZipArchive::~SevenZipArchive() = default;

namespace {

// The library's Extract of `indices` (all items when empty).
NURV_SZ_FOREIGN_CALLS HResult LibraryExtract(IInArchive* archive,
                                             const std::vector<std::uint32_t>& indices,
                                             bool test_mode, IArchiveExtractCallback* callback) {
  const std::int32_t test = test_mode ? 1 : 0;
  if (indices.empty()) return archive->Extract(nullptr, 0xFFFFFFFFu, test, callback);
  return archive->Extract(indices.data(), static_cast<std::uint32_t>(indices.size()), test,
                          callback);
}

// One extraction between Open and Close; the caller closes the archive.
NURV_SZ_FOREIGN_CALLS std::int32_t RunExtract(SevenZipArchive& self, const Library& lib,
                                              ExtractContext& context, bool test_mode) {
  IInArchive* archive = lib.archive.Get();
  std::uint64_t start = 0;
  if (UpperExtension(self.ArchivePath) == ".EXE") {
    const auto found = FindSfxArchiveStart(self.ArchivePath);
    if (!found) {
      self.ErrorCode = kSzNotSfxArchive;
      return -1;
    }
    start = *found;
  }

  std::int32_t open_error = 0;
  // The library keeps its own reference to the reader until Close.
  const ComPtr<ArchiveReadStream> reader(
      ArchiveReadStream::Open(self.ArchivePath, start, &self.TestHookOnLibraryCall, open_error));
  HResult opened = kEFail;
  if (reader) {
    const ComPtr<OpenCallback> open_callback(new OpenCallback(context));
    archive->Close();
    opened = archive->Open(reader.Get(), nullptr, open_callback.Get());
  }
  if (context.failure) return -1;
  if (opened != kSOk) {
    self.ErrorCode = kSzFileNotFound;
    return -1;
  }

  std::uint32_t count = 0;
  if (archive->GetNumberOfItems(&count) != kSOk) count = 0;
  std::vector<std::uint32_t> indices;
  indices.reserve(self.ItemIndexes.size());
  std::uint64_t total = 0;
  for (const std::string& entry : self.ItemIndexes) {
    const auto index = ParseIndex(entry);
    // The library itself does not check the range.
    if (!index || *index >= count) {
      self.ErrorCode = kSzIndexOutOfRange;
      return -1;
    }
    total += lib.ItemSize(*index);
    indices.push_back(*index);
  }
  // The library wants each index once, in ascending order.
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());

  std::string destination = self.ExtractFolder;
  if (!destination.empty() && !IsSeparator(destination.back())) {
    destination.push_back(platform::kPathDelim);
  }
  std::uint64_t to_unpack = total;
  if (indices.empty()) {
    for (std::uint32_t index = 0; index < count; ++index) to_unpack += lib.ItemSize(index);
  }
  const std::uint32_t threads = DecoderThreadsFor(self.DecoderThreads, to_unpack);
  SetDecoderThreads(archive, threads);
  const ComPtr<ExtractCallback> callback(new ExtractCallback(
      context, std::move(destination), static_cast<std::int64_t>(indices.size())));
  HResult extracted = kEFail;
  const auto extract = [&] {
    extracted = LibraryExtract(archive, indices, test_mode, callback.Get());
  };
  // The library's own threads call back while it runs; the caller's thread must be free to
  // carry out those calls, so the library is run from a thread of ours.
  if (threads > 1) {
    context.relay.Serve(extract);
  } else {
    extract();
  }
  context.TakeWriteError();
  return extracted;
}

}  // namespace

std::int32_t SevenZipArchive::Extract(bool test_mode) {
  ErrorCode = kSzSuccess;
  SystemErrorCode = 0;
  DataCheckFailed = false;
  ExtractContext context(*this, *lib_);
  std::int32_t result = -1;
  try {
    result = RunExtract(*this, *lib_, context, test_mode);
  } catch (...) {
    lib_->Close();
    throw;
  }
  lib_->Close();
  if (context.failure) std::rethrow_exception(context.failure);
  return result;
}

}  // namespace nurv
