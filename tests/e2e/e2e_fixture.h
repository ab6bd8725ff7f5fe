#pragma once
// Runs the built nurvloader-cli on a complex laid out in a temporary folder: the CLI is copied
// into the complex's Bin (its folder is the loader's folder), the user's settings, Trash and
// temporary folder point into the test's folder, and the demo main program stands in for nurv.exe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/complex_fixture.h"
#include "common/pe_builder.h"
#include "common/temp_dir.h"
#include "common/update_db.h"

extern char** environ;

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
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
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
    const std::string demo_main = fs::path(NURV_CLI_PATH).parent_path() / "nurv-demo-main";
    if (!fs::exists(demo_main)) throw std::runtime_error("missing " + demo_main);
    fs::copy_file(demo_main, Old());
    AttachVersionSection(Old(), {5, 1, 9, 2}, {5, 1, 9, 2});
    fs::create_directories(dir_.Sub("pack"));
    const std::string packed = dir_.Sub("pack/nurv.exe");
    fs::copy_file(demo_main, packed);
    AttachVersionSection(packed, {5, 1, 10, 2}, {5, 1, 10, 2});
    fs::copy_file(packed, New());
    new_bytes_ = ReadFile(packed);
    const std::string command =
        "cd '" + dir_.Sub("pack") + "' && 7z a -t7z -bd -y nurv.7z nurv.exe >/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("7z failed");
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
  explicit CliTest(std::string folder = {}) : complex_(std::move(folder)) {}

  // Prepared before any test points TMPDIR into its own folder.
  static void SetUpTestSuite() { MainPrograms::Get(); }

  void SetUp() override {
    const std::string bin = complex_.Bin();
    fs::copy_file(NURV_CLI_PATH, bin + "nurvloader-cli");
    fs::copy_file(MainPrograms::Get().Old(), bin + "nurv.exe");
    // The installed loader and its copy in the update folder, as the update table knows them.
    const std::string loader = BuildPeFile({6, 3, 0, 0}, {6, 3, 0, 0});
    WriteFile(bin + "NurvLoader.exe", loader);
    WriteFile(complex_.Path("Update/NurvLoader.exe"), loader);
    CreateUpdateDatabase(complex_.Db(),
                         {VersionRow(1, "PRG", "5.1.9.2"), VersionRow(2, "LDR", "6.3.0.0")});
    complex_.WriteIniForDb();
    complex_.WriteRegistryForDb();
  }

  CliRun RunCli(const Lines& args = {}) { return FinishCli(StartCli(args)); }

  struct StartedCli {
    pid_t pid = -1;
    std::string out_path;
    std::string err_path;
  };

  // Starts the CLI without waiting for it; its stdout and stderr go to `name`.out and .err.
  StartedCli StartCli(const Lines& args = {}, const std::string& name = "cli") {
    const std::string program = complex_.Bin() + "nurvloader-cli";
    StartedCli started{-1, complex_.Path(name + ".out"), complex_.Path(name + ".err")};
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, started.out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, started.err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int spawned =
        posix_spawn(&started.pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << program;
      started.pid = -1;
    }
    return started;
  }

  // Waits for a started CLI and collects what it wrote.
  CliRun FinishCli(const StartedCli& started) {
    CliRun run;
    if (started.pid < 0) return run;
    int status = 0;
    while (waitpid(started.pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = SplitLines(ReadFile(started.out_path));
    run.err = ReadFile(started.err_path);
    return run;
  }

  // The arguments the main program was started with; waits for its record (it is not waited
  // for by the loader), empty when it never appears.
  // Waits only when the run reported the start as done.
  Lines AwaitLaunch(const CliRun& run) const {
    const std::string path = complex_.Bin() + "nurv-launch.txt";
    const bool started = std::find(run.out.begin(), run.out.end(), "OK") != run.out.end();
    for (int i = 0; started && i < 2000 && !fs::exists(path); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return SplitLines(ReadFile(path));
  }
  bool Launched() const { return fs::exists(complex_.Bin() + "nurv-launch.txt"); }

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
