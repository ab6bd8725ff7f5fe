// The theme manifest against the real Windows API.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include "common/temp_dir.h"
#include "platform/files.h"
#include "platform/system_info.h"
#include "platform/win32/wide_text.h"
#include "support/theme_manifest.h"

namespace nurv {
namespace {

using testing::ReadFile;
using testing::TempDir;

// The manifest that the loader writes must be one that Windows accepts for the common controls.
TEST(WinThemeManifest, WindowsAcceptsTheWrittenManifest) {
  TempDir dir;
  const std::string exe = dir.Sub("NurvLoader.exe");
  ASSERT_TRUE(platform::CopyFileReplacing(platform::OwnExecutablePath(), exe));
  ASSERT_TRUE(WriteThemeManifest(exe));
  const std::string manifest = exe + ".manifest";
  ASSERT_TRUE(platform::FileExists(manifest));
  EXPECT_EQ(ReadFile(manifest).rfind("</assembly>\r\n"), ReadFile(manifest).size() - 13);

  const std::wstring wide = platform::win32::Widen(manifest);
  ACTCTXW context{};
  context.cbSize = sizeof(context);
  context.lpSource = wide.c_str();
  HANDLE handle = CreateActCtxW(&context);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << platform::LastErrorText();
  ReleaseActCtx(handle);

  EXPECT_TRUE(DeleteThemeManifest(exe));
  EXPECT_FALSE(platform::FileExists(manifest));
  EXPECT_TRUE(DeleteThemeManifest(exe));
}

}  // namespace
}  // namespace nurv
#endif  // _WIN32
