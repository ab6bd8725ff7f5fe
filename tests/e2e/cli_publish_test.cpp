// Round trip: a complex updated by nurvloader-cli from a table that nurv-publish filled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sqlite3.h>

#include "e2e_fixture.h"
#include "platform/files.h"

namespace nurv::testing {
namespace {

// A whole minute: the date rule stamps a file with its row's time to the minute, and 7z items
// keep theirs to two seconds.
const DateTime kPublished = std::chrono::local_days(std::chrono::year(2026) / 4 / 20) +
                            std::chrono::hours(14) + std::chrono::minutes(30);

class CliPublishedTable : public CliTest {
 protected:
  // Runs nurv-publish on the complex's update database; true when it succeeded.
  bool Publish(std::vector<std::string> args) {
    args.insert(args.begin(), {"--server", Server(), "--database", "demo"});
    const std::string out = complex_.Path("publish.out"), err = complex_.Path("publish.err");
    const ProcessRef process = StartProcess(BuiltProgram("nurv-publish"), args, out, err);
    const int status = process == kNoProcess ? -1 : WaitForProcess(process);
    EXPECT_EQ(status, 0) << args[4] << ": " << ReadFile(err);
    return status == 0;
  }

  // A file of the release, under a name of its own, modified at kPublished.
  std::string Release(const std::string& relative, const std::string& bytes) {
    const std::string path = complex_.Path("release/" + relative);
    fs::create_directories(Utf8Path(path).parent_path());
    WriteFile(path, bytes);
    EXPECT_TRUE(platform::WriteModifiedTime(path, kPublished));
    return path;
  }

  // A new key pair in `folder` of the complex; the public key line keygen printed last.
  std::string Keygen(const std::string& folder) {
    const std::string dir = complex_.Path(folder);
    fs::create_directories(Utf8Path(dir));
    const std::string out = complex_.Path("keygen.out"), err = complex_.Path("keygen.err");
    const ProcessRef process =
        StartProcess(BuiltProgram("nurv-publish"), {"keygen", dir}, out, err);
    EXPECT_EQ(process == kNoProcess ? -1 : WaitForProcess(process), 0) << ReadFile(err);
    const Lines lines = SplitLines(ReadFile(out));
    return lines.empty() ? "" : lines.back();
  }
  std::string KeyFile(const std::string& folder) const {
    return complex_.Path(folder + "/nurv-publish.key");
  }

  // The complex's nurv.ini, trusting `key_line` for signed updates.
  void TrustKey(const std::string& key_line) const {
    complex_.WriteIniForDb();
    const std::string ini = complex_.Bin() + "nurv.ini";
    WriteFile(ini, ReadFile(ini) + "[Security]\nTrustedKey1=" + key_line + "\n");
  }

  // Runs `sql` on the update table behind the publisher's back, `?` bound to `blob`.
  void Forge(const std::string& sql, const std::string& blob = {}) const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(complex_.Db().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    if (sql.find('?') != std::string::npos)
      sqlite3_bind_blob(stmt, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
  }

  // Where each published file lands, and its bytes.
  using Landed = std::vector<std::pair<std::string, std::string>>;

  // A new table with a release of every code published into it (`signing`: "--key" FILE or
  // nothing); where each file must land, and its bytes.
  Landed PublishRelease(const std::vector<std::string>& signing = {}) {
    fs::remove(Utf8Path(complex_.Db()));
    EXPECT_TRUE(Publish({"init"}));
    const std::string main = Release("main-5.1.10.2", MainPrograms::Get().NewBytes());
#ifndef _WIN32
    fs::permissions(Utf8Path(main), fs::perms::owner_exec, fs::perm_options::add);
#endif
    const std::string bin = complex_.Bin();
    const Landed landed = {
        {bin + "nurv.exe", MainPrograms::Get().NewBytes()},
        {bin + "libeay32.dll", BuildPeFile({1, 0, 2, 22}, {1, 0, 2, 22})},
        {bin + "ssleay32.dll", BuildPeFile({1, 0, 2, 22}, {1, 0, 2, 22}, true)},
        {bin + "nurvrun.bat", "@echo off\r\nstart nurv.exe %*\r\n"},
        {complex_.Path("Help/HelpNurv.chm"), "ITSF help"},
        {complex_.Path("Help/HelpNurv.pdf"), "%PDF-1.4 help"},
        {bin + "NurvExplorer.exe", BuildPeFile({2, 0, 0, 7}, {2, 0, 0, 7})},
        {bin + "libcef.dll", "browser"},
        {bin + "icudtl.dat", "icu"},
        {bin + "locales/ru.pak", "locale"},
        {bin + "swiftshader/libEGL.dll", "egl"},
        {complex_.Path("Shablon/Бланк_01.doc"), "blank"},
        {complex_.Path("Shablon/Форма_01.xls"), "form"},
    };
    const auto publish = [&](std::vector<std::string> args) {
      args.insert(args.end(), signing.begin(), signing.end());
      EXPECT_TRUE(Publish(args));
    };
    publish({"publish", "PRG", main});
    publish({"publish", "LDR", Release("loader.exe", BuildPeFile({6, 3, 0, 0}, {6, 3, 0, 0}))});
    publish({"publish", "SSL1", Release("libeay.dll", landed[1].second)});
    publish({"publish", "SSL2", Release("ssleay.dll", landed[2].second)});
    publish({"publish", "BAT", Release("run.bat", landed[3].second)});
    publish({"publish", "CHM", Release("help.chm", landed[4].second)});
    publish({"publish", "PDF", Release("help.pdf", landed[5].second)});
    publish({"publish", "EXP", Release("explorer.exe", landed[6].second)});
    Release("cxp/libcef.dll", "browser");
    Release("cxp/icudtl.dat", "icu");
    Release("lxp/ru.pak", "locale");
    Release("swi/libEGL.dll", "egl");
    Release("doc/Бланк_01.doc", "blank");
    Release("xls/Форма_01.xls", "form");
    for (const char* group : {"CXP", "LXP", "SWI", "DOC", "XLS"}) {
      std::string folder = group;
      for (char& c : folder) c = static_cast<char>(c - 'A' + 'a');
      publish({"publish-group", group, complex_.Path("release/" + folder)});
    }
    return landed;
  }

  // Runs the CLI twice: the first run installs every file as published, the second writes nothing.
  void ExpectInstalledThenNothingWritten(const Landed& landed) {
    const CliRun first = RunCli();
    EXPECT_EQ(first.status, 0) << first.err << Joined(first.out);
    for (const auto& [path, bytes] : landed) {
      EXPECT_EQ(ReadFile(path), bytes) << path;
      EXPECT_EQ(platform::ReadModifiedTime(path), kPublished) << path;
    }
    AwaitLaunch(first);

    const CliRun second = RunCli();
    EXPECT_EQ(second.status, 0) << second.err;
    // No newer version: the single modules are not looked at; the groups find nothing newer.
    EXPECT_EQ(CountPrefix(second.out, " -> "), 6);
    for (const std::string& line : second.out)
      EXPECT_FALSE(line.rfind(" -> ", 0) == 0 && !line.ends_with("НЕ ТРЕБУЕТСЯ")) << line;
    for (const auto& [path, bytes] : landed)
      EXPECT_EQ(platform::ReadModifiedTime(path), kPublished) << path;
    AwaitLaunch(second);
  }
};

// Signed with the key that nurv.ini trusts.
TEST_F(CliPublishedTable, FilesLandAsPublishedAndTheSecondRunWritesNothing) {
  TrustKey(Keygen("keys"));
  ExpectInstalledThenNothingWritten(PublishRelease({"--key", KeyFile("keys")}));
}

// Rows changed behind the publisher's back, each in a way that CRC-32 does not see: refused
// where nurv.ini trusts the publisher's key, installed as they are where it trusts none.
TEST_F(CliPublishedTable, ForgedRowsAreRefusedWhereAKeyIsTrustedAndInstalledWhereNone) {
  const std::string key_line = Keygen("keys");
  Keygen("stranger");
  const Landed landed = PublishRelease({"--key", KeyFile("keys")});
  ASSERT_TRUE(
      Publish({"publish", "CHM", complex_.Path("release/help.chm"), "--key", KeyFile("stranger")}));
  std::string bat = landed[3].second;
  bat[bat.find("nurv")] = 'm';
  Forge("UPDATE UpdatesBLOB SET fblob = ?, caption = " + std::to_string(Crc32Of(bat)) +
            " WHERE tdoc = 'BAT'",
        bat);
  Forge("DELETE FROM UpdatesSign WHERE vcode = (SELECT vcode FROM UpdatesBLOB WHERE tdoc = 'EXP')");
  Forge("DELETE FROM UpdatesSign WHERE vcode = (SELECT vcode FROM UpdatesBLOB WHERE tdoc = 'DOC')");
  Forge(
      "UPDATE UpdatesSign SET vcode = (SELECT vcode FROM UpdatesBLOB WHERE tdoc = 'DOC') WHERE "
      "vcode = (SELECT vcode FROM UpdatesBLOB WHERE tdoc = 'XLS')");
  const std::string item = MainPrograms::Get().NewBytes() + "forged";
  fs::create_directories(Utf8Path(complex_.Path("forge")));
  WriteFile(complex_.Path("forge/nurv.exe"), item);
#ifndef _WIN32
  fs::permissions(Utf8Path(complex_.Path("forge/nurv.exe")), fs::perms::owner_exec,
                  fs::perm_options::add);
#endif
  ASSERT_TRUE(Run7z(complex_.Path("forge"), "a -t7z -y nurv.7z nurv.exe"));
  Forge("UPDATE UpdatesBLOB SET fblob = ?, caption = " + std::to_string(Crc32Of(item)) +
            " WHERE tdoc = 'PRG'",
        ReadFile(complex_.Path("forge/nurv.7z")));

  // The files the forged rows would replace, installed before.
  const std::string bin = complex_.Bin();
  const std::vector<std::string> targets = {
      bin + "nurvrun.bat", complex_.Path("Help/HelpNurv.chm"), bin + "NurvExplorer.exe",
      complex_.Path("Shablon/Бланк_01.doc"), complex_.Path("Shablon/Форма_01.xls")};
  for (const std::string& target : targets) {
    WriteFile(target, "installed");
    ASSERT_TRUE(platform::WriteModifiedTime(target, kPublished - std::chrono::days(30)));
  }

  TrustKey(key_line);
  const CliRun refused = RunCli();
  EXPECT_EQ(refused.status, 2) << refused.err << Joined(refused.out);
  for (const std::string& target : targets) EXPECT_EQ(ReadFile(target), "installed") << target;
  EXPECT_EQ(ReadFile(bin + "nurv.exe"), ReadFile(MainPrograms::Get().Old()));
  const std::string refusal = "--> ОШИБКА проверки подписи. ";
  for (const std::string& line : {
           refusal + "Подпись не верна: [" + targets[0] + "]",
           refusal + "Ключ подписи не доверен: [" + targets[1] + "]",
           refusal + "Строка обновления не подписана: [" + targets[2] + "]",
           refusal + "Подпись не верна: [" + targets[3] + "]",
           refusal + "Строка обновления не подписана: [" + targets[4] + "]",
       })
    EXPECT_TRUE(Contains(refused.out, line)) << line << Joined(refused.out);
  EXPECT_EQ(CountPrefix(refused.out, refusal), 6) << Joined(refused.out);
  AwaitLaunch(refused);

  complex_.WriteIniForDb();
  const CliRun unchecked = RunCli();
  EXPECT_EQ(unchecked.status, 0) << unchecked.err << Joined(unchecked.out);
  EXPECT_EQ(ReadFile(targets[0]), bat);
  EXPECT_EQ(ReadFile(targets[1]), landed[4].second);
  EXPECT_EQ(ReadFile(targets[2]), landed[6].second);
  EXPECT_EQ(ReadFile(targets[3]), landed[11].second);
  EXPECT_EQ(ReadFile(targets[4]), landed[12].second);
  EXPECT_EQ(ReadFile(bin + "nurv.exe"), item);
  AwaitLaunch(unchecked);
}

// Rows a writer without the key puts beside the signed ones, each listed first for its code: a
// decoy in other case that claims a newer version with the installed file's checksum, an unsigned
// loader row that makes the single modules run, a help row dated far ahead. None decides: with the
// key a single file of two rows is an error of its stage; without it the first row decides alone,
// and a row the contents query does not hold lands nothing and stamps nothing.
TEST_F(CliPublishedTable, DecoyRowsBesideSignedOnesDecideNothing) {
  const std::string key_line = Keygen("keys");
  const Landed landed = PublishRelease({"--key", KeyFile("keys")});
  TrustKey(key_line);
  const CliRun installed = RunCli();
  ASSERT_EQ(installed.status, 0) << installed.err << Joined(installed.out);
  AwaitLaunch(installed);
  const auto decoy = [&](int vcode, const std::string& code, const std::string& version,
                         const std::string& date, const std::string& of) {
    Forge(
        "INSERT INTO UpdatesBLOB (vcode, tdoc, version, name, caption, updatedate, fblob) "
        "SELECT " +
        std::to_string(vcode) + ", '" + code + "', " + version + ", name, caption, " + date +
        ", fblob FROM UpdatesBLOB WHERE tdoc = '" + of + "'");
  };
  decoy(-3, "prg", "'99.0.0.0'", "updatedate", "PRG");
  decoy(-2, "LDR", "'99.0.0.0'", "updatedate", "LDR");
  decoy(-1, "pdf", "version", "'2099-01-01 00:00:00'", "PDF");
  const std::string main = complex_.Bin() + "nurv.exe", pdf = complex_.Path("Help/HelpNurv.pdf");

  const CliRun checked = RunCli();
  EXPECT_EQ(checked.status, 2) << checked.err << Joined(checked.out);
  for (const char* code : {"LDR", "PRG", "PDF"})
    EXPECT_TRUE(Contains(checked.out, std::string("--> ОШИБКА! Более одной строки обновления с "
                                                  "кодом: [") +
                                          code + "]"))
        << code << Joined(checked.out);
  EXPECT_EQ(ReadFile(main), landed[0].second);
  EXPECT_EQ(platform::ReadModifiedTime(pdf), kPublished);
  AwaitLaunch(checked);

  complex_.WriteIniForDb();
  const CliRun unchecked = RunCli();
  EXPECT_EQ(unchecked.status, 2) << unchecked.err << Joined(unchecked.out);
  EXPECT_EQ(ReadFile(main), landed[0].second);
  EXPECT_EQ(ReadFile(pdf), landed[5].second);
  EXPECT_EQ(platform::ReadModifiedTime(pdf), kPublished) << "stamped with a decoy's date";
  AwaitLaunch(unchecked);
}

// A [Security] entry that is there but holds no key ends the run as an initialisation error that
// names it, before anything is installed.
TEST_F(CliPublishedTable, AKeyEntryThatHoldsNoKeyEndsTheRunBeforeAnythingIsInstalled) {
  const std::string key_line = Keygen("keys");
  PublishRelease();
  const std::string bin = complex_.Bin();
  const struct {
    std::string security;
    std::string entry;
  } cases[] = {
      {"TrustedKey1=\n", "TrustedKey1"},
      {"TrustedKey3=\"\"\n", "TrustedKey3"},
      {"TrustedKey1=" + key_line + "\nTrustedKey2=ed25519:AAAA\n", "TrustedKey2"},
  };
  for (const auto& [security, entry] : cases) {
    complex_.WriteIniForDb();
    WriteFile(bin + "nurv.ini", ReadFile(bin + "nurv.ini") + "[Security]\n" + security);
    const CliRun run = RunCli();
    EXPECT_EQ(run.status, 1) << entry << Joined(run.out);
    EXPECT_TRUE(Contains(run.out, "Доверенный ключ [Security] " + entry +
                                      " - ОШИБКА: значение не является ключом подписи"))
        << Joined(run.out);
    EXPECT_EQ(ReadFile(bin + "nurv.exe"), ReadFile(MainPrograms::Get().Old()));
    EXPECT_FALSE(platform::FileExists(bin + "nurvrun.bat"));
  }
}

}  // namespace
}  // namespace nurv::testing
