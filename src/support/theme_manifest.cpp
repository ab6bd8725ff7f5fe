#include "support/theme_manifest.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "base/utf8.h"
#include "platform/files.h"

namespace nurv {

namespace {

// Asks Windows for version 6 of the common controls, which gives the window its themed look.
constexpr std::array<std::string_view, 19> kManifestLines = {
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)",
    R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)",
    R"(  <assemblyIdentity)",
    "  \ttype=\"win32\"",
    R"(    name="ZelmarApplication")",
    R"(    version="1.0.0.0")",
    "  \tprocessorArchitecture=\"*\"/>",
    R"(  <dependency>)",
    R"(    <dependentAssembly>)",
    R"(      <assemblyIdentity)",
    R"(        type="win32")",
    R"(        name="Microsoft.Windows.Common-Controls")",
    R"(        version="6.0.0.0")",
    R"(        publicKeyToken="6595b64144ccf1df")",
    R"(        language="*")",
    R"(        processorArchitecture="*"/>)",
    R"(    </dependentAssembly>)",
    R"(  </dependency>)",
    R"(</assembly>)",
};

std::string ManifestPath(const std::string& executable_path) {
  return executable_path + ".manifest";
}

}  // namespace

bool WriteThemeManifest(const std::string& executable_path) {
  const std::string path = ManifestPath(executable_path);
  if (platform::FileExists(path)) return true;
  bool written = false;
  {
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const std::string_view line : kManifestLines) {
      out.write(line.data(), static_cast<std::streamsize>(line.size()));
      out.write("\r\n", 2);
    }
    out.close();
    written = !out.fail();
  }
  // A half-written manifest would keep Windows from starting the program at all.
  if (!written) {
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(path), ignored);
  }
  return written;
}

bool DeleteThemeManifest(const std::string& executable_path) {
  const std::string path = ManifestPath(executable_path);
  if (!platform::FileExists(path)) return true;
  return platform::RemoveFile(path);
}

}  // namespace nurv
