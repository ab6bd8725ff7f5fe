// CRC-32 throughput over one 64 MiB file kept in the page cache: the loader's FileCrc32, zlib's
// crc32() and the per-byte table loop, each reading the file in FileCrc32's blocks, and read()
// alone of the same file, in those blocks and in 32 KiB ones, as the yardstick of the reads.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "support/file_crc32.h"

namespace {

constexpr std::size_t kFileSize = 64u << 20;
constexpr std::size_t kBlock = nurv::kFileCrc32ReadSize;

// Created once, removed at exit; read once up front so every run finds it in the page cache.
const std::string& BenchFile() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string name =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/nurv-bench-crc-" + std::to_string(::getpid());
    std::vector<char> data(kFileSize);
    std::mt19937_64 random(42);
    for (std::size_t i = 0; i < data.size(); i += 8) {
      const auto r = random();
      for (int b = 0; b < 8; ++b) data[i + b] = static_cast<char>(r >> (8 * b));
    }
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr || std::fwrite(data.data(), 1, data.size(), out) != data.size())
      std::abort();
    std::fclose(out);
    std::atexit([] { std::remove(BenchFile().c_str()); });
    return name;
  }();
  return path;
}

template <typename Step>
std::uint32_t ReadAndChecksum(Step step) {
  static std::vector<std::uint8_t> buffer(kBlock);
  std::FILE* in = std::fopen(BenchFile().c_str(), "rb");
  std::setvbuf(in, nullptr, _IONBF, 0);
  std::uint32_t crc = 0xFFFFFFFFu;
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, kBlock, in)) > 0) crc = step(crc, buffer.data(), n);
  std::fclose(in);
  return ~crc;
}

constexpr std::array<std::uint32_t, 256> kTable = [] {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1u) ? 0xEDB88320u : 0u);
    table[i] = c;
  }
  return table;
}();

void FinishRun(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}

void BM_FileCrc32(benchmark::State& state) {
  ReadAndChecksum([](std::uint32_t c, const std::uint8_t*, std::size_t) { return c; });
  for (auto _ : state) benchmark::DoNotOptimize(nurv::FileCrc32(BenchFile()).crc);
  FinishRun(state);
}

// read() alone, `state.range(0)` bytes at a time, into one buffer.
void BM_FileRead(benchmark::State& state) {
  const auto block = static_cast<std::size_t>(state.range(0));
  std::vector<char> buffer(block);
  for (auto _ : state) {
    const int in = ::open(BenchFile().c_str(), O_RDONLY);
    if (in < 0) return state.SkipWithError("open failed");
    std::size_t total = 0;
    ssize_t n;
    while ((n = ::read(in, buffer.data(), block)) > 0) total += static_cast<std::size_t>(n);
    ::close(in);
    if (total != kFileSize) return state.SkipWithError("short read");
  }
  FinishRun(state);
}

void BM_Zlib(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ReadAndChecksum([](std::uint32_t c, const std::uint8_t* d, std::size_t n) {
          // zlib's register carries the inversions itself.
          return ~static_cast<std::uint32_t>(::crc32(~c, d, static_cast<uInt>(n)));
        }));
  }
  FinishRun(state);
}

void BM_PerByteTable(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ReadAndChecksum([](std::uint32_t c, const std::uint8_t* d, std::size_t n) {
          for (std::size_t i = 0; i < n; ++i) c = (c >> 8) ^ kTable[(c ^ d[i]) & 0xFFu];
          return c;
        }));
  }
  FinishRun(state);
}

BENCHMARK(BM_FileCrc32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileRead)
    ->Arg(32768)
    ->Arg(static_cast<std::int64_t>(kBlock))
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PerByteTable)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The same comparison without the reads: the register step alone over 64 MiB in memory.
const std::vector<std::uint8_t>& MemoryData() {
  static const std::vector<std::uint8_t> data = [] {
    std::vector<std::uint8_t> bytes(kFileSize);
    std::mt19937 random(7);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
  }();
  return data;
}

void BM_MemoryCrc32Block(benchmark::State& state) {
  const auto& data = MemoryData();
  for (auto _ : state) {
    benchmark::DoNotOptimize(nurv::Crc32UpdateBlock(0xFFFFFFFFu, data.data(), data.size()));
  }
  FinishRun(state);
}

void BM_MemoryZlib(benchmark::State& state) {
  const auto& data = MemoryData();
  for (auto _ : state) {
    benchmark::DoNotOptimize(::crc32(0L, data.data(), static_cast<uInt>(data.size())));
  }
  FinishRun(state);
}

BENCHMARK(BM_MemoryCrc32Block)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryZlib)->Unit(benchmark::kMillisecond);

}  // namespace
