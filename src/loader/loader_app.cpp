#include "loader/loader_app.h"

#include <exception>
#include <utility>

#include "platform/log_file.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "support/product_version.h"

namespace nurv {

LoaderApp::LoaderApp(LoaderUi& ui, std::vector<std::string> args, std::string executable_path)
    : LoaderApp(ui, std::move(args),
                LoaderEnvironment{std::move(executable_path), {}, {}, {}, {}, {}}) {}

LoaderApp::LoaderApp(LoaderUi& ui, std::vector<std::string> args, LoaderEnvironment environment)
    : ui_(ui), args_(std::move(args)), env_(std::move(environment)) {}

// The window may outlive the run; its activation must not call into a run that is gone.
LoaderApp::~LoaderApp() {
  ui_.SetActivateHandler(nullptr);
  ui_.SetLogCopy(nullptr);
}

std::string LoaderApp::OsProductName() const {
  return env_.os_product_name ? *env_.os_product_name : platform::OsProductName();
}

std::unique_ptr<platform::Registry> LoaderApp::OpenRegistry() const {
  return env_.open_registry ? env_.open_registry() : platform::OpenCurrentUserRegistry();
}

int LoaderApp::Start(const std::string& command_line) const {
  return env_.start_program ? env_.start_program(command_line)
                            : platform::StartProgram(command_line);
}

void LoaderApp::Initialise(const ScreenGeometry& screen) {
  state_ = RunState{};
  state_.SwitchDb = false;
  if (env_.executable_path.empty()) env_.executable_path = platform::OwnExecutablePath();
  state_.LoaderDir = LoaderDirOf(env_.executable_path);
  os_product_name_ = OsProductName();
  state_.IsWindowsXP = IsWindowsXPProduct(os_product_name_);
  ApplySwitches(state_, args_);
  OpenRunLogFile();
  // Numbers and dates become text through the loader's own formatting with "." as both
  // separators; nothing here depends on the process locale.
  ui_.Initialise(screen, state_.SwitchWait);
  ui_.SetActivateHandler([this] { OnActivated(); });
}

void LoaderApp::OpenRunLogFile() {
  FourPartVersion own{};
  ReadOwnProductVersion(own);
  started_at_ = platform::LocalNow();
  started_clock_ = std::chrono::steady_clock::now();
  log_file_ = RunLogFile(platform::UserLogFilePath());
  log_file_.Append(
      {RunLogHeaderLine({started_at_, VersionText(own), platform::UserName(), platform::HostName(),
                         CommandLineText(env_.executable_path, args_)})});
  ui_.SetLogCopy([this](const std::vector<std::string>& lines) { log_file_.Append(lines); });
}

void LoaderApp::OnActivated() {
  FourPartVersion own{};
  ReadOwnProductVersion(own);
  ui_.SetVersionLabel(VersionText(own));
  ui_.ProcessMessages();
  ui_.WaitMs(500);
  RunUpdate();
}

void LoaderApp::RunUpdate() {
  if (started_) return;
  started_ = true;
  try {
    RunSequence();
  } catch (const std::exception& error) {
    // An error outside every stage frame ends the run: no summary, nothing started.
    outcome_ = RunOutcome::Unexpected;
    run_lock_.reset();
    ui_.ShowMessageBox(error.what());
  } catch (...) {
    outcome_ = RunOutcome::Unexpected;
    run_lock_.reset();
    ui_.ShowMessageBox("Непредвиденная ошибка");
  }
  ReportRun();
  finished_ = true;
}

void LoaderApp::RunSequence() {
  const RunLockWait lock = TakeRunLock();
  // Closed while another loader of the complex ran: the run ends with nothing done.
  if (lock == RunLockWait::Closed) return;
  if (lock == RunLockWait::TimedOut) {
    ReportComplexHeld();
  } else if (Prepare()) {
    RunUpdateStages();
  }
  WriteSummary();
  // The next loader of this complex need not wait for this window to close.
  run_lock_.reset();
  EndOfRun();
}

}  // namespace nurv
