#include "tool_command_line.h"

#include <algorithm>

namespace nurv::tools {

namespace {

int UsageError(const ToolUsage& usage, const std::string& error) {
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(usage.program.size()), usage.program.data(),
               error.c_str());
  PrintUsage(stderr, usage);
  return 2;
}

}  // namespace

void PrintUsage(std::FILE* to, const ToolUsage& usage) {
  std::fprintf(to, "Usage: %.*s %.*s\n%.*s", static_cast<int>(usage.program.size()),
               usage.program.data(), static_cast<int>(usage.synopsis.size()), usage.synopsis.data(),
               static_cast<int>(usage.description.size()), usage.description.data());
}

ToolCommandLine ReadToolCommandLine(int argc, const char* const* argv, const ToolUsage& usage) {
  ToolCommandLine line;
  // Help first, wherever it stands among the options: it answers whatever else is wrong.
  for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout, usage);
      line.exit_status = 0;
      return line;
    }
  }
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_ended && arg == "--") {
      options_ended = true;
    } else if (!options_ended && arg.size() > 1 && arg.front() == '-') {
      const std::size_t equals = arg.find('=');
      const std::string_view name = arg.substr(0, equals);
      const auto known =
          std::find_if(usage.options.begin(), usage.options.end(),
                       [&](const ToolOption& option) { return option.name == name; });
      if (known == usage.options.end() || (!known->takes_value && equals != arg.npos)) {
        line.exit_status = UsageError(usage, "unknown option " + std::string(arg));
        return line;
      }
      std::string value;
      if (equals != arg.npos) {
        value = arg.substr(equals + 1);
      } else if (known->takes_value) {
        if (i + 1 >= argc) {
          line.exit_status = UsageError(usage, "option " + std::string(name) + " needs a value");
          return line;
        }
        value = argv[++i];
      }
      if (known->repeatable) line.repeated[std::string(name)].push_back(value);
      if (!line.options.emplace(name, std::move(value)).second && !known->repeatable) {
        line.exit_status = UsageError(usage, "option " + std::string(name) + " given twice");
        return line;
      }
    } else {
      line.operands.emplace_back(arg);
    }
  }
  if (line.operands.size() > usage.max_operands) {
    line.exit_status = UsageError(usage, "unexpected operand " + line.operands[usage.max_operands]);
  } else if (line.operands.size() < usage.min_operands) {
    line.exit_status = UsageError(usage, "missing operand");
  }
  return line;
}

}  // namespace nurv::tools
