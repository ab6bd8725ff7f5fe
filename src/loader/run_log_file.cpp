#include "loader/run_log_file.h"

#include <cstdio>

#include "base/text_utils.h"
#include "platform/log_file.h"

namespace nurv {

namespace {

// Four files of about 1 MiB at most: a support request needs the last runs, not all of them.
constexpr platform::LogRotation kRotation{1024 * 1024, 3};
// Another loader writes its lines in a moment; a lock held longer is held by something else, and
// the run does not wait for it.
constexpr std::chrono::seconds kLockWait{2};

std::string IsoDateTime(DateTime value) {
  using namespace std::chrono;
  const auto day = floor<days>(value);
  const year_month_day date{day};
  const hh_mm_ss<seconds> clock{floor<seconds>(value - day)};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()));
  return text;
}

std::string Quoted(const std::string& part) {
  if (!part.empty() && part.find_first_of(" \t\"") == std::string::npos) return part;
  std::string quoted = "\"";
  for (const char c : part) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string RunLogHeaderLine(const RunLogHeader& header) {
  // Nothing the system or the command line gave may begin a line of its own.
  return "==== " + IsoDateTime(header.started) + " NurvLoader " +
         EscapeControlBytes(header.version) + " " + EscapeControlBytes(header.user) + "@" +
         EscapeControlBytes(header.host) + ": " + EscapeControlBytes(header.command_line);
}

std::string CommandLineText(const std::string& program, const std::vector<std::string>& args) {
  std::string text = Quoted(program);
  for (const std::string& arg : args) text += " " + Quoted(arg);
  return text;
}

void RunLogFile::Append(const std::vector<std::string>& lines) {
  if (path_.empty()) return;
  if (!platform::AppendToLogFile(path_, lines, kRotation, kLockWait)) path_.clear();
}

}  // namespace nurv
