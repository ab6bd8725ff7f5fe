// The settings store at start-up: the chooser's 600 reads, one value write, parsing, nurv.ini.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/reg_file.h"
#include "platform/posix/reg_file_registry.h"
#include "settings/ini_settings.h"
#include "settings/registry_layout.h"

namespace {

namespace layout = nurv::reglayout;

class BenchFolder {
 public:
  BenchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nurv-bench-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~BenchFolder() { std::filesystem::remove_all(path_); }
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A store with 200 connections, as a busy workstation has.
std::string FullStore() {
  std::string text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL]\n";
  text += "\"Region\"=dword:0000022a\n\"PathUpdate\"=\"/opt/complex/Update\"\n\n";
  for (const auto& [key, prefix] :
       {std::pair{"DataBaseCaptions", "DataBaseCaption"},
        std::pair{"DataBaseNames", "DataBaseName"}, std::pair{"ServerNames", "ServerName"}}) {
    text += std::string("[HKEY_CURRENT_USER\\SOFTWARE\\NURVSQL\\") + key + "]\n";
    for (int n = 1; n <= layout::kMaxConnections; ++n) {
      text += "\"" + std::string(prefix) + std::to_string(n) + "\"=\"value of connection " +
              std::to_string(n) + "\"\n";
    }
    text += "\n";
  }
  return text;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

void BM_ChooserReads600Values(benchmark::State& state) {
  BenchFolder folder;
  WriteText(folder.Sub("registry.reg"), FullStore());
  auto registry = nurv::platform::OpenRegistryFile(folder.Sub("registry.reg"));
  for (auto _ : state) {
    for (const auto& [key, prefix] :
         {std::pair{layout::kDataBaseCaptionsKey, layout::kDataBaseCaptionPrefix},
          std::pair{layout::kDataBaseNamesKey, layout::kDataBaseNamePrefix},
          std::pair{layout::kServerNamesKey, layout::kServerNamePrefix}}) {
      auto opened = registry->Open(key);
      for (int n = 1; n <= layout::kMaxConnections; ++n) {
        benchmark::DoNotOptimize(opened->Query(layout::NumberedValueName(prefix, n)));
      }
    }
  }
}
BENCHMARK(BM_ChooserReads600Values)->Unit(benchmark::kMillisecond);

void BM_WriteOneValue(benchmark::State& state) {
  BenchFolder folder;
  WriteText(folder.Sub("registry.reg"), FullStore());
  auto registry = nurv::platform::OpenRegistryFile(folder.Sub("registry.reg"));
  auto key = registry->Open(layout::kNurvKey);
  std::uint32_t n = 0;
  for (auto _ : state) key->SetDword(layout::kRegion, ++n);  // a change every time: always written
}
BENCHMARK(BM_WriteOneValue)->Unit(benchmark::kMillisecond);

void BM_ParseAndWriteStore(benchmark::State& state) {
  const std::string text = FullStore();
  for (auto _ : state) {
    const auto parsed = nurv::platform::regfile::Parse(text);
    benchmark::DoNotOptimize(nurv::platform::regfile::Write(parsed.document));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseAndWriteStore)->Unit(benchmark::kMicrosecond);

void BM_ReadIniFile(benchmark::State& state) {
  BenchFolder folder;
  WriteText(
      folder.Sub("nurv.ini"),
      "[Other]\r\nA=1\r\n[ConfigUser51]\r\nServer=SRV\r\nDataBase=Complex\r\nCaption=Основная\r\n"
      "User=Петров\r\nRegion=554\r\nRegion2=2\r\nRefreshRepl=10\r\nShowWordProces=1\r\n"
      "ThemeXP=1\r\n");
  for (auto _ : state) {
    benchmark::DoNotOptimize(nurv::ReadIniFile(folder.Sub("nurv.ini"), "/opt/complex/Bin/"));
  }
}
BENCHMARK(BM_ReadIniFile)->Unit(benchmark::kMicrosecond);

}  // namespace
