#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/four_part_version.h"

namespace nurv {

struct FileVersions {
  FourPartVersion product;
  FourPartVersion file;
};

// The fixed file information of a VS_VERSIONINFO block (as stored in a version resource).
// nullopt when the block is malformed or truncated or lacks the 0xFEEF04BD signature.
std::optional<FileVersions> ParseVersionInfoBlock(std::string_view block);

// The VS_VERSIONINFO block of a PE image (PE32 or PE32+): the first name and first language of
// the RT_VERSION resource. nullopt when the image is not a PE file or has no such resource;
// every offset is checked, so hostile input gives nullopt.
std::optional<std::string_view> FindPeVersionBlock(std::string_view image);

// The contents of the ELF section ".nurv_version" (ELF32/ELF64, either byte order), the Linux
// stand-in for the version resource of executables that must run here.
std::optional<std::string_view> FindElfVersionSection(std::string_view image);

// The versions of a PE image or of an ELF image carrying ".nurv_version".
std::optional<FileVersions> ReadImageVersions(std::string_view image);

// A VS_VERSIONINFO block laid out as Windows resource compilers write it (fixed file information,
// StringFileInfo 040904B0 with FileVersion and ProductVersion, VarFileInfo translation).
std::string BuildVersionInfoBlock(const FileVersions& versions);

}  // namespace nurv
