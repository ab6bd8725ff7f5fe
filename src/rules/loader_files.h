#pragma once
#include <span>
#include <string>
#include <string_view>

// The names of the loader's own files: its programs, which no row may replace, and its staging
// files, which no row may be named like. The loader keeps to them; the publisher refuses rows
// that break them before they reach a workstation.
namespace nurv {

// The names the loader's programs go by in the program folder, where no row may write.
std::span<const std::string_view> LoaderFileNames();

// Names beginning with this are the loader's staging files; no update row may carry one.
inline constexpr std::string_view kStagingPrefix = ".~nurv";

// The file-name part of a path (after the last separator; on Windows also after a drive's ":").
std::string FileNameOf(const std::string& path);

// The staging file of `destination`, in its folder: kStagingPrefix + "-" + the CRC-32 of the
// file name in 8 hex digits + ".tmp". Short whatever the name, and the same in every run, so a
// leftover of a killed run is found again.
std::string StagingPath(const std::string& destination);

}  // namespace nurv
