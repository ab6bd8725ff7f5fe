// Plain-file updates on a real SQLite update table and real files.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#endif

#include "base/date_utils.h"
#include "common/scoped_env.h"
#include "loader/update_archived.h"
#include "loader/update_plain.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "support/sevenzip_archive.h"
#include "support/signing.h"
#include "update_fixture.h"

namespace nurv {
namespace {

using namespace testing;

class PlainUpdate : public UpdateTest {
 protected:
  std::string bat = Bin("nurvrun.bat");

  int RunBat() { return Code(UpdatePlainModule(Ctx(), ModuleByCode("BAT"))); }
  // The installed old file, modified at 09:00.
  void InstallOld() {
    WriteFile(bat, "old");
    SetFileTime(bat, LocalTime(2024, 5, 1, 9, 0, 0));
  }
  void ExpectOldInPlace() {
    EXPECT_EQ(ReadFile(bat), "old");
    EXPECT_EQ(FileTime(bat), LocalTime(2024, 5, 1, 9, 0, 0));
    EXPECT_EQ(FolderNames(settings.PathProgram),
              (std::vector<std::string>{"locales", "nurvrun.bat", "swiftshader"}))
        << "no staging file left behind";
  }
};

TEST_F(PlainUpdate, MissingFileIsWrittenStampedAndVerified) {
  Serve({PlainRow(1, "BAT", "", "@echo new\r\n", "2024-05-01 10:15:59")});
  EXPECT_EQ(RunBat(), 1);
  EXPECT_EQ(ReadFile(bat), "@echo new\r\n");
  EXPECT_EQ(FileTime(bat), LocalTime(2024, 5, 1, 10, 15, 0)) << "the row's time, to the minute";
  EXPECT_TRUE(ui.Log().empty()) << "the caller writes the stage lines";
  EXPECT_EQ(ui.waits, (std::vector<std::int32_t>{1000, 100}));
  EXPECT_EQ(FolderNames(settings.PathProgram),
            (std::vector<std::string>{"locales", "nurvrun.bat", "swiftshader"}));
  // The next run finds the times equal: nothing, not even a pause.
  ui.waits.clear();
  EXPECT_EQ(RunBat(), 0);
  EXPECT_TRUE(ui.waits.empty());
}

TEST_F(PlainUpdate, DateRuleToTheMinute) {
  Serve({PlainRow(1, "BAT", "", "new", "2024-05-01 10:15:59")});
  WriteFile(bat, "old");
  SetFileTime(bat, LocalTime(2024, 5, 1, 10, 15, 1));
  EXPECT_EQ(RunBat(), 0);
  EXPECT_EQ(ReadFile(bat), "old");
  SetFileTime(bat, LocalTime(2024, 5, 1, 10, 14, 59));
  EXPECT_EQ(RunBat(), 1);
  EXPECT_EQ(ReadFile(bat), "new");
}

TEST_F(PlainUpdate, NoRowNullBlobOrVanishedRowWriteNothing) {
  Serve({PlainRow(1, "CHM", "", "help", "2024-05-01 10:00:00")});
  EXPECT_EQ(RunBat(), 0);
  UpdateRow null_blob = PlainRow(1, "BAT", "", "", "2024-05-01 10:00:00");
  null_blob.fblob.reset();
  Serve({null_blob});
  InstallOld();
  EXPECT_EQ(RunBat(), 0);
  ExpectOldInPlace();
  // The catalogue still lists a row that the contents query no longer finds.
  Serve({PlainRow(1, "BAT", "", "new", "2024-05-01 10:00:00")});
  Sql("UPDATE UpdatesBLOB SET vcode = 99");
  EXPECT_EQ(RunBat(), 0);
  ExpectOldInPlace();
  EXPECT_TRUE(ui.Log().empty());
}

TEST_F(PlainUpdate, ChecksumMismatchKeepsOldFileAndRetriesNextRun) {
  UpdateRow row = PlainRow(1, "BAT", "", "new", "2024-05-01 10:00:00");
  row.caption = std::int64_t{12345};
  Serve({row});
  InstallOld();
  EXPECT_EQ(RunBat(), 9);
  EXPECT_EQ(ui.Log(), std::vector<std::string>{
                          "Проверка контрольной суммы при выгрузке файла: " + bat + " - ОШИБКА"});
  ExpectOldInPlace();
  // Corrected on the server: written on the next run.
  Serve({PlainRow(1, "BAT", "", "new", "2024-05-01 10:00:00")});
  EXPECT_EQ(RunBat(), 1);
  EXPECT_EQ(ReadFile(bat), "new");
}

TEST_F(PlainUpdate, UnreadableCaptionOrDateIsAnErrorLine) {
  for (const auto& caption : {UpdateRow{}.caption, decltype(UpdateRow{}.caption){std::string()},
                              decltype(UpdateRow{}.caption){std::string("abc")}}) {
    UpdateRow row = PlainRow(1, "BAT", "", "new", "2024-05-01 10:00:00");
    row.caption = caption;
    Serve({row});
    InstallOld();
    ui.ClearLog();
    EXPECT_EQ(RunBat(), 9);
    ASSERT_EQ(ui.Log().size(), 2u);
    EXPECT_EQ(ui.Log()[0], "ОШИБКА выгрузки файла: " + bat);
    EXPECT_EQ(ui.Log()[1].front(), '[');
    ExpectOldInPlace();
  }
  UpdateRow no_date = PlainRow(1, "BAT", "", "new", "");
  no_date.updatedate.reset();
  Serve({no_date});
  ui.ClearLog();
  EXPECT_EQ(RunBat(), 9);
  EXPECT_EQ(ui.Log()[0], "ОШИБКА выгрузки файла: " + bat);
  ExpectOldInPlace();
}

TEST_F(PlainUpdate, FailingContentsQueryIsAnErrorLine) {
  Serve({PlainRow(1, "BAT", "", "new", "2024-05-01 10:00:00")});
  InstallOld();
  Sql("DROP TABLE UpdatesBLOB");
  EXPECT_EQ(RunBat(), 9);
  ASSERT_EQ(ui.Log().size(), 2u);
  EXPECT_EQ(ui.Log()[0], "ОШИБКА выгрузки файла: " + bat);
  ExpectOldInPlace();
}

TEST_F(PlainUpdate, DestinationThatCannotTakeTheFile) {
  Serve({PlainRow(1, "BAT", "", "new", "2024-05-01 10:00:00")});
  // A folder in the way.
  std::filesystem::create_directory(bat);
  EXPECT_EQ(RunBat(), 9);
  EXPECT_EQ(ui.Log().front(), "ОШИБКА выгрузки файла: " + bat);
  EXPECT_TRUE(platform::DirectoryExists(bat));
  EXPECT_EQ(FolderNames(settings.PathProgram),
            (std::vector<std::string>{"locales", "nurvrun.bat", "swiftshader"}));
  // The folder is missing: never created.
  std::filesystem::remove(bat);
  settings.PathProgram = dir.Sub("Missing") + platform::kPathDelim;
  ui.ClearLog();
  int result = Code(UpdatePlainModule(Ctx(), ModuleByCode("BAT")));
  EXPECT_EQ(result, 9);
  EXPECT_EQ(ui.Log().front(), "ОШИБКА выгрузки файла: " + settings.PathProgram + "nurvrun.bat");
  EXPECT_FALSE(platform::DirectoryExists(dir.Sub("Missing")));
}

TEST_F(PlainUpdate, ReadOnlyFileIsReplacedAsADeletionWouldAllow) {
  Serve({PlainRow(1, "BAT", "", "new", "2024-05-01 10:00:00")});
  InstallOld();
  SetReadOnly(bat);
  EXPECT_EQ(RunBat(), 1);
  EXPECT_EQ(ReadFile(bat), "new");
}

TEST_F(PlainUpdate, SeveralRowsComparedWithTheFileAsItStands) {
  // The later row first: the earlier one is then not newer.
  Serve({PlainRow(1, "BAT", "", "first", "2024-05-01 10:20:00"),
         PlainRow(2, "BAT", "", "second", "2024-05-01 10:10:00")});
  EXPECT_EQ(RunBat(), 1);
  EXPECT_EQ(ReadFile(bat), "first");
  EXPECT_EQ(ui.waits.size(), 2u);
  // The earlier row first: both are written, the last one stays.
  Serve({PlainRow(1, "BAT", "", "first", "2024-05-02 10:10:00"),
         PlainRow(2, "BAT", "", "second", "2024-05-02 10:20:00")});
  EXPECT_EQ(RunBat(), 1);
  EXPECT_EQ(ReadFile(bat), "second");
  EXPECT_EQ(FileTime(bat), LocalTime(2024, 5, 2, 10, 20, 0));
}

TEST_F(PlainUpdate, OneBadRowKeepsNineAfterALaterSuccess) {
  UpdateRow bad = PlainRow(1, "BAT", "", "bad", "2024-05-01 10:10:00");
  bad.caption = std::int64_t{1};
  Serve({bad, PlainRow(2, "BAT", "", "good", "2024-05-01 10:20:00")});
  EXPECT_EQ(RunBat(), 9);
  EXPECT_EQ(ReadFile(bat), "good");
}

TEST_F(PlainUpdate, SevenZipLibraryOfTheSystemFolderIsUsedAsItIs) {
  const std::string installed = platform::SystemFolder() + "/" + SevenZipLibraryName();
  if (!platform::FileExists(installed)) GTEST_SKIP() << "no 7-Zip library at " << installed;
  Serve({PlainRow(1, "7z", "", "library bytes", "2024-05-01 10:00:00")});
  int result = Code(UpdatePlainModule(Ctx(), ModuleByCode("7z")));
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(platform::FileExists(settings.PathTemp + "/" + SevenZipLibraryName()));
}

TEST_F(PlainUpdate, SevenZipLibraryOnlyWhenFoundNowhere) {
  const std::string name = SevenZipLibraryName();
  Serve({PlainRow(1, "7z", "", "library bytes", "2024-05-01 10:00:00")});
  int result = -1;
  // A system folder without the library.
  const std::string system = system_folder = dir.Sub("System");
  std::filesystem::create_directory(system);
  result = Code(UpdatePlainModule(Ctx(), ModuleByCode("7z")));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFile(settings.PathTemp + "/" + name), "library bytes");
  // Present in the temporary folder now: not touched again, whatever the row says.
  Serve({PlainRow(1, "7z", "", "newer bytes", "2030-01-01 10:00:00")});
  result = Code(UpdatePlainModule(Ctx(), ModuleByCode("7z")));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(settings.PathTemp + "/" + name), "library bytes");
  // A folder of that name does not count as present.
  std::filesystem::remove(settings.PathTemp + "/" + name);
  std::filesystem::create_directory(system + "/" + name);
  result = Code(UpdatePlainModule(Ctx(), ModuleByCode("7z")));
  EXPECT_EQ(result, 1);
}

// The library the loader would load next is written only when the publisher's key signed its row.
TEST_F(PlainUpdate, SevenZipLibraryRowIsWrittenOnlyWhenSignedByATrustedKey) {
  const std::string library = settings.PathTemp + platform::kPathDelim + SevenZipLibraryName();
  system_folder = dir.Sub("System");
  std::filesystem::create_directory(system_folder);
  const KeyPair publisher = GenerateKeyPair();
  // The row's fields signed over the stored bytes `stored` and the landed bytes `landed`, as the
  // signature row of vcode 1.
  const auto sign = [&](const std::string& stored, const std::string& landed) {
    SignedFields fields{"7z", "", std::nullopt, *ParseDateTimeText("2024-05-01 10:00:00"),
                        Crc32Of(stored)};
    WriteFile(dir.Sub("signed.bin"), stored);
    fields.stored = FileSha256(dir.Sub("signed.bin")).digest;
    WriteFile(dir.Sub("signed.bin"), landed);
    fields.landed = FileSha256(dir.Sub("signed.bin")).digest;
    Sql("DROP TABLE IF EXISTS UpdatesSign; CREATE TABLE UpdatesSign (vcode INTEGER, sha256 TEXT, "
        "signature TEXT, keyid TEXT); INSERT INTO UpdatesSign VALUES (1, '" +
        HexText(BytesOf(fields.landed)) + "', '" +
        HexText(BytesOf(SignMessage(SignedMessage(fields), publisher.secret_key))) + "', '" +
        KeyId(publisher.public_key) + "')");
  };
  Serve({PlainRow(1, "7z", "", "forged library", "2024-05-01 10:00:00")});
  sign("genuine library", "genuine library");
  Ctx().trusted_keys = TrustedKeys({PublicKeyLine(publisher.public_key)});
  EXPECT_EQ(Code(UpdatePlainModule(*ctx, ModuleByCode("7z"))), 9);
  EXPECT_FALSE(platform::FileExists(library));
  EXPECT_EQ(ui.Log(), std::vector<std::string>{"--> ОШИБКА проверки подписи. Подпись не верна: [" +
                                               library + "]"});

  // Signed, but for other bytes to land (a publisher's fault): refused all the same.
  sign("forged library", "genuine library");
  ui.ClearLog();
  EXPECT_EQ(Code(UpdatePlainModule(*ctx, ModuleByCode("7z"))), 9);
  EXPECT_FALSE(platform::FileExists(library));
  EXPECT_EQ(ui.Log(), std::vector<std::string>{"--> ОШИБКА проверки подписи. SHA-256 файла [" +
                                               library + "] не совпадает с подписанной"});

  sign("forged library", "forged library");
  EXPECT_EQ(Code(UpdatePlainModule(*ctx, ModuleByCode("7z"))), 1);
  EXPECT_EQ(ReadFile(library), "forged library");

  // A copy in the temporary folder is kept only when the key signed those very bytes; one left by
  // a run before the key was trusted is written again from its signed row.
  EXPECT_EQ(Code(UpdatePlainModule(*ctx, ModuleByCode("7z"))), 0);
  WriteFile(library, "planted library");
  EXPECT_EQ(Code(UpdatePlainModule(*ctx, ModuleByCode("7z"))), 1);
  EXPECT_EQ(ReadFile(library), "forged library");
}

#ifdef NURV_MARKING_LIBRARY
// The system's 7-Zip library out of sight for the rest of this test process (a private mount
// namespace), so that only the temporary folder's library could be loaded.
bool HideSystemSevenZip() {
  return ::unshare(CLONE_NEWNS) == 0 &&
         ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         ::mount("tmpfs", platform::SystemFolder().c_str(), "tmpfs", 0, nullptr) == 0;
}

// With a trusted key, a library in the temporary folder is loaded only once this run has verified
// it: one left there without a row, with a row that does not parse, or with an unsigned row is
// removed before an archive stage could load it.
TEST_F(PlainUpdate, UnverifiedLibraryInTheTemporaryFolderIsNeverLoaded) {
  if (!HideSystemSevenZip()) GTEST_SKIP() << "no private mount namespace here";
  ScopedEnv env;
  env.Set("TMPDIR", dir.path());
  env.Set("NURV_LOAD_MARK", dir.Sub("loaded"));
  settings.PathTemp = platform::UserTempFolder();
  const std::string library = settings.PathTemp + "/" + SevenZipLibraryName();
  UpdateRow main = PlainRow(1, "PRG", "", "archive", "2024-05-01 10:00:00");
  main.version = "9.9.9.9";
  UpdateRow unparsed = PlainRow(2, "7z", "", "library", "2024-05-01 10:00:00");
  unparsed.caption = std::string("x");
  const std::vector<std::pair<const char*, std::vector<UpdateRow>>> cases = {
      {"no row", {main}},
      {"a row that does not parse", {main, unparsed}},
      {"an unsigned row", {main, PlainRow(2, "7z", "", "library", "2024-05-01 10:00:00")}}};
  for (const auto& [label, rows] : cases) {
    SCOPED_TRACE(label);
    std::filesystem::copy_file(NURV_MARKING_LIBRARY, library,
                               std::filesystem::copy_options::overwrite_existing);
    Serve(rows);
    Ctx().trusted_keys = TrustedKeys({PublicKeyLine(GenerateKeyPair().public_key)});
    try {
      UpdatePlainModule(*ctx, ModuleByCode("7z"));
    } catch (const std::exception&) {
      // without a signature table the stage ends in its frame
    }
    EXPECT_EQ(Code(UpdateArchivedModule(*ctx, ModuleByCode("PRG"))), 9);
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("loaded"))) << "the library was loaded";
    EXPECT_FALSE(std::filesystem::exists(library));
  }
}
#endif

}  // namespace
}  // namespace nurv
