// Lays out a demo complex for nurvloader-cli:
//   <demo>/complex/{Bin,Update,Help,Shablon,Report}, Bin holding copies of the loader binaries,
//   an older demo main program as nurv.exe and nurv.ini naming the demo database as connection 51;
//   <demo>/updates.db, an update table with real rows for every module code.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
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

namespace {

namespace fs = std::filesystem;
using nurv::FourPartVersion;
using nurv::testing::Crc32Of;
using nurv::testing::ReadFile;
using nurv::testing::UpdateRow;
using nurv::testing::WriteFile;

constexpr char kRowTime[] = "2026-01-15 09:30:00";

constexpr nurv::tools::ToolUsage kUsage{
    "nurv-demo-setup", "DEMO_FOLDER BUILT_FOLDER",
    "Lays out a demo complex for the loader in DEMO_FOLDER/complex, with its update database\n"
    "DEMO_FOLDER/updates.db, from the programs built in BUILT_FOLDER.\n",
    2, 2};

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// A 7z archive made by the `7z` command whose first item is `file` (by its bare name).
std::string Make7z(const std::string& file) {
  const fs::path source(file);
  const std::string archive = file + ".7z";
  fs::remove(archive);
  const std::string command = "cd " + Quoted(source.parent_path().string()) +
                              " && 7z a -t7z -mx=5 -bd -y " + Quoted(archive) + " " +
                              Quoted(source.filename().string()) + " >/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("7z failed: " + command);
  std::string bytes = ReadFile(archive);
  fs::remove(archive);
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
std::string VersionedCopy(const std::string& binary, const std::string& to,
                          const FourPartVersion& version) {
  fs::copy_file(binary, to, fs::copy_options::overwrite_existing);
  nurv::testing::AttachVersionSection(to, version, version);
  return ReadFile(to);
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
    if (fs::exists(built / name)) {
      fs::copy_file(built / name, bin / name, fs::copy_options::overwrite_existing);
    }
  }
  const FourPartVersion loader_version{NURV_VERSION_MAJOR, NURV_VERSION_MINOR, NURV_VERSION_PATCH,
                                       NURV_VERSION_TWEAK};
  // The installed loader as the update table knows it, by its Windows file name.
  VersionedCopy((built / "nurvloader-cli").string(), (bin / "NurvLoader.exe").string(),
                loader_version);

  const std::string main_program = (built / "nurv-demo-main").string();
  VersionedCopy(main_program, (bin / "nurv.exe").string(), {5, 1, 9, 2});
  const std::string new_main =
      VersionedCopy(main_program, (work / "nurv.exe").string(), {5, 1, 10, 2});
  const std::string new_loader = ReadFile((bin / "NurvLoader.exe").string());
  WriteFile((work / "NurvLoader.exe").string(), new_loader);

  const std::string libeay = nurv::testing::BuildPeFile({1, 0, 2, 21}, {1, 0, 2, 21});
  const std::string ssleay = nurv::testing::BuildPeFile({1, 0, 2, 21}, {1, 0, 2, 21});
  WriteFile((work / "libeay32.dll").string(), libeay);
  WriteFile((work / "ssleay32.dll").string(), ssleay);
  const std::string pdf =
      "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n";
  WriteFile((work / "HelpNurv.pdf").string(), pdf);
  const std::string seven_zip = ReadFile("/usr/lib/p7zip/7z.so");

  const std::string bat = "@echo off\r\nstart nurv.exe %*\r\n";
  const std::string chm = "ITSF demo help\n";
  const std::string explorer = nurv::testing::BuildPeFile({2, 0, 0, 7}, {2, 0, 0, 7});

  std::vector<UpdateRow> rows;
  if (!seven_zip.empty()) rows.push_back(Row(1, "7z", "7za.dll", seven_zip));
  UpdateRow ldr =
      Row(2, "LDR", "NurvLoader.exe", new_loader, Make7z((work / "NurvLoader.exe").string()));
  ldr.version = std::to_string(NURV_VERSION_MAJOR) + "." + std::to_string(NURV_VERSION_MINOR) +
                "." + std::to_string(NURV_VERSION_PATCH) + "." + std::to_string(NURV_VERSION_TWEAK);
  rows.push_back(ldr);
  UpdateRow prg = Row(3, "PRG", "nurv.exe", new_main, Make7z((work / "nurv.exe").string()));
  prg.version = "5.1.10.2";
  rows.push_back(prg);
  UpdateRow ssl1 = Row(4, "SSL1", "libeay32.dll", libeay, Make7z((work / "libeay32.dll").string()));
  ssl1.version = "1.0.2.21";
  rows.push_back(ssl1);
  UpdateRow ssl2 = Row(5, "SSL2", "ssleay32.dll", ssleay, Make7z((work / "ssleay32.dll").string()));
  ssl2.version = "1.0.2.21";
  rows.push_back(ssl2);
  rows.push_back(Row(6, "BAT", "nurvrun.bat", bat));
  rows.push_back(Row(7, "CHM", "HelpNurv.chm", chm));
  rows.push_back(Row(8, "PDF", "HelpNurv.pdf", pdf, Make7z((work / "HelpNurv.pdf").string())));
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

  const std::string db = (demo / "updates.db").string();
  nurv::testing::CreateUpdateDatabase(db, rows);
  WriteFile((bin / "nurv.ini").string(),
            "[ConfigUser51]\r\nServer=" + nurv::testing::SqliteServerName(db) +
                "\r\nDataBase=demo\r\nCaption=Демонстрационная база НУРВ\r\nUser=demo\r\n"
                "Region=550\r\nRegion2=1\r\nRefreshRepl=10\r\nShowWordProces=0\r\nThemeXP=0\r\n");
  fs::remove_all(work);
  std::cout << "demo complex: " << complex.string() << "\nupdate database: " << db << "\n";
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
