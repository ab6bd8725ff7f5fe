// nurv_bench: the loader's benchmarks. Google Benchmark's own flags work as usual; --help lists
// them, and anything else on the command line is a usage error.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "command_line/tool_command_line.h"

namespace {

constexpr nurv::tools::ToolUsage kUsage{
    "nurv_bench", "[GOOGLE_BENCHMARK_FLAGS]",
    "Runs the loader's benchmarks and prints their figures; they assert nothing.\n", 0, 0};

void PrintBenchmarkFlags() {
  std::printf("\nGoogle Benchmark's flags:\n");
  benchmark::PrintDefaultHelp();
}

void PrintHelp() {
  nurv::tools::PrintUsage(stdout, kUsage);
  PrintBenchmarkFlags();
}

}  // namespace

int main(int argc, char** argv) {
  // Google Benchmark takes its flags out of argv and answers --help through PrintHelp.
  benchmark::Initialize(&argc, argv, &PrintHelp);
  const nurv::tools::ToolCommandLine line = nurv::tools::ReadToolCommandLine(argc, argv, kUsage);
  if (line.exit_status) {
    if (*line.exit_status == 0) PrintBenchmarkFlags();
    return *line.exit_status;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
