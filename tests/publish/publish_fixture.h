#pragma once
// Runs the built nurv-publish as an administrator runs it and reads the table it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "base/date_utils.h"
#include "common/child_process.h"
#include "common/pe_builder.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "db/database.h"
#include "platform/files.h"

namespace nurv::testing {

struct PublishRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Every row with every column, `fblob` by its size and CRC-32: what a failed command must leave
// exactly as it found it.
inline std::string TableSnapshot(const db::ConnectParams& params) {
  db::Connection connection;
  connection.SetParams(params);
  auto rows = connection.OpenDataset("SELECT * FROM UpdatesBLOB ORDER BY vcode");
  std::string snapshot;
  for (rows->First(); !rows->Eof(); rows->Next()) {
    for (const char* column : {"vcode", "tdoc", "name", "version", "caption", "updatedate"}) {
      const Value value = rows->Field(column);
      const auto* time = std::get_if<DateTime>(&value);
      snapshot += (time ? SqlDateTimeText(*time) : ValueText(value).value_or("NULL")) + "|";
    }
    if (rows->BlobIsNull("fblob")) {
      snapshot += "NULL\n";
      continue;
    }
    const std::string bytes = BlobBytes(*rows);
    snapshot += std::to_string(bytes.size()) + ":" + std::to_string(Crc32Of(bytes)) + "\n";
  }
  return snapshot;
}

// A test with its own folder and an update database that nurv-publish is pointed at.
class PublishTest : public ::testing::Test {
 protected:
  // Runs nurv-publish with the connection's options, then `args`.
  PublishRun Publish(const std::vector<std::string>& args) const {
    std::vector<std::string> line{"--server", params_.server, "--database", params_.database};
    if (!params_.user.empty()) line.insert(line.end(), {"--user", params_.user});
    if (params_.password) line.insert(line.end(), {"--password", *params_.password});
    line.insert(line.end(), args.begin(), args.end());
    return Run(line);
  }

  // A new signing key pair in `folder` of the test's folder (keygen needs no connection).
  PublishRun Keygen(const std::string& folder) const {
    std::filesystem::create_directories(Utf8Path(dir_.Sub(folder)));
    return Run({"keygen", dir_.Sub(folder)});
  }

  // Runs nurv-publish with exactly `line`; its output without the CRs of Windows line ends.
  PublishRun Run(const std::vector<std::string>& line) const {
    PublishRun run;
    const ProcessRef process =
        StartProcess(NURV_PUBLISH_PATH, line, dir_.Sub("out.txt"), dir_.Sub("err.txt"));
    if (process == kNoProcess) return run;
    run.status = WaitForProcess(process);
    run.out = ReadFile(dir_.Sub("out.txt"));
    run.err = ReadFile(dir_.Sub("err.txt"));
#ifdef _WIN32
    std::erase(run.out, '\r');
#endif
    return run;
  }

  std::string Snapshot() const { return TableSnapshot(params_); }

  // A file under the test's folder with `bytes`, modified at kSourceTime.
  std::string Source(const std::string& relative, const std::string& bytes) const {
    const std::string path = dir_.Sub(relative);
    std::filesystem::create_directories(Utf8Path(path).parent_path());
    WriteFile(path, bytes);
    EXPECT_TRUE(platform::WriteModifiedTime(path, kSourceTime));
    return path;
  }

  // An even second: 7z items keep their time to two seconds.
  static inline const DateTime kSourceTime =
      std::chrono::local_days(std::chrono::year(2026) / 3 / 2) + std::chrono::hours(8) +
      std::chrono::minutes(15) + std::chrono::seconds(42);

  // Every code of the catalogue, from files named unlike the modules; `signing`: "--key" FILE.
  void PublishEveryCode(const std::vector<std::string>& signing = {}) {
    ASSERT_EQ(Publish({"init"}).status, 0);
    const struct {
      const char* code;
      std::string file;
    } modules[] = {
        {"7z", Source("in/lib7z.bin", "seven zip library stand-in")},
        {"LDR", Source("in/loader-build.exe", BuildPeFile({6, 3, 0, 0}, {6, 3, 0, 0}))},
        {"PRG", Source("in/main-build.exe", BuildPeFile({5, 1, 10, 2}, {5, 1, 10, 2}))},
        {"SSL1", Source("in/libeay.dll", BuildPeFile({1, 0, 2, 21}, {1, 0, 2, 21}))},
        {"SSL2", Source("in/ssleay.dll", BuildPeFile({1, 0, 2, 21}, {1, 0, 2, 21}, true))},
        {"BAT", Source("in/run.bat", "@echo off\r\nstart nurv.exe %*\r\n")},
        {"CHM", Source("in/help.chm", "ITSF help")},
        {"PDF", Source("in/help.pdf", "%PDF-1.4 help")},
        {"EXP", Source("in/explorer.exe", BuildPeFile({2, 0, 0, 7}, {2, 0, 0, 7}))},
    };
    for (const auto& module : modules) {
      std::vector<std::string> args{"publish", module.code, module.file};
      args.insert(args.end(), signing.begin(), signing.end());
      const PublishRun run = Publish(args);
      ASSERT_EQ(run.status, 0) << module.code << ": " << run.err;
    }
    Source("cxp/libcef.dll", "browser");
    Source("cxp/sub/icudtl.dat", "icu");
    Source("lxp/ru.pak", "locale");
    Source("swi/libEGL.dll", "egl");
    Source("doc/Бланк_01.doc", "blank");
    Source("xls/Форма_01.xls", "form");
    for (const char* group : {"CXP", "LXP", "SWI", "DOC", "XLS"}) {
      std::string folder = group;
      std::transform(folder.begin(), folder.end(), folder.begin(), ::tolower);
      std::vector<std::string> args{"publish-group", group, dir_.Sub(folder)};
      args.insert(args.end(), signing.begin(), signing.end());
      const PublishRun run = Publish(args);
      ASSERT_EQ(run.status, 0) << group << ": " << run.err;
    }
  }

  TempDir dir_;
  db::ConnectParams params_;
};

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace nurv::testing
