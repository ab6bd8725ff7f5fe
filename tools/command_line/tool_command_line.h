#pragma once
// The command line of the project's tool programs: "--help" answers with the usage, an unknown
// option or a wrong number of operands is a usage error, never a file or folder name.
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nurv::tools {

struct ToolUsage {
  std::string_view program;      // the program's name
  std::string_view synopsis;     // what follows the name: "[OUTPUT_FOLDER]"
  std::string_view description;  // what the program does and what its operands are
  std::size_t min_operands = 0;
  std::size_t max_operands = 0;
};

// What the command line asks for: the operands, or, when the program is to end at once, its exit
// status (0 after the usage was asked for, 2 after a usage error), the text already printed.
struct ToolCommandLine {
  std::vector<std::string> operands;
  std::optional<int> exit_status;
};

// "--help" or "-h" among the options prints the usage to stdout. Any other argument that begins
// with "-" (but "-" alone) is an unknown option; "--" ends the options, so that an operand may
// begin with "-". An unknown option or a number of operands outside the usage's range prints the
// error and the usage to stderr.
ToolCommandLine ReadToolCommandLine(int argc, const char* const* argv, const ToolUsage& usage);

void PrintUsage(std::FILE* to, const ToolUsage& usage);

}  // namespace nurv::tools
