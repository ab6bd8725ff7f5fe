// nurv-publish: the administrator's tool that fills the update table UpdatesBLOB.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/date_utils.h"
#include "command_line/tool_command_line.h"
#include "connection/loader_login.h"
#include "db/database.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "publish/fleet_report.h"
#include "publish/publish_commands.h"
#include "publish/signing_keys.h"
#include "publish/verify_table.h"
#include "rules/module_catalogue.h"
#include "settings/ini_settings.h"
#include "support/signing.h"

namespace {

using nurv::publish::PublishOptions;

constexpr char kPasswordVariable[] = "NURV_PUBLISH_PASSWORD";

constexpr nurv::tools::ToolOption kOptions[] = {
    {"--server", true},  {"--database", true},
    {"--user", true},    {"--password", true},
    {"--version", true}, {"--date", true},
    {"--force", false},  {"--keep", false},
    {"--key", true},     {"--public-key", true, true},
    {"--ini", true},     {"--delta-from", true, true},
    {"--report", false}, {"--failed", false},
    {"--format", true},  {"--stale", true},
    {"--prune", true},
};

constexpr nurv::tools::ToolUsage kUsage{
    "nurv-publish",
    "--server SERVER --database DB [--user U] [--password P] COMMAND [ARGS]",
    "  init [--report]                       create UpdatesBLOB, UpdatesSign and UpdatesDelta "
    "if missing;\n"
    "                                        --report: also UpdatesReport, the loader's runs\n"
    "  publish CODE FILE [--version V] [--date \"YYYY-MM-DD HH:MM:SS\"] [--force] [--key FILE]\n"
    "                    [--delta-from FILE]...\n"
    "  publish-group CODE FOLDER [--date \"...\"] [--keep] [--key FILE] [--delta-from FOLDER]...\n"
    "  list                                  one row a line: vcode, tdoc, name, version, caption, "
    "updatedate, size;\n"
    "                                        then one a patch: vcode, разность, base size, base "
    "CRC-32, size\n"
    "  verify [--public-key LINE]... [--ini PATH]\n"
    "                                        check every row as the loader would read it, and\n"
    "                                        its signature when keys are given\n"
    "  remove CODE [NAME...]\n"
    "  report [--failed] [--format tsv] [--stale DAYS]\n"
    "                                        the latest run of each workstation, then a summary\n"
    "  report --prune DAYS                   delete the runs older than DAYS days\n"
    "  keygen DIR                            new signing key: DIR/nurv-publish.key and .pub\n"
    "                                        (no --server needed)\n"
    "SERVER: sqlite:PATH, odbc:CONNECTION or an SQL Server name. Without --user the loader's own\n"
    "login is used. Without --password the password is taken from NURV_PUBLISH_PASSWORD.\n"
    "Exit status: 0 done (verify: no problem; report: no workstation failed its latest run),\n"
    "1 verify found problems or a workstation failed its latest run, 2 usage\n"
    "error, 3 failure (the table is as it was).\n"
    "--key FILE signs every row written with the secret key of keygen; --public-key takes the "
    "line\n"
    "keygen printed, --ini the TrustedKey1..9 of a nurv.ini's [Security] section.\n",
    1,
    static_cast<std::size_t>(-1),
    kOptions};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "nurv-publish: %s\n", message.c_str());
  nurv::tools::PrintUsage(stderr, kUsage);
  return 2;
}

struct Command {
  std::string name;
  std::size_t min_operands;  // the command's own included
  std::size_t max_operands;
  std::vector<std::string_view> options;  // the options it takes beyond the connection's
};

const Command kCommands[] = {
    {"init", 1, 1, {"--report"}},
    {"publish", 3, 3, {"--version", "--date", "--force", "--key", "--delta-from"}},
    {"publish-group", 3, 3, {"--date", "--keep", "--key", "--delta-from"}},
    {"list", 1, 1, {}},
    {"verify", 1, 1, {"--public-key", "--ini"}},
    {"remove", 2, static_cast<std::size_t>(-1), {}},
    {"keygen", 2, 2, {}},
    {"report", 1, 1, {"--failed", "--format", "--stale", "--prune"}},
};

// A usage error found in the command line: printed with the usage, exit status 2.
struct UsageProblem {
  std::string message;
};

std::optional<std::string> Option(const nurv::tools::ToolCommandLine& line, std::string_view name) {
  const auto found = line.options.find(name);
  if (found == line.options.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> Repeated(const nurv::tools::ToolCommandLine& line, std::string_view name) {
  const auto found = line.repeated.find(name);
  return found == line.repeated.end() ? std::vector<std::string>{} : found->second;
}

// The command named first, with the number of its operands and the options it takes checked.
const Command& CommandOf(const nurv::tools::ToolCommandLine& line) {
  const std::string& name = line.operands.front();
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command& c) { return c.name == name; });
  if (command == std::end(kCommands)) throw UsageProblem{"unknown command " + name};
  if (line.operands.size() < command->min_operands) throw UsageProblem{"missing operand"};
  if (line.operands.size() > command->max_operands)
    throw UsageProblem{"unexpected operand " + line.operands[command->max_operands]};
  for (const auto& [given, value] : line.options) {
    const bool connection =
        given == "--server" || given == "--database" || given == "--user" || given == "--password";
    if (!connection && std::find(command->options.begin(), command->options.end(),
                                 std::string_view(given)) == command->options.end())
      throw UsageProblem{"option " + given + " does not go with " + name};
  }
  return *command;
}

// A number of days: digits alone, at most ten years.
int DaysOf(const std::string& option, const std::string& text) {
  const bool digits = !text.empty() && text.size() <= 4 &&
                      text.find_first_not_of("0123456789") == std::string::npos;
  const int days = digits ? std::stoi(text) : -1;
  if (days < 0 || days > 3660) throw UsageProblem{option + " takes a number of days: " + text};
  return days;
}

bool IsVersionText(const std::string& text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  for (const char c : text)
    if ((c < '0' || c > '9') && c != '.') return false;
  return true;
}

// The options of publish and publish-group; the secret key of --key is read into `secret_key`.
PublishOptions ReadPublishOptions(const nurv::tools::ToolCommandLine& line,
                                  nurv::SecretKey& secret_key) {
  PublishOptions options;
  options.version = Option(line, "--version");
  if (options.version && !IsVersionText(*options.version))
    throw UsageProblem{"--version takes numbers separated by dots: " + *options.version};
  if (const auto date = Option(line, "--date")) {
    options.date = nurv::ParseDateTimeText(*date);
    if (!options.date) throw UsageProblem{"--date takes \"YYYY-MM-DD HH:MM:SS\": " + *date};
  }
  options.force = Option(line, "--force").has_value();
  options.keep = Option(line, "--keep").has_value();
  if (const auto key_file = Option(line, "--key")) {
    nurv::publish::ReadSecretKeyFile(*key_file, secret_key);
    options.key = &secret_key;
  }
  options.delta_from = Repeated(line, "--delta-from");
  return options;
}

// The public key lines verify checks against: those of --public-key, then the nurv.ini's.
std::vector<std::string> ReadKeyLines(const nurv::tools::ToolCommandLine& line) {
  std::vector<std::string> key_lines = Repeated(line, "--public-key");
  for (const std::string& key : key_lines)
    if (!nurv::ParsePublicKeyLine(key))
      throw UsageProblem{"--public-key takes a line of keygen: " + key};
  if (const auto ini = Option(line, "--ini")) {
    const nurv::TrustedKeySettings trusted = nurv::ReadTrustedKeyLines(*ini);
    if (trusted.invalid_entry)
      throw UsageProblem{*trusted.invalid_entry + " in [Security] of " + *ini +
                         " is not a key line"};
    if (trusted.lines.empty()) throw UsageProblem{"no TrustedKey in [Security] of " + *ini};
    key_lines.insert(key_lines.end(), trusted.lines.begin(), trusted.lines.end());
  }
  return key_lines;
}

nurv::publish::FleetReportOptions ReadReportOptions(const nurv::tools::ToolCommandLine& line) {
  nurv::publish::FleetReportOptions report;
  report.failed_only = Option(line, "--failed").has_value();
  if (const auto format = Option(line, "--format")) {
    if (*format != "tsv" && *format != "text")
      throw UsageProblem{"--format takes tsv or text: " + *format};
    report.tsv = *format == "tsv";
  }
  if (const auto stale = Option(line, "--stale")) report.stale_days = DaysOf("--stale", *stale);
  return report;
}

std::optional<int> ReadPruneDays(const nurv::tools::ToolCommandLine& line) {
  const auto prune = Option(line, "--prune");
  if (!prune) return std::nullopt;
  const int days = DaysOf("--prune", *prune);
  if (Option(line, "--failed") || Option(line, "--format") || Option(line, "--stale"))
    throw UsageProblem{"--prune goes with no other option of report"};
  return days;
}

// The catalogue entry of `code` in the form the command wants.
const nurv::ModuleEntry& ModuleFor(const std::string& code, bool group) {
  for (const nurv::ModuleEntry& entry : nurv::ModuleCatalogue()) {
    if (entry.code != code) continue;
    if ((entry.form == nurv::ModuleForm::Group) == group) return entry;
    throw UsageProblem{code + (group ? " is not a file group: use publish"
                                     : " is a file group: use publish-group")};
  }
  throw UsageProblem{"unknown module code " + code};
}

nurv::db::ConnectParams ConnectParamsOf(const nurv::tools::ToolCommandLine& line,
                                        const std::string& server, const std::string& database,
                                        nurv::db::OpenMode mode) {
  nurv::db::ConnectParams params;
  params.server = server;
  params.database = database;
  params.user = Option(line, "--user").value_or(nurv::kLoaderLogin);
  // The environment keeps the password out of the process list, where every user sees arguments.
  params.password = Option(line, "--password");
  if (!params.password) params.password = nurv::platform::EnvironmentVariable(kPasswordVariable);
  if (!Option(line, "--user") && !params.password) params.password = nurv::LoaderPassword();
  params.mode = mode;
  return params;
}

int Run(const nurv::tools::ToolCommandLine& line) {
  const std::string& name = CommandOf(line).name;
  if (name == "keygen") {
    nurv::publish::GenerateKeyFiles(line.operands[1], std::cout);
    return 0;
  }
  const auto server = Option(line, "--server");
  const auto database = Option(line, "--database");
  if (!server || server->empty() || !database || database->empty())
    throw UsageProblem{"--server and --database are required"};

  // Wiped however the command ends.
  nurv::Wiped<nurv::SecretKey> secret_key;
  const PublishOptions options = ReadPublishOptions(line, secret_key.value);
  const std::vector<std::string> key_lines = ReadKeyLines(line);
  const nurv::publish::FleetReportOptions report = ReadReportOptions(line);
  const std::optional<int> prune_days = ReadPruneDays(line);
  const bool publishes = name == "publish" || name == "publish-group";
  const nurv::ModuleEntry* module =
      publishes ? &ModuleFor(line.operands[1], name == "publish-group") : nullptr;

  const auto mode = name == "init" ? nurv::db::OpenMode::Create
                    : name == "list" || name == "verify" || (name == "report" && !prune_days)
                        ? nurv::db::OpenMode::ReadOnly
                        : nurv::db::OpenMode::ReadWrite;
  nurv::db::Connection connection;
  connection.SetParams(ConnectParamsOf(line, *server, *database, mode));
  connection.Open();
  int status = 0;
  if (name == "init") {
    nurv::publish::InitTable(connection, std::cout);
    if (Option(line, "--report")) nurv::publish::InitReportTable(connection, std::cout);
  } else if (name == "report" && prune_days) {
    std::cout << "Удалено строк: "
              << nurv::publish::PruneReports(connection, *prune_days, nurv::platform::LocalNow())
              << '\n';
  } else if (name == "report") {
    const auto now = nurv::platform::LocalNow();
    status = nurv::publish::PrintFleetReport(connection, report, now, std::cout) ? 1 : 0;
  } else if (name == "publish") {
    nurv::publish::PublishModule(connection, *module, line.operands[2], options, std::cout);
  } else if (name == "publish-group") {
    nurv::publish::PublishGroup(connection, *module, line.operands[2], options, std::cout);
  } else if (name == "list") {
    nurv::publish::ListRows(connection, std::cout);
  } else if (name == "verify") {
    status =
        nurv::publish::VerifyTable(connection, nurv::TrustedKeys(key_lines), std::cout) > 0 ? 1 : 0;
  } else {
    const std::vector<std::string> names(line.operands.begin() + 2, line.operands.end());
    nurv::publish::RemoveRows(connection, line.operands[1], names, std::cout);
  }
  std::cout.flush();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // Arguments in UTF-8 on every platform, the program's name first as the parser expects it.
  const std::vector<std::string> arguments = nurv::platform::CommandLineArguments(argc, argv);
  std::vector<const char*> pointers{"nurv-publish"};
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  const nurv::tools::ToolCommandLine line =
      nurv::tools::ReadToolCommandLine(static_cast<int>(pointers.size()), pointers.data(), kUsage);
  if (line.exit_status) return *line.exit_status;
  try {
    return Run(line);
  } catch (const UsageProblem& problem) {
    return UsageError(problem.message);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::fprintf(stderr, "nurv-publish: %s\n", error.what());
    return 3;
  }
}
