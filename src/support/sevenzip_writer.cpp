#include "support/sevenzip_writer.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "base/utf8.h"
#include "platform/files.h"
#include "support/sevenzip_abi.h"
#include "support/sevenzip_com.h"
#include "support/sevenzip_library.h"
#include "support/sevenzip_streams.h"

namespace nurv {

namespace {

using namespace nurv::sz;

// What the archive's only item carries over from its source file.
struct ItemFacts {
  std::string source;
  std::basic_string<WideChar> name;
  std::uint64_t size = 0;
  std::uint64_t modified_filetime = 0;  // UTC, 100 ns units since 1601
  std::uint32_t attributes = 0;
};

ItemFacts ReadItemFacts(const std::string& source, const std::string& item_name) {
  namespace fs = std::filesystem;
  const fs::path path = PathFromUtf8(source);
  std::error_code error;
  const auto status = fs::status(path, error);
  if (error || !fs::is_regular_file(status))
    throw std::runtime_error("Нет такого файла: " + source);
  ItemFacts facts;
  facts.source = source;
  facts.name = ToLibraryText(item_name);
  facts.size = fs::file_size(path);
  using namespace std::chrono;
  const auto since_unix =
      duration_cast<nanoseconds>(file_clock::to_sys(fs::last_write_time(path)).time_since_epoch());
  constexpr std::int64_t kUnixEpoch = 116444736000000000;  // 1970-01-01 in 100 ns since 1601
  facts.modified_filetime = static_cast<std::uint64_t>(since_unix.count() / 100 + kUnixEpoch);
  facts.attributes = platform::ReadAttributes(source).value_or(platform::kAttrArchive) &
                     kWindowsAttributeBits & ~platform::kAttrUnixExtension;
#ifndef _WIN32
  // The mode travels above the Windows bits, as archivers on POSIX store it: the loader gives
  // an unpacked program back its execute bits.
  constexpr std::uint32_t kRegularFile = 0100000;
  const auto mode = static_cast<std::uint32_t>(status.permissions()) & 07777;
  facts.attributes |= platform::kAttrUnixExtension | ((kRegularFile | mode) << 16);
#endif
  return facts;
}

class UpdateCallback final : public ComObject<UpdateCallback, IArchiveUpdateCallback> {
 public:
  UpdateCallback(const ItemFacts& item, const StringApi& strings)
      : item_(item), strings_(strings) {}

  void* InterfaceFor(const Guid& iid) {
    if (iid == kIidIUnknown || iid == kIidIProgress || iid == kIidIArchiveUpdateCallback)
      return static_cast<IArchiveUpdateCallback*>(this);
    return nullptr;
  }
  HResult NURV_SZ_CALL SetTotal(std::uint64_t) override { return kSOk; }
  HResult NURV_SZ_CALL SetCompleted(const std::uint64_t*) override { return kSOk; }

  HResult NURV_SZ_CALL GetUpdateItemInfo(std::uint32_t index, std::int32_t* new_data,
                                         std::int32_t* new_props,
                                         std::uint32_t* index_in_archive) override {
    if (index != 0) return kEInvalidArg;
    if (new_data != nullptr) *new_data = 1;
    if (new_props != nullptr) *new_props = 1;
    if (index_in_archive != nullptr) *index_in_archive = 0xFFFFFFFFu;
    return kSOk;
  }

  HResult NURV_SZ_CALL GetProperty(std::uint32_t index, PropId prop_id,
                                   PropVariant* value) override {
    if (index != 0 || value == nullptr) return kEInvalidArg;
    std::memset(value, 0, sizeof *value);
    switch (prop_id) {
      case kpidPath:
        value->bstrVal = strings_.Alloc(item_.name.c_str());
        if (value->bstrVal == nullptr) return kEFail;
        value->vt = kVtBstr;
        break;
      case kpidIsDir:
      case kpidIsAnti:
        value->vt = kVtBool;
        value->boolVal = 0;
        break;
      case kpidSize:
        value->vt = kVtUi8;
        SetPropUInt64(*value, item_.size);
        break;
      case kpidAttrib:
        value->vt = kVtUi4;
        value->ulVal = item_.attributes;
        break;
      case kpidMTime:
        value->vt = kVtFiletime;
        value->filetime.dwLowDateTime = static_cast<std::uint32_t>(item_.modified_filetime);
        value->filetime.dwHighDateTime = static_cast<std::uint32_t>(item_.modified_filetime >> 32);
        break;
      default:  // everything else the item does not have
        break;
    }
    return kSOk;
  }

  HResult NURV_SZ_CALL GetStream(std::uint32_t index, ISequentialInStream** in_stream) override {
    if (index != 0 || in_stream == nullptr) return kEInvalidArg;
    std::int32_t error = 0;
    ArchiveReadStream* stream = ArchiveReadStream::Open(item_.source, 0, nullptr, error);
    *in_stream = stream;
    if (stream == nullptr) {
      source_error_ = error;
      return kEFail;
    }
    return kSOk;
  }

  HResult NURV_SZ_CALL SetOperationResult(std::int32_t operation_result) override {
    result_ = operation_result;
    return kSOk;
  }

  std::int32_t result() const { return result_; }
  std::int32_t source_error() const { return source_error_; }

 private:
  friend ComObject;
  ~UpdateCallback() = default;
  const ItemFacts& item_;
  const StringApi& strings_;
  std::atomic<std::int32_t> result_{0};
  std::atomic<std::int32_t> source_error_{0};
};

// The archive's writing, with the handler released before the module is unloaded.
NURV_SZ_FOREIGN_CALLS void WriteArchive(const SevenZipModule& library, const ItemFacts& item,
                                        const std::string& archive_path) {
  void* handler = nullptr;
  if (library.create_object(&kClsid7zHandler, &kIidIOutArchive, &handler) != kSOk ||
      handler == nullptr)
    throw SevenZipLoadError(SevenZipLoadErrorText());
  ComPtr<IOutArchive> archive(static_cast<IOutArchive*>(handler));
  std::atomic<std::int32_t> write_error{0};
  std::int32_t create_error = 0;
  ComPtr<ItemWriteStream> out(
      ItemWriteStream::Create(archive_path, 0, std::nullopt, nullptr, &write_error, create_error));
  if (!out) {
    throw std::runtime_error("Невозможно создать архив " + archive_path + " (" +
                             std::to_string(create_error) + ")");
  }
  const ComPtr<UpdateCallback> callback(new UpdateCallback(item, library.strings));
  const HResult result = archive->UpdateItems(out.Get(), 1, callback.Get());
  // The output file is closed when its last reference goes.
  out.Reset();
  archive.Reset();
  const std::int32_t operation = callback->result();
  const std::int32_t source_error = callback->source_error();
  if (result != kSOk || operation != kOpOk || write_error != 0 || source_error != 0) {
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(archive_path), ignored);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    throw std::runtime_error("Архив " + archive_path + " не создан: " + code +
                             (source_error != 0 ? ", файл " + item.source + " не прочитан" : "") +
                             (write_error != 0 ? ", ошибка записи архива" : ""));
  }
}

}  // namespace

void CreateSingleItemArchive(const std::string& archive_path, const std::string& source_path,
                             const std::string& item_name,
                             const std::vector<std::string>& library_candidates) {
  const ItemFacts item = ReadItemFacts(source_path, item_name);
  for (const std::string& candidate : library_candidates) {
    if (auto library = OpenSevenZipModule(candidate)) {
      WriteArchive(*library, item, archive_path);
      return;
    }
  }
  throw SevenZipLoadError(SevenZipLoadErrorText());
}

}  // namespace nurv
