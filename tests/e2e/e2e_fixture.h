#pragma once
// Runs the built nurvloader-cli on a complex laid out in a temporary folder: the CLI is copied
// into the complex's Bin (its folder is the loader's folder), the user's settings, Trash and
// temporary folder point into the test's folder, and the demo main program stands in for nurv.exe.
// The same fixture runs the Windows build under Wine; there the user's registry key is the real one
// (ScopedTestRegistry::Reach::kStartedPrograms).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/child_process.h"
#include "common/complex_fixture.h"
#include "common/pe_builder.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "support/sevenzip_fixture.h"

#ifdef _WIN32
#include "base/utf8.h"
#endif

namespace nurv::testing {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

inline const std::string kStars(64, '*');

struct CliRun {
  int status = -1;
  Lines out;        // stdout, line by line
  std::string err;  // stderr
};

inline Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
#ifdef _WIN32
    // Windows' text-mode output ends each line with CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
#endif
    lines.push_back(line);
  }
  return lines;
}

// A program built beside nurvloader-cli, by its bare name; the path is made absolute while the
// tests run on the build tree's drive (Windows sees the build tree's path without a drive).
inline std::string BuiltProgram(const std::string& name) {
  const fs::path cli = fs::absolute(Utf8Path(NURV_CLI_PATH)).make_preferred();
  return Utf8Text(cli.parent_path() / Utf8Path(name + Utf8Text(cli.extension())));
}

// The file's modification time in local time, as the platform's C library tells it.
inline std::optional<std::tm> LocalModificationTime(const std::string& path) {
  std::tm local{};
#ifdef _WIN32
  struct _stat64 info {};
  if (_wstat64(Utf8ToUtf16<wchar_t>(path).c_str(), &info) != 0 ||
      _localtime64_s(&local, &info.st_mtime) != 0) {
    return std::nullopt;
  }
#else
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || localtime_r(&info.st_mtime, &local) == nullptr) {
    return std::nullopt;
  }
#endif
  return local;
}

// The main program in two versions, prepared once: the demo main program with a version attached.
class MainPrograms {
 public:
  static MainPrograms& Get() {
    static MainPrograms programs;
    return programs;
  }
  std::string Old() const { return dir_.Sub("nurv-5.1.9.2"); }
  std::string New() const { return dir_.Sub("nurv-5.1.10.2"); }
  // A 7z archive made by the `7z` command holding the newer main program as "nurv.exe".
  const std::string& NewArchive() const { return new_archive_; }
  const std::string& NewBytes() const { return new_bytes_; }

 private:
  MainPrograms() {
    const std::string demo_main = BuiltProgram("nurv-demo-main");
    if (!fs::exists(Utf8Path(demo_main))) throw std::runtime_error("missing " + demo_main);
    fs::copy_file(Utf8Path(demo_main), Utf8Path(Old()));
    AttachVersionSection(Old(), {5, 1, 9, 2}, {5, 1, 9, 2});
    fs::create_directories(Utf8Path(dir_.Sub("pack")));
    const std::string packed = dir_.Sub("pack/nurv.exe");
    fs::copy_file(Utf8Path(demo_main), Utf8Path(packed));
    AttachVersionSection(packed, {5, 1, 10, 2}, {5, 1, 10, 2});
    fs::copy_file(Utf8Path(packed), Utf8Path(New()));
    new_bytes_ = ReadFile(packed);
    if (!Run7z(dir_.Sub("pack"), "a -t7z -y nurv.7z nurv.exe"))
      throw std::runtime_error("7z failed");
    new_archive_ = ReadFile(dir_.Sub("pack/nurv.7z"));
  }
  TempDir dir_;
  std::string new_archive_;
  std::string new_bytes_;
};

inline UpdateRow VersionRow(std::int64_t vcode, const std::string& tdoc,
                            std::optional<std::string> version) {
  UpdateRow row;
  row.vcode = vcode;
  row.tdoc = tdoc;
  row.version = std::move(version);
  return row;
}

inline UpdateRow FileRow(std::int64_t vcode, const std::string& tdoc, const std::string& name,
                         const std::string& bytes, const std::string& time) {
  UpdateRow row;
  row.vcode = vcode;
  row.tdoc = tdoc;
  row.name = name;
  row.caption = static_cast<std::int64_t>(Crc32Of(bytes));
  row.updatedate = time;
  row.fblob = bytes;
  return row;
}

class CliTest : public ::testing::Test {
 protected:
  // The complex in `folder` of the test's folder, or in the test's folder itself.
  explicit CliTest(std::string folder = {})
      : complex_(std::move(folder), ScopedTestRegistry::Reach::kStartedPrograms) {}

  // Prepared before any test points the temporary folder into its own folder.
  static void SetUpTestSuite() { MainPrograms::Get(); }

  void SetUp() override {
    const std::string bin = complex_.Bin();
    fs::copy_file(Utf8Path(BuiltProgram("nurvloader-cli")), Utf8Path(Cli()));
#ifdef _WIN32
    // 7-Zip's library beside the loader, where it looks first: Windows' system folder has none.
    fs::copy_file(Utf8Path(kSystemSevenZip), Utf8Path(bin + "7za.dll"));
#endif
    fs::copy_file(Utf8Path(MainPrograms::Get().Old()), Utf8Path(bin + "nurv.exe"));
    // The installed loader and its copy in the update folder, as the update table knows them.
    const std::string loader = BuildPeFile({6, 3, 0, 0}, {6, 3, 0, 0});
    WriteFile(bin + "NurvLoader.exe", loader);
    WriteFile(complex_.Path("Update/NurvLoader.exe"), loader);
    CreateUpdateDatabase(complex_.Db(),
                         {VersionRow(1, "PRG", "5.1.9.2"), VersionRow(2, "LDR", "6.3.0.0")});
    complex_.WriteIniForDb();
    complex_.WriteRegistryForDb();
  }

  // The CLI in the complex's program folder, by its built name.
  std::string Cli() const {
    return complex_.Bin() + Utf8Text(Utf8Path(BuiltProgram("nurvloader-cli")).filename());
  }

  CliRun RunCli(const Lines& args = {}) { return FinishCli(StartCli(args)); }

  struct StartedCli {
    ProcessRef process = kNoProcess;
    std::string out_path;
    std::string err_path;
  };

  // Starts the CLI without waiting for it; its stdout and stderr go to `name`.out and .err.
  StartedCli StartCli(const Lines& args = {}, const std::string& name = "cli") {
    StartedCli started{kNoProcess, complex_.Path(name + ".out"), complex_.Path(name + ".err")};
    started.process = StartProcess(Cli(), args, started.out_path, started.err_path);
    if (started.process == kNoProcess) ADD_FAILURE() << "cannot start " << Cli();
    return started;
  }

  // A run that must end by itself within `limit`: status -1 when it had to be killed.
  CliRun RunCliWithin(std::chrono::seconds limit, const Lines& args = {}) {
    return FinishCli(StartCli(args), limit);
  }

  // Waits for a started CLI and collects what it wrote.
  CliRun FinishCli(const StartedCli& started, std::optional<std::chrono::seconds> limit = {}) {
    CliRun run;
    if (started.process == kNoProcess) return run;
    run.status =
        limit ? WaitForProcessUpTo(started.process, *limit) : WaitForProcess(started.process);
    run.out = SplitLines(ReadFile(started.out_path));
    run.err = ReadFile(started.err_path);
    return run;
  }

  // The arguments the main program was started with; waits for its record (it is not waited
  // for by the loader), empty when it never appears.
  // Waits only when the run reported the start as done. The record is never empty (its first line
  // is the program's path): under Wine a file just renamed into place can read empty for a moment.
  Lines AwaitLaunch(const CliRun& run) const {
    const std::string path = complex_.Bin() + "nurv-launch.txt";
    const bool started = std::find(run.out.begin(), run.out.end(), "OK") != run.out.end();
    std::string record = ReadFile(path);
    for (int i = 0; started && i < 2000 && record.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      record = ReadFile(path);
    }
    return SplitLines(record);
  }
  bool Launched() const { return fs::exists(Utf8Path(complex_.Bin() + "nurv-launch.txt")); }

  std::string Server() const { return SqliteServerName(complex_.Db()); }
  // The started main program's arguments after its path for a run without switches.
  Lines LaunchArgs(const Lines& forwarded = {}) const {
    Lines args{complex_.Bin() + "nurv.exe", "/loader"};
    args.insert(args.end(), forwarded.begin(), forwarded.end());
    const Lines tail{"-server=" + Server(), "-database=demo", "-caption=Демо", "база"};
    args.insert(args.end(), tail.begin(), tail.end());
    return args;
  }

  ComplexOnDisk complex_;
};

// The lines as the log shows them, for failure messages.
inline std::string Joined(const Lines& lines) {
  std::string text = "\n";
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

inline bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline long CountPrefix(const Lines& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

}  // namespace nurv::testing
