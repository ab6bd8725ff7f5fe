#pragma once
// Runs the built nurv-publish as an administrator runs it and reads the table it leaves.
#include <gtest/gtest.h>

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
inline std::string TableSnapshot(const db::ConnectParams& params, const TempDir& scratch) {
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
    rows->SaveBlobToFile("fblob", scratch.Sub("snapshot.bin"));
    const std::string bytes = ReadFile(scratch.Sub("snapshot.bin"));
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

  // A new signing key pair in `folder` of the test's folder (keygen needs no connection).
  PublishRun Keygen(const std::string& folder) const {
    std::filesystem::create_directories(Utf8Path(dir_.Sub(folder)));
    PublishRun run;
    const ProcessRef process = StartProcess(NURV_PUBLISH_PATH, {"keygen", dir_.Sub(folder)},
                                            dir_.Sub("out.txt"), dir_.Sub("err.txt"));
    if (process == kNoProcess) return run;
    run.status = WaitForProcess(process);
    run.out = ReadFile(dir_.Sub("out.txt"));
    run.err = ReadFile(dir_.Sub("err.txt"));
#ifdef _WIN32
    std::erase(run.out, '\r');
#endif
    return run;
  }

  std::string Snapshot() const { return TableSnapshot(params_, dir_); }

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
