#pragma once
// Extraction of 7z archives through 7-Zip's own library, loaded at run time.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace nurv {

enum class ExtractOption : unsigned { ExtractNoPath = 1, ExtractOverwrite = 2 };

class SevenZipLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Name of the library on this platform: "7za.dll" on Windows, "7z.so" elsewhere.
const char* SevenZipLibraryName();

// "Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not found", naming the
// platform's library in both places.
std::string SevenZipLoadErrorText();

// Where the library is looked for, by full path and in order: the program's own folder,
// `system_folder`, `temp_folder` (each left out when empty). Never by bare name: the system's
// search path may hold anybody's library first.
std::vector<std::string> SevenZipLibraryCandidates(const std::string& system_folder,
                                                   const std::string& temp_folder);
// The same with the system folder and the user's temporary folder.
std::vector<std::string> SevenZipLibraryCandidates();

// Codes of SevenZipArchive::ErrorCode.
inline constexpr std::int32_t kSzSuccess = 0;
inline constexpr std::int32_t kSzFileNotFound = 1;
inline constexpr std::int32_t kSzDataError = 2;
inline constexpr std::int32_t kSzCrcError = 3;
inline constexpr std::int32_t kSzUnsupportedMethod = 4;
inline constexpr std::int32_t kSzIndexOutOfRange = 5;
inline constexpr std::int32_t kSzNotSfxArchive = 7;
inline constexpr std::int32_t kSzCouldNotCreateFile = 11;

namespace sevenzip_detail {
struct Library;  // the loaded library and its handler objects
}

class SevenZipArchive {
 public:
  // Loads the library: the loader's own folder, then the system folder, then the user's
  // temporary folder (where the loader itself may deliver it). Throws
  // SevenZipLoadError(SevenZipLoadErrorText()) when no usable library is found.
  SevenZipArchive();
  // Tries exactly these paths or names, in order.
  explicit SevenZipArchive(const std::vector<std::string>& library_candidates);
  ~SevenZipArchive();
  SevenZipArchive(const SevenZipArchive&) = delete;
  SevenZipArchive& operator=(const SevenZipArchive&) = delete;

  unsigned ExtractOptions = 0;           // bit set of ExtractOption
  std::string ArchivePath;               // UTF-8 path of the archive
  std::string ExtractFolder;             // UTF-8 destination folder
  std::vector<std::string> ItemIndexes;  // item indexes in decimal; empty = all items
  std::string Password;
  std::int32_t ErrorCode = 0;
  std::int32_t SystemErrorCode = 0;  // errno / GetLastError of the last failed file creation
  // Set by Extract when the library's own check of an item's data failed (a data or CRC error):
  // that item's bytes are damaged whatever else vouches for them, and whatever later error
  // ErrorCode holds.
  bool DataCheckFailed = false;
  // Threads the library may decode with: 0 chooses per extraction (every core for a large one,
  // else 1); 1 keeps every call of the library on the calling thread. Whatever the setting,
  // OnSetExtractName runs on the calling thread.
  std::uint32_t DecoderThreads = 0;

  // Optional: may change the target name of the item with this index.
  std::function<void(std::uint32_t file_index, std::string& file_name)> OnSetExtractName;

  // Extracts the selected items (or tests them). -1 when the archive cannot be opened, an
  // entry of ItemIndexes is out of range, or an ".exe" archive holds no 7z signature; otherwise
  // the library's result (0 success; 1 when the component stopped it after the last
  // selected file).
  std::int32_t Extract(bool test_mode = false);

  // Tests only: called, on the library's thread of the call, by every callback and stream method
  // the library invokes; it must bear concurrent calls.
  std::function<void()> TestHookOnLibraryCall;

 private:
  std::unique_ptr<sevenzip_detail::Library> lib_;
};

}  // namespace nurv
