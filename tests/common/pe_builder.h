#pragma once
#include <string>

#include "platform/version_info.h"

namespace nurv::testing {

// A VS_VERSIONINFO block laid out as Windows resource compilers write it: the fixed file
// information, then (when `with_strings`) a StringFileInfo table (040904B0) with FileVersion and
// ProductVersion texts, and a VarFileInfo translation.
std::string BuildVersionInfoBlock(const FourPartVersion& product, const FourPartVersion& file,
                                  bool with_strings = true);

// A minimal well-formed PE image (PE32, or PE32+ when `pe32_plus`) with one .rsrc section
// holding that block as resource RT_VERSION / 1 / 0x0409.
std::string BuildPeFile(const FourPartVersion& product, const FourPartVersion& file,
                        bool pe32_plus = false);

// Gives the program at `program_path` the block where the loader of this platform reads it:
// POSIX, a ".nurv_version" section of the ELF file (through objcopy, on a copy that then replaces
// the file; the file's mode is kept); Windows, the version resource of the PE file (through the
// resource update API). Throws std::runtime_error on failure.
void AttachVersionSection(const std::string& program_path, const FourPartVersion& product,
                          const FourPartVersion& file);

}  // namespace nurv::testing
