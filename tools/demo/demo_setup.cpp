// Lays out a demo complex for nurvloader-cli:
//   <demo>/complex/{Bin,Update,Help,Shablon,Report}, Bin holding copies of the loader binaries,
//   an older demo main program as nurv.exe and nurv.ini naming the demo database as connection 51;
//   <demo>/updates.db, an update table with real rows for every module code.
// Built for Windows too, where it lays out the complex with the Windows programs and library.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_line/tool_command_line.h"
#include "common/pe_builder.h"
#include "common/temp_dir.h"
#include "common/update_db.h"
#include "nurv_version.h"
#include "support/sevenzip_fixture.h"

namespace {

namespace fs = std::filesystem;
using nurv::FourPartVersion;
using nurv::testing::Crc32Of;
using nurv::testing::ReadFile;
using nurv::testing::UpdateRow;
using nurv::testing::Utf8Text;
using nurv::testing::WriteFile;

constexpr char kRowTime[] = "2026-01-15 09:30:00";
#ifdef _WIN32
constexpr char kProgramSuffix[] = ".exe";
#else
constexpr char kProgramSuffix[] = "";
#endif

constexpr nurv::tools::ToolUsage kUsage{
    "nurv-demo-setup", "DEMO_FOLDER BUILT_FOLDER",
    "Lays out a demo complex for the loader in DEMO_FOLDER/complex, with its update database\n"
    "DEMO_FOLDER/updates.db, from the programs built in BUILT_FOLDER.\n",
    2, 2};

// A 7z archive made by the `7z` command whose first item is `file` (by its bare name).
std::string Make7z(const fs::path& file) {
  const std::string archive = Utf8Text(file) + ".7z";
  fs::remove(nurv::testing::Utf8Path(archive));
  using nurv::testing::ShellArg;
  if (!nurv::testing::Run7z(
          Utf8Text(file.parent_path()),
          "a -t7z -mx=5 -y " + ShellArg(archive) + " " + ShellArg(Utf8Text(file.filename())))) {
    throw std::runtime_error("7z failed for " + Utf8Text(file));
  }
  std::string bytes = ReadFile(archive);
  fs::remove(nurv::testing::Utf8Path(archive));
  return bytes;
}

UpdateRow Row(std::int64_t vcode, const std::string& tdoc, const std::string& name,
              const std::string& file_bytes, std::optional<std::string> blob = std::nullopt) {
  UpdateRow row;
  row.vcode = vcode;
  row.tdoc = tdoc;
  row.name = name;
  row.caption = static_cast<std::int64_t>(Crc32Of(file_bytes));
  row.updatedate = kRowTime;
  row.fblob = blob ? *blob : file_bytes;
  return row;
}

// A copy of `binary` carrying `version` in the form the loader reads on this platform.
std::string VersionedCopy(const fs::path& binary, const fs::path& to,
                          const FourPartVersion& version) {
  fs::copy_file(binary, to, fs::copy_options::overwrite_existing);
  nurv::testing::AttachVersionSection(Utf8Text(to), version, version);
  return ReadFile(Utf8Text(to));
}

void Run(const fs::path& demo, const fs::path& built) {
  const fs::path complex = demo / "complex";
  const fs::path bin = complex / "Bin";
  const fs::path work = demo / "work";
  for (const char* folder : {"Bin", "Update", "Help", "Shablon", "Report"}) {
    fs::create_directories(complex / folder);
  }
  fs::create_directories(work);

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
  const std::string new_main = VersionedCopy(main_program, work / "nurv.exe", {5, 1, 10, 2});
  const std::string new_loader = ReadFile(Utf8Text(bin / "NurvLoader.exe"));
  WriteFile(Utf8Text(work / "NurvLoader.exe"), new_loader);

  const std::string libeay = nurv::testing::BuildPeFile({1, 0, 2, 21}, {1, 0, 2, 21});
  const std::string ssleay = nurv::testing::BuildPeFile({1, 0, 2, 21}, {1, 0, 2, 21});
  WriteFile(Utf8Text(work / "libeay32.dll"), libeay);
  WriteFile(Utf8Text(work / "ssleay32.dll"), ssleay);
  const std::string pdf =
      "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n";
  WriteFile(Utf8Text(work / "HelpNurv.pdf"), pdf);
  // 7-Zip's library of this platform, for the 7z row.
  const std::string seven_zip = ReadFile(nurv::testing::kSystemSevenZip);

  const std::string bat = "@echo off\r\nstart nurv.exe %*\r\n";
  const std::string chm = "ITSF demo help\n";
  const std::string explorer = nurv::testing::BuildPeFile({2, 0, 0, 7}, {2, 0, 0, 7});

  std::vector<UpdateRow> rows;
  if (!seven_zip.empty()) rows.push_back(Row(1, "7z", "7za.dll", seven_zip));
  UpdateRow ldr = Row(2, "LDR", "NurvLoader.exe", new_loader, Make7z(work / "NurvLoader.exe"));
  ldr.version = std::to_string(NURV_VERSION_MAJOR) + "." + std::to_string(NURV_VERSION_MINOR) +
                "." + std::to_string(NURV_VERSION_PATCH) + "." + std::to_string(NURV_VERSION_TWEAK);
  rows.push_back(ldr);
  UpdateRow prg = Row(3, "PRG", "nurv.exe", new_main, Make7z(work / "nurv.exe"));
  prg.version = "5.1.10.2";
  rows.push_back(prg);
  UpdateRow ssl1 = Row(4, "SSL1", "libeay32.dll", libeay, Make7z(work / "libeay32.dll"));
  ssl1.version = "1.0.2.21";
  rows.push_back(ssl1);
  UpdateRow ssl2 = Row(5, "SSL2", "ssleay32.dll", ssleay, Make7z(work / "ssleay32.dll"));
  ssl2.version = "1.0.2.21";
  rows.push_back(ssl2);
  rows.push_back(Row(6, "BAT", "nurvrun.bat", bat));
  rows.push_back(Row(7, "CHM", "HelpNurv.chm", chm));
  rows.push_back(Row(8, "PDF", "HelpNurv.pdf", pdf, Make7z(work / "HelpNurv.pdf")));
  rows.push_back(Row(9, "CXP", "libcef.dll", "demo browser library\n"));
  rows.push_back(Row(10, "CXP", "icudtl.dat", "demo ICU data\n"));
  rows.push_back(Row(11, "LXP", "ru.pak", "demo Russian locale\n"));
  rows.push_back(Row(12, "LXP", "en-US.pak", "demo English locale\n"));
  rows.push_back(Row(13, "SWI", "libEGL.dll", "demo EGL\n"));
  rows.push_back(Row(14, "SWI", "libGLESv2.dll", "demo GLES\n"));
  rows.push_back(Row(15, "EXP", "NurvExplorer.exe", explorer));
  rows.push_back(Row(16, "DOC", "Бланк_01", "demo blank 1\n"));
  rows.push_back(Row(17, "DOC", "Бланк_02", "demo blank 2\n"));
  rows.push_back(Row(18, "XLS", "Форма_сбора_01.xls", "demo data collection form\n"));

  const std::string db = Utf8Text(demo / "updates.db");
  nurv::testing::CreateUpdateDatabase(db, rows);
  WriteFile(Utf8Text(bin / "nurv.ini"),
            "[ConfigUser51]\r\nServer=" + nurv::testing::SqliteServerName(db) +
                "\r\nDataBase=demo\r\nCaption=Демонстрационная база НУРВ\r\nUser=demo\r\n"
                "Region=550\r\nRegion2=1\r\nRefreshRepl=10\r\nShowWordProces=0\r\nThemeXP=0\r\n");
  fs::remove_all(work);
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
