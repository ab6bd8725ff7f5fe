#pragma once
#include <string>
#include <utility>
#include <vector>

#include "base/value.h"

namespace nurv {

// What the first line of one run in the user's log file says.
struct RunLogHeader {
  DateTime started;  // local time
  std::string version;
  std::string user;
  std::string host;
  std::string command_line;
};

// "==== 2026-12-09 21:04:05 NurvLoader 6.3.0.0 user@host: <command line>": a fixed mark to find
// the runs by, then the facts a support request asks for first.
std::string RunLogHeaderLine(const RunLogHeader& header);

// The program and its arguments as one line; a part that is empty or holds a blank or a quote is
// quoted, its quotes escaped with a backslash.
std::string CommandLineText(const std::string& program, const std::vector<std::string>& args);

// The run's copy of its log in the user's log file, where the user finds it to send to support
// after the window has gone. The file only helps: one that cannot be written is given up for the
// rest of the run, without a word in the window and without failing or holding up the run.
class RunLogFile {
 public:
  // An empty path: nothing is written.
  explicit RunLogFile(std::string path = {}) : path_(std::move(path)) {}

  // Whole lines, kept together in the file whatever other loaders write at the same time.
  void Append(const std::vector<std::string>& lines);

 private:
  std::string path_;
};

}  // namespace nurv
