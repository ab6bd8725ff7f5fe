#include <gtest/gtest.h>

#include "cli_postgres_fixture.h"
#include "db/db_internal.h"

namespace nurv::testing {
namespace {

constexpr char kRowColumns[] =
    "vcode integer, icode integer, tdoc text, version text, name text, caption text, "
    "result integer, wdate timestamp, updatedate timestamp, repl integer, fblob bytea";
// The main program and the loader as installed: only the browser's files are to be written.
constexpr char kInstalledVersions[] =
    "INSERT INTO UpdatesBLOB (vcode, tdoc, version) VALUES (1, 'PRG', '5.1.9.2'), "
    "(2, 'LDR', '6.3.0.0');";
const Lines kBrowserStageWrote = {"Обновление библиотек браузера...", "libcef.dll", "icudtl.dat",
                                  " -> Выгрузка библиотек браузера - OK"};

Lines LinesFrom(const Lines& out, const std::string& first, std::size_t count) {
  const auto at = std::find(out.begin(), out.end(), first);
  if (static_cast<std::size_t>(out.end() - at) < count) return {};
  return Lines(at, at + static_cast<std::ptrdiff_t>(count));
}

TEST_F(CliPostgresTest, RejectedLoginIsAnInitialisationError) {
  server_->Execute(std::string("ALTER ROLE \"") + PgServer::kLoaderLogin +
                   "\" PASSWORD 'changed-by-the-administrator'");
  const CliRun run = RunCli();
  server_->Execute(std::string("ALTER ROLE \"") + PgServer::kLoaderLogin + "\" PASSWORD '" +
                   PgServer::kLoaderPassword + "'");
  EXPECT_EQ(run.status, 1) << Joined(run.out);
  const std::string head = "--> ОШИБКА подключения: Сервер: [" + server_->ServerName() +
                           "], БД: [" + PgServer::kDatabase + "]";
  const auto entry = std::find(run.out.begin(), run.out.end(), head);
  ASSERT_NE(entry, run.out.end()) << Joined(run.out);
  EXPECT_EQ((entry + 1)->rfind("--> ТЕКСТ ОШИБКИ: \"Ошибка аунтификации...", 0), 0u);
  EXPECT_EQ(CountPrefix(run.out, "Считывание номера"), 0);
  EXPECT_EQ(run.out.back(), kStars);
  EXPECT_FALSE(Launched());
}

TEST_F(CliPostgresTest, LoginWithoutTheSelectRightCannotUpdate) {
  server_->Execute(std::string("REVOKE SELECT ON UpdatesBLOB FROM \"") + PgServer::kLoaderLogin +
                   "\"");
  const CliRun run = RunCli();
  server_->Execute(std::string("GRANT SELECT ON UpdatesBLOB TO \"") + PgServer::kLoaderLogin +
                   "\"");
  EXPECT_EQ(run.status, 1) << Joined(run.out);
  EXPECT_TRUE(Contains(run.out, "Соединение с сервером: [" + server_->ServerName() + "], БД: [" +
                                    PgServer::kDatabase + "] - OK"));
  const auto entry =
      std::find(run.out.begin(), run.out.end(), "--> ОШИБКА! Нет прав на обновление...");
  ASSERT_NE(entry, run.out.end()) << Joined(run.out);
  EXPECT_NE((entry + 1)->find("permission"), std::string::npos);
  EXPECT_EQ(CountPrefix(run.out, "Считывание номера"), 0);
  EXPECT_FALSE(Launched());
}

// Files are read from the server in slices: the last one short, an empty file, a NULL one.
TEST_F(CliPostgresTest, BrowserFilesAreReadInSlices) {
  std::string bytes(3 * db::kBlobSliceBytes + 1, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 2654435761u >> 13);
  const std::string source = server_->MakeServerReadableFile("slices.bin", bytes);
  server_->Execute("TRUNCATE UpdatesBLOB;" + std::string(kInstalledVersions) +
                   "INSERT INTO UpdatesBLOB (vcode, tdoc, name, caption, updatedate, fblob) VALUES "
                   "(3, 'CXP', 'libcef.dll', '" +
                   std::to_string(Crc32Of(bytes)) +
                   "', '2024-03-01 10:00:00', pg_read_binary_file('" + source +
                   "')), (4, 'CXP', 'icudtl.dat', '0', '2024-03-01 10:00:00', ''::bytea), "
                   "(5, 'CXP', 'v8.bin', '0', '2024-03-01 10:00:00', NULL)");
  const CliRun run = RunCli();
  EXPECT_EQ(run.status, 0) << Joined(run.out);
  EXPECT_EQ(LinesFrom(run.out, kBrowserStageWrote[0], 4), kBrowserStageWrote) << Joined(run.out);
  EXPECT_TRUE(ReadFile(complex_.Bin() + "libcef.dll") == bytes);
  EXPECT_TRUE(fs::exists(complex_.Bin() + "icudtl.dat"));
  EXPECT_EQ(fs::file_size(complex_.Bin() + "icudtl.dat"), 0u);
  EXPECT_FALSE(fs::exists(complex_.Bin() + "v8.bin"));
}

// A row rewritten between two slices gives bytes of neither version: the CRC-32 check refuses
// them and the installed file stays.
TEST_F(CliPostgresTest, RowRewrittenBetweenSlicesFailsItsStage) {
  constexpr char kRewritten[] = "nurvrewritten";
  server_->Execute(std::string("DROP DATABASE IF EXISTS ") + kRewritten, "postgres");
  server_->Execute(std::string("CREATE DATABASE ") + kRewritten, "postgres");
  const std::string size = std::to_string(db::kBlobSliceBytes + 1);
  // The table as a view whose BLOB another session rewrites between any two reads: every read
  // of a BLOB gets the other of two versions of the same size.
  server_->Execute(std::string("CREATE TABLE store (") + kRowColumns + ", other bytea);" +
                       "CREATE SEQUENCE reads;"
                       "CREATE FUNCTION in_turn(first bytea, second bytea) RETURNS bytea VOLATILE "
                       "LANGUAGE sql AS $$ SELECT CASE WHEN first IS NULL THEN NULL WHEN "
                       "nextval('reads') % 2 = 0 THEN first ELSE second END $$;"
                       "CREATE VIEW UpdatesBLOB AS SELECT vcode, icode, tdoc, version, name, "
                       "caption, result, wdate, updatedate, repl, in_turn(fblob, other) AS fblob "
                       "FROM store;"
                       "GRANT SELECT ON UpdatesBLOB TO \"" +
                       PgServer::kLoaderLogin + "\"; GRANT USAGE ON SEQUENCE reads TO \"" +
                       PgServer::kLoaderLogin + "\";" +
                       "INSERT INTO store (vcode, tdoc, version) VALUES (1, 'PRG', '5.1.9.2'), "
                       "(2, 'LDR', '6.3.0.0');"
                       "INSERT INTO store (vcode, tdoc, name, caption, updatedate, fblob, other) "
                       "VALUES (3, 'CXP', 'libcef.dll', '" +
                       std::to_string(Crc32Of(std::string(db::kBlobSliceBytes + 1, 'a'))) +
                       "', '2024-03-01 10:00:00', convert_to(repeat('a', " + size +
                       "), 'UTF8'), convert_to(repeat('b', " + size + "), 'UTF8'))",
                   kRewritten);
  complex_.WriteIni(server_->ServerName(), kRewritten);
  WriteFile(complex_.Bin() + "libcef.dll", "installed");
  // Older than the row, so that the row is to be written.
  fs::last_write_time(complex_.Bin() + "libcef.dll",
                      fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 10));

  const CliRun run = RunCli();
  server_->Execute(std::string("DROP DATABASE ") + kRewritten, "postgres");
  EXPECT_EQ(run.status, 2) << Joined(run.out);
  const Lines failed = {
      "Обновление библиотек браузера...", "libcef.dll",
      "--> ОШИБКА выгрузки. Контрольная сумма файла [" + complex_.Bin() + "libcef.dll] не верна",
      " -> Выгрузка библиотек браузера - ОШИБКА"};
  EXPECT_EQ(LinesFrom(run.out, failed[0], 4), failed) << Joined(run.out);
  EXPECT_EQ(ReadFile(complex_.Bin() + "libcef.dll"), "installed");
}

// Rows signed by nurv-publish on the server, the key trusted by nurv.ini: installed, then nothing
// written again.
TEST_F(CliPostgresTest, SignedRowsOfTheServerLandAndTheSecondRunWritesNothing) {
  const std::string signer = "NurvSigner", password = "Sign#2026";
  server_->Execute("DELETE FROM UpdatesBLOB; CREATE ROLE \"" + signer + "\" LOGIN PASSWORD '" +
                   password + "'; GRANT ALL ON UpdatesBLOB TO \"" + signer +
                   "\"; GRANT CREATE ON SCHEMA public TO \"" + signer + "\"");
  const auto publish = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--server", server_->ServerName(), "--database", PgServer::kDatabase,
                               "--user", signer, "--password", password});
    const ProcessRef process = StartProcess(BuiltProgram("nurv-publish"), args,
                                            complex_.Path("publish.out"), complex_.Path("err"));
    EXPECT_EQ(process == kNoProcess ? -1 : WaitForProcess(process), 0)
        << args[8] << ": " << ReadFile(complex_.Path("err"));
    return SplitLines(ReadFile(complex_.Path("publish.out")));
  };
  publish({"init"});
  server_->Execute(std::string("GRANT SELECT ON UpdatesSign TO \"") + PgServer::kLoaderLogin +
                   "\"");
  fs::create_directories(Utf8Path(complex_.Path("keys")));
  const Lines keygen = publish({"keygen", complex_.Path("keys")});
  const std::string key = complex_.Path("keys/nurv-publish.key");
  const std::string main = complex_.Path("release/nurv-5.1.10.2");
  fs::create_directories(Utf8Path(complex_.Path("release/cxp")));
  fs::copy_file(Utf8Path(MainPrograms::Get().New()), Utf8Path(main));
  WriteFile(complex_.Path("release/run.bat"), "@echo off\r\n");
  WriteFile(complex_.Path("release/cxp/libcef.dll"), "browser");
  publish({"publish", "PRG", main, "--key", key});
  publish({"publish", "LDR", complex_.Bin() + "NurvLoader.exe", "--key", key});
  publish({"publish", "BAT", complex_.Path("release/run.bat"), "--key", key});
  publish({"publish-group", "CXP", complex_.Path("release/cxp"), "--key", key});
  complex_.WriteIni(server_->ServerName(), PgServer::kDatabase);
  const std::string ini = complex_.Bin() + "nurv.ini";
  WriteFile(ini, ReadFile(ini) + "[Security]\nTrustedKey3=" + keygen.back() + "\n");

  const CliRun first = RunCli();
  EXPECT_EQ(first.status, 0) << first.err << Joined(first.out);
  EXPECT_EQ(ReadFile(complex_.Bin() + "nurv.exe"), MainPrograms::Get().NewBytes());
  EXPECT_EQ(ReadFile(complex_.Bin() + "nurvrun.bat"), "@echo off\r\n");
  EXPECT_EQ(ReadFile(complex_.Bin() + "libcef.dll"), "browser");
  AwaitLaunch(first);
  const CliRun second = RunCli();
  EXPECT_EQ(second.status, 0) << second.err;
  for (const std::string& line : second.out)
    EXPECT_FALSE(line.rfind(" -> ", 0) == 0 && !line.ends_with("НЕ ТРЕБУЕТСЯ")) << line;
  AwaitLaunch(second);
}

}  // namespace
}  // namespace nurv::testing
