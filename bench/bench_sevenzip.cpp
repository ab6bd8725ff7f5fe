// Extraction of a 100 MiB first item (half random, half repetitive data; LZMA2, fast level) of a
// two-item 7z archive: through SevenZipArchive (which lets the library decode on every core for
// an item of this size) and through the `7z e` command. Needs /usr/lib/p7zip/7z.so and the 7z
// command.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/sevenzip_archive.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kItemSize = 100u << 20;
const char kLibrary[] = "/usr/lib/p7zip/7z.so";

struct BenchArchive {
  fs::path folder;
  std::string archive;
  std::string out;
  bool ready = false;
};

// Made once, removed at exit.
const BenchArchive& Archive() {
  static const BenchArchive made = [] {
    BenchArchive bench;
    bench.folder = fs::temp_directory_path() / ("nurv-bench-7z-" + std::to_string(::getpid()));
    fs::create_directories(bench.folder / "src");
    fs::create_directories(bench.folder / "out");
    bench.archive = (bench.folder / "big.7z").string();
    bench.out = (bench.folder / "out").string();
    struct Cleanup {
      fs::path folder;
      ~Cleanup() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
      }
    };
    static const Cleanup cleanup{bench.folder};
    if (!fs::exists(kLibrary) || std::system("command -v 7z >/dev/null 2>&1") != 0) return bench;

    std::vector<char> data(kItemSize);
    std::mt19937_64 random(42);
    for (std::size_t block = 0; block < data.size(); block += 65536) {
      const bool noisy = (block / 65536) % 2 == 0;
      for (std::size_t i = block; i < block + 65536; i += 8) {
        const auto r = noisy ? random() : 0x2E2E2E2E2E2E2E2Eull + (i >> 12);
        for (int b = 0; b < 8; ++b) data[i + b] = static_cast<char>(r >> (8 * b));
      }
    }
    const std::string big = (bench.folder / "src/a_big.bin").string();
    std::FILE* out = std::fopen(big.c_str(), "wb");
    if (out == nullptr || std::fwrite(data.data(), 1, data.size(), out) != data.size()) {
      std::abort();
    }
    std::fclose(out);
    std::FILE* small = std::fopen((bench.folder / "src/z_small.txt").c_str(), "wb");
    std::fputs("second item\n", small);
    std::fclose(small);
    const std::string command = "cd '" + (bench.folder / "src").string() + "' && 7z a -t7z -mx1 '" +
                                bench.archive + "' a_big.bin z_small.txt -bd >/dev/null 2>&1";
    bench.ready = std::system(command.c_str()) == 0;
    // The 200 MB just written would otherwise go to disk during the first timed extraction.
    ::sync();
    return bench;
  }();
  return made;
}

double ChildCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_ComponentExtractFirst(benchmark::State& state) {
  const BenchArchive& bench = Archive();
  if (!bench.ready) {
    state.SkipWithError("needs /usr/lib/p7zip/7z.so and the 7z command");
    return;
  }
  for (auto _ : state) {
    nurv::SevenZipArchive zip({kLibrary});
    zip.ExtractOptions = static_cast<unsigned>(nurv::ExtractOption::ExtractNoPath) |
                         static_cast<unsigned>(nurv::ExtractOption::ExtractOverwrite);
    zip.ArchivePath = bench.archive;
    zip.ExtractFolder = bench.out;
    zip.ItemIndexes = {"0"};
    const std::int32_t result = zip.Extract();
    if (zip.ErrorCode != 0 || result < 0) state.SkipWithError("extraction failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kItemSize));
}
BENCHMARK(BM_ComponentExtractFirst)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_SevenZipCommandExtractFirst(benchmark::State& state) {
  const BenchArchive& bench = Archive();
  if (!bench.ready) {
    state.SkipWithError("needs /usr/lib/p7zip/7z.so and the 7z command");
    return;
  }
  const std::string command =
      "7z e -y -bd '" + bench.archive + "' -o'" + bench.out + "' a_big.bin >/dev/null 2>&1";
  const double before = ChildCpuSeconds();
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("7z e failed");
  }
  // The command's own CPU time (all its threads), which the benchmark's CPU column misses.
  state.counters["child_cpu_s"] =
      benchmark::Counter((ChildCpuSeconds() - before) / static_cast<double>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kItemSize));
}
BENCHMARK(BM_SevenZipCommandExtractFirst)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
