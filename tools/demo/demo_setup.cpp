// Lays out a demo complex for nurvloader-cli:
//   <demo>/complex/{Bin,Update,Help,Shablon,Report}, Bin holding copies of the loader binaries,
//   an older demo main program as nurv.exe and nurv.ini naming the demo database as connection 51;
//   <demo>/release, the files of a newer release, and <demo>/updates.db, the update table that
//   nurv-publish (built beside the loader) fills from them with a row for every module code.
// Built for Windows too, where it lays out the complex with the Windows programs and library.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_line/tool_command_line.h"
#include "common/child_process.h"
#include "common/pe_builder.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "nurv_version.h"
#include "platform/files.h"
#include "support/sevenzip_archive.h"
#include "support/sevenzip_fixture.h"

namespace {

namespace fs = std::filesystem;
using nurv::FourPartVersion;
using nurv::testing::ReadFile;
using nurv::testing::Utf8Path;
using nurv::testing::Utf8Text;
using nurv::testing::WriteFile;

// The time of the release's files, which becomes the rows' updatedate.
const nurv::DateTime kReleaseTime = std::chrono::local_days(std::chrono::year(2026) / 1 / 15) +
                                    std::chrono::hours(9) + std::chrono::minutes(30);
#ifdef _WIN32
constexpr char kProgramSuffix[] = ".exe";
#else
constexpr char kProgramSuffix[] = "";
#endif

constexpr nurv::tools::ToolUsage kUsage{
    "nurv-demo-setup", "DEMO_FOLDER BUILT_FOLDER",
    "Lays out a demo complex for the loader in DEMO_FOLDER/complex, from the programs built in\n"
    "BUILT_FOLDER, and publishes the release in DEMO_FOLDER/release into its update database\n"
    "DEMO_FOLDER/updates.db with BUILT_FOLDER's nurv-publish.\n",
    2, 2};

// A copy of `binary` carrying `version` in the form the loader reads on this platform.
void VersionedCopy(const fs::path& binary, const fs::path& to, const FourPartVersion& version) {
  fs::copy_file(binary, to, fs::copy_options::overwrite_existing);
  nurv::testing::AttachVersionSection(Utf8Text(to), version, version);
}

void SetReleaseTime(const fs::path& path) {
  if (!nurv::platform::WriteModifiedTime(Utf8Text(path), kReleaseTime))
    throw std::runtime_error("cannot set the time of " + Utf8Text(path));
}

// A file of the demo's release, modified at the release's time.
fs::path ReleaseFile(const fs::path& release, const std::string& relative,
                     const std::string& bytes) {
  const fs::path path = release / Utf8Path(relative);
  fs::create_directories(path.parent_path());
  WriteFile(Utf8Text(path), bytes);
  SetReleaseTime(path);
  return path;
}

// Runs the built nurv-publish on the demo's update database; what it printed.
std::string Publish(const fs::path& built, const std::string& db,
                    const std::vector<std::string>& args, const fs::path& log_folder) {
  std::vector<std::string> line{"--server", nurv::testing::SqliteServerName(db), "--database",
                                "demo"};
  line.insert(line.end(), args.begin(), args.end());
  const std::string out = Utf8Text(log_folder / "publish.out");
  const std::string err = Utf8Text(log_folder / "publish.err");
  const auto process = nurv::testing::StartProcess(
      Utf8Text(built / ("nurv-publish" + std::string(kProgramSuffix))), line, out, err);
  const int status =
      process == nurv::testing::kNoProcess ? -1 : nurv::testing::WaitForProcess(process);
  const std::string printed = ReadFile(out);
  std::cout << printed;
  if (status != 0) throw std::runtime_error("nurv-publish " + args[0] + ": " + ReadFile(err));
  return printed;
}

void Run(const fs::path& demo, const fs::path& built) {
  const fs::path complex = demo / "complex";
  const fs::path bin = complex / "Bin";
  const fs::path release = demo / "release";
  for (const char* folder : {"Bin", "Update", "Help", "Shablon", "Report"}) {
    fs::create_directories(complex / folder);
  }
  fs::create_directories(release);

  // The loader binaries are copied, not linked: the loader's folder is that of its executable
  // after links are resolved.
  for (const char* name : {"nurvloader-cli", "NurvLoader"}) {
    const std::string program = name + std::string(kProgramSuffix);
    if (fs::exists(built / program)) {
      fs::copy_file(built / program, bin / program, fs::copy_options::overwrite_existing);
    }
  }
  // The installed loader as the update table knows it, by its Windows file name: on Windows the
  // window program itself, which carries the build's version; elsewhere a copy of the CLI.
#ifdef _WIN32
  if (!fs::exists(bin / "NurvLoader.exe")) throw std::runtime_error("NurvLoader.exe is not built");
#else
  const FourPartVersion loader_version{NURV_VERSION_MAJOR, NURV_VERSION_MINOR, NURV_VERSION_PATCH,
                                       NURV_VERSION_TWEAK};
  VersionedCopy(built / "nurvloader-cli", bin / "NurvLoader.exe", loader_version);
#endif

  const fs::path main_program = built / ("nurv-demo-main" + std::string(kProgramSuffix));
  VersionedCopy(main_program, bin / "nurv.exe", {5, 1, 9, 2});
  // The release the update database is published from: the files under names of their own, as a
  // build leaves them; the groups in one folder each.
  VersionedCopy(main_program, release / "nurv-5.1.10.2", {5, 1, 10, 2});
  SetReleaseTime(release / "nurv-5.1.10.2");
  fs::copy_file(bin / "NurvLoader.exe", release / "NurvLoader.exe",
                fs::copy_options::overwrite_existing);
  SetReleaseTime(release / "NurvLoader.exe");
  const FourPartVersion ssl{1, 0, 2, 21};
  ReleaseFile(release, "libeay32.dll", nurv::testing::BuildPeFile(ssl, ssl));
  ReleaseFile(release, "ssleay32.dll", nurv::testing::BuildPeFile(ssl, ssl));
  ReleaseFile(release, "HelpNurv.pdf",
              "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n");
  ReleaseFile(release, "nurvrun.bat", "@echo off\r\nstart nurv.exe %*\r\n");
  ReleaseFile(release, "HelpNurv.chm", "ITSF demo help\n");
  ReleaseFile(release, "NurvExplorer.exe", nurv::testing::BuildPeFile({2, 0, 0, 7}, {2, 0, 0, 7}));
  ReleaseFile(release, "browser/libcef.dll", "demo browser library\n");
  ReleaseFile(release, "browser/icudtl.dat", "demo ICU data\n");
  ReleaseFile(release, "locales/ru.pak", "demo Russian locale\n");
  ReleaseFile(release, "locales/en-US.pak", "demo English locale\n");
  ReleaseFile(release, "swiftshader/libEGL.dll", "demo EGL\n");
  ReleaseFile(release, "swiftshader/libGLESv2.dll", "demo GLES\n");
  ReleaseFile(release, "blanks/Бланк_01.doc", "demo blank 1\n");
  ReleaseFile(release, "blanks/Бланк_02.doc", "demo blank 2\n");
  ReleaseFile(release, "forms/Форма_сбора_01.xls", "demo data collection form\n");
  // 7-Zip's library of this platform, for the 7z row.
  const std::string seven_zip = ReadFile(nurv::testing::kSystemSevenZip);
  if (!seven_zip.empty()) ReleaseFile(release, nurv::SevenZipLibraryName(), seven_zip);

  const std::string db = Utf8Text(demo / "updates.db");
  fs::remove(Utf8Path(db));
  // The demo publisher's key; the demo complex trusts it, so every row must be signed with it.
  const fs::path keys = demo / "keys";
  fs::remove_all(keys);
  fs::create_directories(keys);
  const std::string keygen = Publish(built, db, {"keygen", Utf8Text(keys)}, demo);
  const std::string public_line = keygen.substr(keygen.rfind('\n', keygen.size() - 2) + 1);
  const std::string key = Utf8Text(keys / "nurv-publish.key");
  const std::vector<std::vector<std::string>> commands = {
      {"init"},
      {"publish", "LDR", Utf8Text(release / "NurvLoader.exe")},
      {"publish", "PRG", Utf8Text(release / "nurv-5.1.10.2")},
      {"publish", "SSL1", Utf8Text(release / "libeay32.dll")},
      {"publish", "SSL2", Utf8Text(release / "ssleay32.dll")},
      {"publish", "BAT", Utf8Text(release / "nurvrun.bat")},
      {"publish", "CHM", Utf8Text(release / "HelpNurv.chm")},
      {"publish", "PDF", Utf8Text(release / "HelpNurv.pdf")},
      {"publish", "EXP", Utf8Text(release / "NurvExplorer.exe")},
      {"publish-group", "CXP", Utf8Text(release / "browser")},
      {"publish-group", "LXP", Utf8Text(release / "locales")},
      {"publish-group", "SWI", Utf8Text(release / "swiftshader")},
      {"publish-group", "DOC", Utf8Text(release / "blanks")},
      {"publish-group", "XLS", Utf8Text(release / "forms")},
  };
  for (auto command : commands) {
    if (command[0] != "init") command.insert(command.end(), {"--key", key});
    Publish(built, db, command, demo);
  }
  if (!seven_zip.empty())
    Publish(built, db,
            {"publish", "7z", Utf8Text(release / nurv::SevenZipLibraryName()), "--key", key}, demo);
  WriteFile(Utf8Text(bin / "nurv.ini"),
            "[ConfigUser51]\r\nServer=" + nurv::testing::SqliteServerName(db) +
                "\r\nDataBase=demo\r\nCaption=Демонстрационная база НУРВ\r\nUser=demo\r\n"
                "Region=550\r\nRegion2=1\r\nRefreshRepl=10\r\nShowWordProces=0\r\nThemeXP=0\r\n"
                "[Security]\r\nTrustedKey1=" +
                public_line);
  std::cout << "demo complex: " << Utf8Text(complex) << "\nupdate database: " << db << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  const nurv::tools::ToolCommandLine line = nurv::tools::ReadToolCommandLine(argc, argv, kUsage);
  if (line.exit_status) return *line.exit_status;
  try {
    Run(fs::absolute(line.operands[0]), fs::absolute(line.operands[1]));
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "nurv-demo-setup: " << error.what() << "\n";
    return 1;
  }
}
