// nurv-publish on a real SQLite update database: what it writes, what verify finds, and that a
// command that fails leaves the table as it was.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

#include "publish_fixture.h"
#include "support/sevenzip_archive.h"
#include "support/sevenzip_fixture.h"
#include "support/sevenzip_writer.h"

namespace nurv::testing {
namespace {

void Exec(const std::string& path, const std::string& sql, const std::string* blob = nullptr) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db);
  if (blob) sqlite3_bind_blob(stmt, 1, blob->data(), static_cast<int>(blob->size()), nullptr);
  EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE) << sqlite3_errmsg(db);
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}

// A line of `out` that begins with `start` and holds `part`.
bool HasLine(const std::string& out, const std::string& start, const std::string& part) {
  const auto lines = Lines(out);
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.rfind(start, 0) == 0 && line.find(part) != std::string::npos;
  });
}

class PublishSqlite : public PublishTest {
 protected:
  void SetUp() override {
    NURV_REQUIRE_SEVENZIP();
    db_ = dir_.Sub("updates.db");
    params_ = {SqliteServerName(db_), "nurv", "admin", "secret"};
  }

  std::string db_;
};

TEST_F(PublishSqlite, EveryCodeIsWrittenAsTheLoaderReadsIt) {
  PublishEveryCode();
  EXPECT_EQ(Publish({"init"}).status, 0);  // the table is there: nothing to do

  const PublishRun verify = Publish({"verify"});
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
  EXPECT_EQ(verify.out, "");

  const PublishRun list = Publish({"list"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(Lines(list.out).size(), 15u) << list.out;
  const std::string main_bytes = ReadFile(dir_.Sub("in/main-build.exe"));
  EXPECT_TRUE(HasLine(list.out,
                      "3\tPRG\tnurv.exe\t5.1.10.2\t" + std::to_string(Crc32Of(main_bytes)) +
                          "\t2026-03-02 08:15:42\t",
                      ""))
      << list.out;
  EXPECT_TRUE(HasLine(list.out, "6\tBAT\tnurvrun.bat\tNULL\t", "\t2026-03-02 08:15:42\t30"))
      << list.out;
  EXPECT_TRUE(HasLine(list.out, "11\tCXP\tsub\\icudtl.dat\tNULL\t", "")) << list.out;
  EXPECT_TRUE(HasLine(list.out, "14\tDOC\tБланк_01\tNULL\t", "")) << list.out;

  // The archive's only item is the module's file, whatever the source was called.
  db::Connection connection;
  connection.SetParams(params_);
  auto prg = connection.OpenDataset("select * from UpdatesBLOB where tdoc = 'PRG'");
  WriteFile(dir_.Sub("nurv.7z"), BlobBytes(*prg));
  SevenZipArchive zip({kSystemSevenZip});
  zip.ArchivePath = dir_.Sub("nurv.7z");
  zip.ExtractFolder = dir_.Sub("unpacked");
  ASSERT_EQ(zip.Extract(), 0);
  EXPECT_EQ(ReadFile(dir_.Sub("unpacked/nurv.exe")), main_bytes);
  EXPECT_EQ(platform::ReadModifiedTime(dir_.Sub("unpacked/nurv.exe")), kSourceTime);
}

TEST_F(PublishSqlite, KeysSignEveryRowAndVerifyNamesRowsNotSignedAsTheyStand) {
  const PublishRun keygen = Keygen("keys");
  ASSERT_EQ(keygen.status, 0) << keygen.err;
  const std::string public_line = Lines(keygen.out).back();
  EXPECT_EQ(ReadFile(dir_.Sub("keys/nurv-publish.pub")), public_line + "\n");
  const std::string secret = ReadFile(dir_.Sub("keys/nurv-publish.key"));
#ifndef _WIN32
  EXPECT_EQ(std::filesystem::status(dir_.Sub("keys/nurv-publish.key")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
  EXPECT_EQ(Keygen("keys").status, 3);
  EXPECT_EQ(ReadFile(dir_.Sub("keys/nurv-publish.key")), secret);
  ASSERT_EQ(Keygen("stranger").status, 0);

  PublishEveryCode({"--key", dir_.Sub("keys/nurv-publish.key")});
  const PublishRun clean = Publish({"verify", "--public-key", public_line});
  EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
  WriteFile(dir_.Sub("nurv.ini"), "[Security]\nTrustedKey2=" + public_line + "\n");
  EXPECT_EQ(Publish({"verify", "--ini", dir_.Sub("nurv.ini")}).status, 0);
  WriteFile(dir_.Sub("bad.ini"), "[Security]\nTrustedKey1=" + public_line + "\nTrustedKey4=\n");
  const PublishRun bad_ini = Publish({"verify", "--ini", dir_.Sub("bad.ini")});
  EXPECT_EQ(bad_ini.status, 2);
  EXPECT_NE(bad_ini.err.find("TrustedKey4 in [Security]"), std::string::npos) << bad_ini.err;
  const std::string stranger = Lines(ReadFile(dir_.Sub("stranger/nurv-publish.pub"))).back();
  const PublishRun untrusted = Publish({"verify", "--public-key", stranger});
  EXPECT_EQ(untrusted.status, 1);
  EXPECT_EQ(Lines(untrusted.out).size(), 15u) << untrusted.out;
  EXPECT_TRUE(HasLine(untrusted.out, "6\tBAT\tnurvrun.bat\tподписана ключом ", "не доверяют"));

  const std::string bat = "@echo off\r\nstart nurw.exe %*\r\n";
  Exec(db_,
       "UPDATE UpdatesBLOB SET fblob = ?, caption = " + std::to_string(Crc32Of(bat)) +
           " WHERE tdoc = 'BAT'",
       &bat);
  Exec(db_, "DELETE FROM UpdatesSign WHERE vcode = 9");
  const std::string before = Snapshot();
  const PublishRun forged =
      Publish({"verify", "--public-key", stranger, "--public-key", public_line});
  EXPECT_EQ(forged.status, 1);
  EXPECT_EQ(Lines(forged.out),
            (std::vector<std::string>{"6\tBAT\tnurvrun.bat\tподпись не верна: строка изменена "
                                      "после подписи",
                                      "9\tEXP\tNurvExplorer.exe\tстрока не подписана"}));
  EXPECT_EQ(Snapshot(), before);
}

// With keys the stored bytes are checked first: an archive its signature does not vouch for is
// never unpacked, so its row has the signature's line only.
TEST_F(PublishSqlite, VerifyUnpacksNoArchiveBeforeItsSignatureHolds) {
  ASSERT_EQ(Keygen("keys").status, 0);
  PublishEveryCode({"--key", dir_.Sub("keys/nurv-publish.key")});
  Exec(db_,
       "UPDATE UpdatesBLOB SET fblob = (SELECT fblob FROM UpdatesBLOB WHERE tdoc = 'LDR') WHERE "
       "tdoc = 'PRG'");
  const PublishRun verify = Publish(
      {"verify", "--public-key", Lines(ReadFile(dir_.Sub("keys/nurv-publish.pub"))).back()});
  EXPECT_EQ(verify.status, 1) << verify.err;
  EXPECT_EQ(Lines(verify.out),
            std::vector<std::string>{
                "3\tPRG\tnurv.exe\tподпись не верна: строка изменена после подписи"});
}

TEST_F(PublishSqlite, VerifyNamesEveryDamagedRowAndChangesNothing) {
  PublishEveryCode();
  Exec(db_, "UPDATE UpdatesBLOB SET caption = caption + 1 WHERE tdoc = 'BAT'");
  Exec(db_,
       "INSERT INTO UpdatesBLOB (vcode, tdoc, name, version, caption, updatedate, fblob) SELECT "
       "100, tdoc, name, version, caption, updatedate, fblob FROM UpdatesBLOB WHERE tdoc = 'PRG'");
  Exec(db_, "UPDATE UpdatesBLOB SET version = '1.0.2' WHERE tdoc = 'SSL2'");
  CreateSingleItemArchive(dir_.Sub("misnamed.7z"), dir_.Sub("in/libeay.dll"), "libeay.dll",
                          {kSystemSevenZip});
  const std::string misnamed = ReadFile(dir_.Sub("misnamed.7z"));
  Exec(db_, "UPDATE UpdatesBLOB SET fblob = ? WHERE tdoc = 'SSL1'", &misnamed);
  // Stored as it is, a flipped byte of the item passes its caption but not 7-Zip's own check.
  Source("stored/HelpNurv.pdf", "%PDF-1.4 help");
  ASSERT_TRUE(Run7z(dir_.Sub("stored"), "a -y -bso0 -bsp0 -mx0 pdf.7z HelpNurv.pdf"));
  std::string stored = ReadFile(dir_.Sub("stored/pdf.7z"));
  stored[32] ^= 1;
  Exec(db_,
       "UPDATE UpdatesBLOB SET fblob = ?, caption = " + std::to_string(Crc32Of("$PDF-1.4 help")) +
           " WHERE tdoc = 'PDF'",
       &stored);
  Exec(db_, "UPDATE UpdatesBLOB SET updatedate = NULL WHERE tdoc = 'CHM'");
  Exec(db_, "UPDATE UpdatesBLOB SET caption = 'abc' WHERE tdoc = 'EXP'");
  Exec(db_, "UPDATE UpdatesBLOB SET fblob = NULL WHERE tdoc = '7z'");
  Exec(db_, "UPDATE UpdatesBLOB SET name = '..\\ru.pak' WHERE tdoc = 'LXP'");
  Exec(db_,
       "INSERT INTO UpdatesBLOB (vcode, tdoc, name, caption, updatedate, fblob) SELECT 101, tdoc, "
       "'LIBCEF.DLL', caption, updatedate, fblob FROM UpdatesBLOB WHERE name = 'libcef.dll'");
  Exec(db_,
       "INSERT INTO UpdatesBLOB (vcode, tdoc, caption, updatedate, fblob) VALUES (102, "
       "'ZZZ', 0, '2026-01-01 00:00:00', x'00')");
  const std::string before = Snapshot();

  const PublishRun verify = Publish({"verify"});
  EXPECT_EQ(verify.status, 1) << verify.err;
  const std::string& out = verify.out;
  EXPECT_TRUE(HasLine(out, "6\tBAT\tnurvrun.bat\t", "CRC-32")) << out;
  EXPECT_TRUE(HasLine(out, "100\tPRG\tnurv.exe\t", "строк: 2")) << out;
  EXPECT_TRUE(HasLine(out, "5\tSSL2\tssleay32.dll\t", "версия файла 1.0.2.21, в version 1.0.2"))
      << out;
  EXPECT_TRUE(HasLine(out, "4\tSSL1\tlibeay32.dll\t", "назван libeay.dll")) << out;
  EXPECT_TRUE(HasLine(out, "7\tCHM\tHelpNurv.chm\t", "updatedate")) << out;
  EXPECT_TRUE(HasLine(out, "8\tPDF\tHelpNurv.pdf\t", "не прошли проверку 7-Zip")) << out;
  EXPECT_TRUE(HasLine(out, "9\tEXP\tNurvExplorer.exe\t", "caption")) << out;
  EXPECT_TRUE(HasLine(out, "1\t7z\t" + std::string(SevenZipLibraryName()) + "\t", "NULL")) << out;
  EXPECT_TRUE(HasLine(out, "12\tLXP\t..\\ru.pak\t", "Недопустимое имя файла")) << out;
  EXPECT_TRUE(HasLine(out, "101\tCXP\tLIBCEF.DLL\t", "без учёта регистра")) << out;
  EXPECT_TRUE(HasLine(out, "102\tZZZ\t\t", "предупреждение")) << out;
  EXPECT_EQ(Lines(out).size(), 11u) << out;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(PublishSqlite, VersionIsTheFilesOwnUnlessForced) {
  ASSERT_EQ(Publish({"init"}).status, 0);
  const std::string unversioned = Source("in/main.bin", "no version resource here");
  EXPECT_EQ(Publish({"publish", "PRG", unversioned}).status, 3);
  EXPECT_EQ(Publish({"publish", "PRG", unversioned, "--version", "5.1.0.7"}).status, 0);
  const std::string versioned = Source("in/main.exe", BuildPeFile({5, 1, 10, 2}, {5, 1, 10, 2}));
  const std::string before = Snapshot();
  EXPECT_EQ(Publish({"publish", "PRG", versioned, "--version", "5.1.10.3"}).status, 3);
  EXPECT_EQ(Publish({"publish", "PRG", versioned, "--version", "5.1.x"}).status, 2);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(Publish({"publish", "PRG", versioned, "--version", "5.1.10.3", "--force"}).status, 0);
  const PublishRun list = Publish({"list"});
  EXPECT_TRUE(HasLine(list.out, "", "\tPRG\tnurv.exe\t5.1.10.3\t")) << list.out;
  EXPECT_EQ(Lines(list.out).size(), 1u) << list.out;
}

TEST_F(PublishSqlite, FailedCommandLeavesTheTableAsItWas) {
  PublishEveryCode();
  const std::string before = Snapshot();
  // Refused half-way: the old row is deleted inside the transaction, the new one is refused.
  Exec(db_,
       "CREATE TRIGGER refuse BEFORE INSERT ON UpdatesBLOB BEGIN SELECT RAISE(ABORT, 'insert "
       "refused'); END");
  const PublishRun refused = Publish({"publish", "BAT", dir_.Sub("in/run.bat")});
  EXPECT_EQ(refused.status, 3);
  EXPECT_NE(refused.err.find("insert refused"), std::string::npos) << refused.err;
  EXPECT_EQ(Publish({"publish-group", "CXP", dir_.Sub("cxp")}).status, 3);
  Exec(db_, "DROP TRIGGER refuse");
  EXPECT_EQ(Snapshot(), before);

  EXPECT_EQ(Publish({"publish", "BAT", dir_.Sub("in/missing.bat")}).status, 3);
  Source("bad/NurvLoader.exe", "not the loader");
  Source("bad/.~nurv-1.tmp", "staging");
  // Equal to the kept row's name but for case: one file on a Windows workstation.
  Source("bad/LIBCEF.DLL", "browser, other case");
  const PublishRun names = Publish({"publish-group", "CXP", dir_.Sub("bad"), "--keep"});
  EXPECT_EQ(names.status, 3);
  for (const char* name : {"NurvLoader.exe", ".~nurv-1.tmp", "без учёта регистра: libcef.dll"})
    EXPECT_NE(names.err.find(name), std::string::npos) << names.err;
  for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
           {"publish", "ZZZ", dir_.Sub("in/run.bat")},
           {"publish", "CXP", dir_.Sub("cxp")},
           {"publish-group", "BAT", dir_.Sub("cxp")},
           {"publish", "BAT", dir_.Sub("in/run.bat"), "--keep"},
           {"publish", "BAT", dir_.Sub("in/run.bat"), "--date", "2026-13-01 00:00:00"},
           {"remove"},
           {"frobnicate"}})
    EXPECT_EQ(Publish(usage).status, 2) << usage[0];
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(PublishSqlite, GroupRowsAreReplacedKeptOrRemoved) {
  ASSERT_EQ(Publish({"init"}).status, 0);
  Source("g1/a.dll", "a");
  Source("g1/sub/b.dll", "b");
  ASSERT_EQ(Publish({"publish-group", "CXP", dir_.Sub("g1")}).status, 0);
  std::filesystem::remove(Utf8Path(dir_.Sub("g1/a.dll")));
  Source("g1/c.dll", "c");
  ASSERT_EQ(Publish({"publish-group", "CXP", dir_.Sub("g1")}).status, 0);
  Source("g2/d.dll", "d");
  Source("g2/c.dll", "c, newer");
  ASSERT_EQ(
      Publish({"publish-group", "CXP", dir_.Sub("g2"), "--keep", "--date", "2026-05-06 07:08:09"})
          .status,
      0);
  const PublishRun list = Publish({"list"});
  const auto lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 3u) << list.out;
  EXPECT_TRUE(
      HasLine(list.out, "",
              "\tCXP\tsub\\b.dll\tNULL\t" + std::to_string(Crc32Of("b")) + "\t2026-03-02 08:15:42"))
      << list.out;
  EXPECT_TRUE(HasLine(
      list.out, "",
      "\tCXP\tc.dll\tNULL\t" + std::to_string(Crc32Of("c, newer")) + "\t2026-05-06 07:08:09"))
      << list.out;
  EXPECT_TRUE(
      HasLine(list.out, "",
              "\tCXP\td.dll\tNULL\t" + std::to_string(Crc32Of("d")) + "\t2026-05-06 07:08:09"))
      << list.out;

  const PublishRun removed = Publish({"remove", "CXP", "sub\\b.dll", "d.dll"});
  EXPECT_EQ(removed.status, 0);
  EXPECT_NE(removed.out.find("2"), std::string::npos) << removed.out;
  EXPECT_EQ(Lines(Publish({"list"}).out).size(), 1u);
  EXPECT_EQ(Publish({"remove", "CXP"}).status, 0);
  EXPECT_EQ(Publish({"list"}).out, "");
}

TEST_F(PublishSqlite, ListAndVerifyShowControlCharactersOfTheTableEscaped) {
  PublishEveryCode();
  Exec(db_,
       "UPDATE UpdatesBLOB SET version = '1.0.2' || char(13, 10) || '==== x' WHERE tdoc = 'SSL2'");
  Exec(db_, "UPDATE UpdatesBLOB SET caption = 'a' || char(10) || 'b' WHERE tdoc = 'EXP'");
  Exec(db_,
       "INSERT INTO UpdatesBLOB (vcode, tdoc, name, caption, updatedate, fblob) VALUES (102, "
       "'Z' || char(10) || 'Z', 'n' || char(9) || 'm', 0, '2026-01-01 00:00:00', x'00')");
  const PublishRun list = Publish({"list"});
  const PublishRun verify = Publish({"verify"});
  EXPECT_TRUE(HasLine(list.out, "5\tSSL2\t", "\t1.0.2\\x0D\\x0A==== x\t")) << list.out;
  EXPECT_TRUE(HasLine(verify.out, "9\tEXP\t", "'a\\x0Ab'")) << verify.out;
  EXPECT_TRUE(HasLine(verify.out, "102\tZ\\x0AZ\tn\\x09m\t", "предупреждение")) << verify.out;
  // One row a line, its fields between tabs: seven in a row of the list, four in a problem.
  for (const std::string& line : Lines(list.out))
    EXPECT_EQ(std::ranges::count(line, '\t'), 6) << line;
  for (const std::string& line : Lines(verify.out))
    EXPECT_EQ(std::ranges::count(line, '\t'), 3) << line;
}

// Each release writes patches from the files its rows replace and from older releases named; they
// go with their rows, and verify names a patch that belongs to no row or to other bytes.
TEST_F(PublishSqlite, PatchesAreWrittenWithTheirRowsAndGoWithThem) {
  ASSERT_EQ(Publish({"init"}).status, 0);
  const std::string v0 = IncompressibleBytes(64 << 10, 1);
  std::string v1 = v0;
  v1.replace(100, 50, IncompressibleBytes(50, 2));
  std::string v2 = v1;
  v2.insert(30000, "a change");
  const auto count = [&](const std::string& where) {
    db::Connection connection;
    connection.SetParams(params_);
    return ValueText(connection.ExecuteScalar("SELECT count(*) FROM UpdatesDelta " + where));
  };
  ASSERT_EQ(Publish({"publish", "CHM", Source("r1/help.chm", v1)}).status, 0);
  EXPECT_EQ(count(""), "0") << "nothing replaced, nothing named";
  for (const char* release : {"g0", "g1"}) Source(std::string(release) + "/a.dll", v0);
  Source("g2/a.dll", v2);
  ASSERT_EQ(Publish({"publish-group", "CXP", dir_.Sub("g1")}).status, 0);

  const PublishRun chm =
      Publish({"publish", "CHM", Source("r2/help.chm", v2), "--delta-from",
               Source("r0/help.chm", v0), "--delta-from", dir_.Sub("r1/help.chm")});
  ASSERT_EQ(chm.status, 0) << chm.err;
  EXPECT_TRUE(HasLine(chm.out, "Разностей для HelpNurv.chm: 2", "")) << chm.out;
  const PublishRun group =
      Publish({"publish-group", "CXP", dir_.Sub("g2"), "--delta-from", dir_.Sub("g0")});
  ASSERT_EQ(group.status, 0) << group.err;
  EXPECT_TRUE(HasLine(group.out, "Разностей для a.dll: 1", "")) << "one base, named twice";
  const PublishRun list = Publish({"list"});
  EXPECT_TRUE(HasLine(list.out, "3\tразность\t65536\t" + std::to_string(Crc32Of(v0)), ""))
      << list.out;
  EXPECT_TRUE(HasLine(list.out, "3\tразность\t65536\t" + std::to_string(Crc32Of(v1)), ""));
  EXPECT_EQ(Publish({"verify"}).status, 0);

  Exec(db_, "UPDATE UpdatesDelta SET rowsha256 = 'ab' WHERE vcode = 4");
  Exec(db_,
       "INSERT INTO UpdatesDelta SELECT 99, basesize, basecrc, fullsize, rowsha256, patch "
       "FROM UpdatesDelta WHERE vcode = 4");
  const PublishRun verify = Publish({"verify"});
  EXPECT_EQ(verify.status, 1);
  const std::string base = "разность от файла 65536 байт, CRC-32 " + std::to_string(Crc32Of(v0));
  EXPECT_EQ(Lines(verify.out),
            (std::vector<std::string>{"4\tCXP\ta.dll\t" + base + " сделана не для этой строки",
                                      "99\t\t\t" + base + " без строки UpdatesBLOB"}));

  EXPECT_EQ(Publish({"remove", "CHM"}).status, 0);
  EXPECT_EQ(count("WHERE vcode = 3"), "0");
  EXPECT_EQ(count("WHERE vcode = 4"), "1");
}

}  // namespace
}  // namespace nurv::testing
