#pragma once
// The command line of the project's tool programs: "--help" answers with the usage, an unknown
// option or a wrong number of operands is a usage error, never a file or folder name.
#include <cstddef>
#include <cstdio>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nurv::tools {

// An option the program knows: "--name", or "--name VALUE" (also "--name=VALUE").
struct ToolOption {
  std::string_view name;  // with its dashes: "--server"
  bool takes_value = false;
  bool repeatable = false;  // may be given more than once, each value kept
};

struct ToolUsage {
  std::string_view program;      // the program's name
  std::string_view synopsis;     // what follows the name: "[OUTPUT_FOLDER]"
  std::string_view description;  // what the program does and what its operands are
  std::size_t min_operands = 0;
  std::size_t max_operands = 0;
  std::span<const ToolOption> options = {};
};

// What the command line asks for: the operands, or, when the program is to end at once, its exit
// status (0 after the usage was asked for, 2 after a usage error), the text already printed.
struct ToolCommandLine {
  std::vector<std::string> operands;
  // The known options given, by name; an option without a value maps to the empty text.
  std::map<std::string, std::string, std::less<>> options;
  // Every value of each repeatable option given, in order (`options` holds its first).
  std::map<std::string, std::vector<std::string>, std::less<>> repeated;
  std::optional<int> exit_status;
};

// "--help" or "-h" among the options prints the usage to stdout. The usage's options may stand
// anywhere among the operands; one not repeatable given twice, or one without its value, is a
// usage error. Any other argument that begins with "-" (but "-" alone) is an unknown option; "--"
// ends the options, so that an operand may begin with "-". An unknown option or a number of
// operands outside the usage's range prints the error and the usage to stderr.
ToolCommandLine ReadToolCommandLine(int argc, const char* const* argv, const ToolUsage& usage);

void PrintUsage(std::FILE* to, const ToolUsage& usage);

}  // namespace nurv::tools
