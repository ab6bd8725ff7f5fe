#include "loader/run_state.h"

#include <gtest/gtest.h>

namespace nurv {
namespace {

TEST(RunState, StartValues) {
  const RunState state;
  EXPECT_EQ(state.ForwardedArgs, " /loader");
  EXPECT_EQ(static_cast<int>(state.UpdateResult), 0);
  EXPECT_FALSE(state.SwitchDb || state.SwitchWait || state.SwitchInfo || state.SwitchLoadIni ||
               state.SwitchNotUpdate || state.InitFailed || state.IsWindowsXP);
  EXPECT_TRUE(state.LoaderDir.empty() && state.LaunchArgs.empty() &&
              state.AvailableVersion.empty() && state.InstalledLoaderVersion.empty());
  EXPECT_EQ(state.OwnFileVersion, FourPartVersion{});
}

TEST(ApplySwitches, MatchesSubstringsOfLowerCasedArgumentsAndForwardsAll) {
  RunState state;
  ApplySwitches(state, {"/DB", "/Wait"});
  EXPECT_TRUE(state.SwitchDb);
  EXPECT_TRUE(state.SwitchWait);
  EXPECT_FALSE(state.SwitchInfo);
  EXPECT_EQ(state.ForwardedArgs, " /loader /db /wait");

  RunState combined;
  ApplySwitches(combined, {"/loadini/notupdate", "x/db", "-x", "/INFOrmation"});
  EXPECT_TRUE(combined.SwitchLoadIni);
  EXPECT_TRUE(combined.SwitchNotUpdate);
  EXPECT_TRUE(combined.SwitchDb);
  EXPECT_TRUE(combined.SwitchInfo);
  EXPECT_FALSE(combined.SwitchWait);
  EXPECT_EQ(combined.ForwardedArgs, " /loader /loadini/notupdate x/db -x /information");

  RunState none;
  ApplySwitches(none, {});
  EXPECT_EQ(none.ForwardedArgs, " /loader");
  // An empty argument is still forwarded as a blank.
  ApplySwitches(none, {""});
  EXPECT_EQ(none.ForwardedArgs, " /loader ");
}

TEST(ApplySwitches, NoArgumentClearsAFlag) {
  RunState state;
  state.SwitchDb = true;
  ApplySwitches(state, {"/d", "b"});
  EXPECT_TRUE(state.SwitchDb);
}

TEST(LoaderDirOf, KeepsTheFinalSeparator) {
  EXPECT_EQ(LoaderDirOf("/opt/complex/Bin/nurvloader-cli"), "/opt/complex/Bin/");
  EXPECT_EQ(LoaderDirOf(R"(C:\NURV\Bin\NurvLoader.exe)"), R"(C:\NURV\Bin\)");
  EXPECT_EQ(LoaderDirOf("/nurvloader-cli"), "/");
  EXPECT_EQ(LoaderDirOf("nurvloader-cli"), "");
}

TEST(IsWindowsXPProduct, AnyLetterCase) {
  EXPECT_TRUE(IsWindowsXPProduct("Microsoft Windows XP Professional"));
  EXPECT_TRUE(IsWindowsXPProduct("microsoft WINDOWS server 2003, Enterprise"));
  EXPECT_FALSE(IsWindowsXPProduct("Microsoft Windows 10 Pro"));
  EXPECT_FALSE(IsWindowsXPProduct("Debian GNU/Linux 12 (bookworm)"));
  EXPECT_FALSE(IsWindowsXPProduct("WindowsXP"));
}

}  // namespace
}  // namespace nurv
