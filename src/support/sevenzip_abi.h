#pragma once
// Our own declarations of the binary interface of 7-Zip's archive library (7za.dll, 7z.so):
// the COM-style interfaces it calls and implements, their identifiers, PROPVARIANT and BSTR.
// Only the layout matters; the names are ours. Most OS-specific lines are kept to this header.
#include <cstdint>
#include <cstring>
#include <string>

#ifdef _WIN32
// windows.h first: the OLE headers need its types.
#include <windows.h>

#include <oleauto.h>
#include <propidl.h>
#endif

#ifdef _WIN32
// 32-bit Windows: every interface method and export is __stdcall; x64 ignores the keyword.
#define NURV_SZ_CALL __stdcall
#else
#define NURV_SZ_CALL
#endif

// Calls into the library's objects go through our own declarations; the library's run-time type
// information names other classes, which UBSan's dynamic-type check would take for a bad cast.
#if defined(__clang__) || (defined(__GNUC__) && __GNUC__ >= 8)
#define NURV_SZ_FOREIGN_CALLS __attribute__((no_sanitize("vptr")))
#else
#define NURV_SZ_FOREIGN_CALLS
#endif

namespace nurv::sz {

using HResult = std::int32_t;
using PropId = std::uint32_t;
using VarType = std::uint16_t;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kENotImpl = static_cast<HResult>(0x80004001u);
inline constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
inline constexpr HResult kEAbort = static_cast<HResult>(0x80004004u);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
inline constexpr HResult kENegativeSeek = static_cast<HResult>(0x80070083u);

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16);

inline bool operator==(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, 16) == 0; }

// 23170F69-40C1-278A-0000-00gg00ss0000
constexpr Guid SevenZipIid(std::uint8_t group, std::uint8_t sub) {
  return Guid{0x23170F69, 0x40C1, 0x278A, {0, 0, 0, group, 0, sub, 0, 0}};
}

inline constexpr Guid kIidIUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidIProgress = SevenZipIid(0x00, 0x05);
inline constexpr Guid kIidISequentialInStream = SevenZipIid(0x03, 0x01);
inline constexpr Guid kIidISequentialOutStream = SevenZipIid(0x03, 0x02);
inline constexpr Guid kIidIInStream = SevenZipIid(0x03, 0x03);
inline constexpr Guid kIidIOutStream = SevenZipIid(0x03, 0x04);
inline constexpr Guid kIidIStreamGetSize = SevenZipIid(0x03, 0x06);
inline constexpr Guid kIidICryptoGetTextPassword = SevenZipIid(0x05, 0x10);
inline constexpr Guid kIidISetProperties = SevenZipIid(0x06, 0x03);
inline constexpr Guid kIidIArchiveOpenCallback = SevenZipIid(0x06, 0x10);
inline constexpr Guid kIidIArchiveExtractCallback = SevenZipIid(0x06, 0x20);
inline constexpr Guid kIidIInArchive = SevenZipIid(0x06, 0x60);
inline constexpr Guid kIidIArchiveUpdateCallback = SevenZipIid(0x06, 0x80);
inline constexpr Guid kIidIOutArchive = SevenZipIid(0x06, 0xA0);

// The 7z format handler: 23170F69-40C1-278A-1000-000110070000.
inline constexpr Guid kClsid7zHandler{
    0x23170F69, 0x40C1, 0x278A, {0x10, 0, 0, 0x01, 0x10, 0x07, 0, 0}};

// Item properties.
inline constexpr PropId kpidPath = 3;
inline constexpr PropId kpidIsDir = 6;
inline constexpr PropId kpidSize = 7;
inline constexpr PropId kpidAttrib = 9;
inline constexpr PropId kpidCTime = 10;
inline constexpr PropId kpidATime = 11;
inline constexpr PropId kpidMTime = 12;
inline constexpr PropId kpidIsAnti = 21;

// VARTYPE values.
inline constexpr VarType kVtEmpty = 0;
inline constexpr VarType kVtBstr = 8;
inline constexpr VarType kVtBool = 11;
inline constexpr VarType kVtUi4 = 19;
inline constexpr VarType kVtUi8 = 21;
inline constexpr VarType kVtFiletime = 64;

// Ask modes of GetStream / PrepareOperation.
inline constexpr std::int32_t kAskExtract = 0;
inline constexpr std::int32_t kAskTest = 1;

// Results of SetOperationResult.
inline constexpr std::int32_t kOpOk = 0;
inline constexpr std::int32_t kOpUnsupportedMethod = 1;
inline constexpr std::int32_t kOpDataError = 2;
inline constexpr std::int32_t kOpCrcError = 3;

// Seek origins.
inline constexpr std::uint32_t kSeekSet = 0;
inline constexpr std::uint32_t kSeekCur = 1;
inline constexpr std::uint32_t kSeekEnd = 2;

// Module property 0: the interface layout. 0 = IUnknown without a virtual destructor, which is
// the layout declared below.
inline constexpr PropId kModulePropInterfaceType = 0;
inline constexpr std::uint32_t kOurInterfaceType = 0;

#ifdef _WIN32
using PropVariant = ::PROPVARIANT;
using Bstr = ::BSTR;
using WideChar = ::OLECHAR;
inline std::uint64_t PropUInt64(const PropVariant& v) { return v.uhVal.QuadPart; }
inline void SetPropUInt64(PropVariant& v, std::uint64_t value) { v.uhVal.QuadPart = value; }
#else
using WideChar = wchar_t;
using Bstr = WideChar*;
struct FileTime {
  std::uint32_t dwLowDateTime;
  std::uint32_t dwHighDateTime;
};
struct PropVariant {
  VarType vt;
  std::uint16_t wReserved1;  // time precision with VT_FILETIME
  std::uint16_t wReserved2;
  std::uint16_t wReserved3;
  union {
    std::int16_t boolVal;
    std::uint32_t ulVal;
    std::uint64_t uhVal;
    std::int64_t hVal;
    FileTime filetime;
    Bstr bstrVal;
    std::int32_t scode;
  };
};
static_assert(sizeof(PropVariant) == 16);
inline std::uint64_t PropUInt64(const PropVariant& v) { return v.uhVal; }
inline void SetPropUInt64(PropVariant& v, std::uint64_t value) { v.uhVal = value; }
#endif

// Byte length of a BSTR, kept in the four bytes before its text on every platform.
inline std::size_t BstrLength(const WideChar* text) {
  if (text == nullptr) return 0;
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const char*>(text) - 4, 4);
  return bytes / sizeof(WideChar);
}

// Interfaces, slot by slot. No virtual destructors: the layout must match the library's.
struct IUnknown {
  virtual HResult NURV_SZ_CALL QueryInterface(const Guid& iid, void** out) = 0;
  virtual std::uint32_t NURV_SZ_CALL AddRef() = 0;
  virtual std::uint32_t NURV_SZ_CALL Release() = 0;
};

struct ISequentialInStream : IUnknown {
  virtual HResult NURV_SZ_CALL Read(void* data, std::uint32_t size,
                                    std::uint32_t* processed_size) = 0;
};

struct IInStream : ISequentialInStream {
  virtual HResult NURV_SZ_CALL Seek(std::int64_t offset, std::uint32_t origin,
                                    std::uint64_t* new_position) = 0;
};

struct IStreamGetSize : IUnknown {
  virtual HResult NURV_SZ_CALL GetSize(std::uint64_t* size) = 0;
};

struct ISequentialOutStream : IUnknown {
  virtual HResult NURV_SZ_CALL Write(const void* data, std::uint32_t size,
                                     std::uint32_t* processed_size) = 0;
};

struct IOutStream : ISequentialOutStream {
  virtual HResult NURV_SZ_CALL Seek(std::int64_t offset, std::uint32_t origin,
                                    std::uint64_t* new_position) = 0;
  virtual HResult NURV_SZ_CALL SetSize(std::uint64_t new_size) = 0;
};

struct IProgress : IUnknown {
  virtual HResult NURV_SZ_CALL SetTotal(std::uint64_t total) = 0;
  virtual HResult NURV_SZ_CALL SetCompleted(const std::uint64_t* complete_value) = 0;
};

struct IArchiveExtractCallback : IProgress {
  virtual HResult NURV_SZ_CALL GetStream(std::uint32_t index, ISequentialOutStream** out_stream,
                                         std::int32_t ask_extract_mode) = 0;
  virtual HResult NURV_SZ_CALL PrepareOperation(std::int32_t ask_extract_mode) = 0;
  virtual HResult NURV_SZ_CALL SetOperationResult(std::int32_t op_res) = 0;
};

struct IArchiveOpenCallback : IUnknown {
  virtual HResult NURV_SZ_CALL SetTotal(const std::uint64_t* files, const std::uint64_t* bytes) = 0;
  virtual HResult NURV_SZ_CALL SetCompleted(const std::uint64_t* files,
                                            const std::uint64_t* bytes) = 0;
};

struct ICryptoGetTextPassword : IUnknown {
  virtual HResult NURV_SZ_CALL CryptoGetTextPassword(Bstr* password) = 0;
};

struct IInArchive : IUnknown {
  virtual HResult NURV_SZ_CALL Open(IInStream* stream,
                                    const std::uint64_t* max_check_start_position,
                                    IArchiveOpenCallback* open_callback) = 0;
  virtual HResult NURV_SZ_CALL Close() = 0;
  virtual HResult NURV_SZ_CALL GetNumberOfItems(std::uint32_t* num_items) = 0;
  virtual HResult NURV_SZ_CALL GetProperty(std::uint32_t index, PropId prop_id,
                                           PropVariant* value) = 0;
  virtual HResult NURV_SZ_CALL Extract(const std::uint32_t* indices, std::uint32_t num_items,
                                       std::int32_t test_mode,
                                       IArchiveExtractCallback* callback) = 0;
  virtual HResult NURV_SZ_CALL GetArchiveProperty(PropId prop_id, PropVariant* value) = 0;
  virtual HResult NURV_SZ_CALL GetNumberOfProperties(std::uint32_t* num_props) = 0;
  virtual HResult NURV_SZ_CALL GetPropertyInfo(std::uint32_t index, Bstr* name, PropId* prop_id,
                                               VarType* var_type) = 0;
  virtual HResult NURV_SZ_CALL GetNumberOfArchiveProperties(std::uint32_t* num_props) = 0;
  virtual HResult NURV_SZ_CALL GetArchivePropertyInfo(std::uint32_t index, Bstr* name,
                                                      PropId* prop_id, VarType* var_type) = 0;
};

struct IArchiveUpdateCallback : IProgress {
  virtual HResult NURV_SZ_CALL GetUpdateItemInfo(std::uint32_t index, std::int32_t* new_data,
                                                 std::int32_t* new_props,
                                                 std::uint32_t* index_in_archive) = 0;
  virtual HResult NURV_SZ_CALL GetProperty(std::uint32_t index, PropId prop_id,
                                           PropVariant* value) = 0;
  virtual HResult NURV_SZ_CALL GetStream(std::uint32_t index, ISequentialInStream** in_stream) = 0;
  virtual HResult NURV_SZ_CALL SetOperationResult(std::int32_t operation_result) = 0;
};

struct IOutArchive : IUnknown {
  virtual HResult NURV_SZ_CALL UpdateItems(ISequentialOutStream* out_stream,
                                           std::uint32_t num_items,
                                           IArchiveUpdateCallback* callback) = 0;
  virtual HResult NURV_SZ_CALL GetFileTimeType(std::uint32_t* type) = 0;
};

struct ISetProperties : IUnknown {
  virtual HResult NURV_SZ_CALL SetProperties(const WideChar* const* names,
                                             const PropVariant* values,
                                             std::uint32_t num_props) = 0;
};

// Exports of the library.
using CreateObjectFunc = HResult(NURV_SZ_CALL*)(const Guid* clsid, const Guid* iid, void** out);
using GetModulePropFunc = HResult(NURV_SZ_CALL*)(PropId prop_id, PropVariant* value);

// The allocator of the strings and variants exchanged with the library: the library frees what
// we hand it and we free what it hands us, so both sides must use the same one. On Windows that
// is oleaut32; the Linux library brings its own and exports it.
class StringApi {
 public:
#ifdef _WIN32
  template <typename Lookup>
  bool Bind(Lookup) {
    return true;
  }
  Bstr Alloc(const WideChar* text) const { return ::SysAllocString(text); }
  void Clear(PropVariant* value) const { ::PropVariantClear(value); }
#else
  // `symbol` looks an export of the library up; false when one is missing.
  template <typename Lookup>
  bool Bind(Lookup symbol) {
    alloc_ = reinterpret_cast<AllocFunc>(symbol("SysAllocString"));
    clear_ = reinterpret_cast<ClearFunc>(symbol("VariantClear"));
    return alloc_ != nullptr && clear_ != nullptr;
  }
  Bstr Alloc(const WideChar* text) const { return alloc_(text); }
  void Clear(PropVariant* value) const { clear_(value); }

 private:
  using AllocFunc = Bstr (*)(const WideChar*);
  using ClearFunc = HResult (*)(PropVariant*);
  AllocFunc alloc_ = nullptr;
  ClearFunc clear_ = nullptr;
#endif
};

// UTF-16 code units, one per WideChar, as the library exchanges text on every platform.
std::basic_string<WideChar> ToLibraryText(const std::string& utf8);
// Text of a string from the library; surrogate pairs are joined, lone ones become U+FFFD.
std::string FromLibraryText(const WideChar* text, std::size_t length);

}  // namespace nurv::sz
