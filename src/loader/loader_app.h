#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/database.h"
#include "loader/loader_ui.h"
#include "loader/run_log_file.h"
#include "loader/run_state.h"
#include "platform/registry.h"
#include "platform/run_lock.h"
#include "platform/version_info.h"

namespace nurv {

struct RunReport;
struct UpdateContext;

// Outcome of one run, as the front ends report it in their exit status.
enum class RunOutcome {
  Success = 0,      // success banner: the main program was started
  InitError = 1,    // initialisation-error banner
  UpdateError = 2,  // update-error banner
  Unexpected = 3,   // ended by an error outside every stage, or not run to its end
  StartError = 4,   // start-error banner: the main program could not be started
};

// What a run takes from the system; each can be replaced for tests. Empty members mean the
// system's own.
struct LoaderEnvironment {
  std::string executable_path;                      // the loader's own executable, links resolved
  std::optional<std::string> os_product_name;       // the operating system's product name
  std::optional<FourPartVersion> own_file_version;  // instead of the version resource
  std::function<std::unique_ptr<platform::Registry>()> open_registry;
  std::function<int(const std::string&)> start_program;  // WinExec-style result
  // How long a run waits for another loader of the complex to end; none: as long as it takes,
  // for a window whose user can close it meanwhile.
  std::optional<std::chrono::milliseconds> run_lock_wait;
};

// One run of the loader: the run-wide state that the main sequence and the update stages share,
// and the main sequence `RunUpdate`, driving the window through LoaderUi only. Every front end
// uses this class.
class LoaderApp {
 public:
  LoaderApp(LoaderUi& ui, std::vector<std::string> args, std::string executable_path = {});
  LoaderApp(LoaderUi& ui, std::vector<std::string> args, LoaderEnvironment environment);
  ~LoaderApp();
  LoaderApp(const LoaderApp&) = delete;
  LoaderApp& operator=(const LoaderApp&) = delete;

  // Window creation: run-wide state, switches, loader folder, Windows XP test, window state; the
  // window's first activation (LoaderUi::Activate) then runs OnActivated.
  void Initialise(const ScreenGeometry& screen);
  // The main sequence; runs at most once.
  void RunUpdate();

  // The outcome as a number: 0 success, 1 initialisation error, 2 update errors, 3 unexpected
  // end, 4 start error.
  int ExitStatus() const { return static_cast<int>(outcome_); }
  RunOutcome Outcome() const { return outcome_; }
  bool SequenceFinished() const { return finished_; }
  const RunState& State() const { return state_; }

 private:
  // The first activation: shows the version, pauses 500 ms and runs the main sequence.
  void OnActivated();
  // The main sequence from the run lock to the main program's start.
  void RunSequence();
  // How the wait for the run lock of the complex ended.
  enum class RunLockWait { Taken, Closed, TimedOut };
  RunLockWait TakeRunLock();
  // The run's end when another loader kept the complex beyond the wait: an initialisation error.
  void ReportComplexHeld();
  // Starts the run's part of the user's log file with its header line.
  void OpenRunLogFile();
  // The preparation; false when the run goes straight to the summary.
  bool Prepare();
  void ReadIniAndRegistry(platform::Registry& registry);
  void ChooseAndConnect(platform::Registry& registry);
  void CheckUpdateAccess();
  void ReadAvailableVersions();
  void ReadInstalledVersions();
  void RemoveOldBrowserFiles();
  void WriteVersionLines();
  void RunUpdateStages();
  void RunGroupStages(UpdateContext& ctx);
  void WriteSummary();
  // False when the main program could not be started.
  bool StartMainProgram();
  void EndOfRun();
  // The run's row in UpdatesReport where that table exists; a failure is written to the log file
  // alone.
  void ReportRun();
  RunReport ThisRunReport() const;

  std::string OsProductName() const;
  std::unique_ptr<platform::Registry> OpenRegistry() const;
  int Start(const std::string& command_line) const;

  LoaderUi& ui_;
  std::vector<std::string> args_;
  LoaderEnvironment env_;
  RunState state_;
  RunLogFile log_file_;
  std::string os_product_name_;
  // One loader at a time per complex and user: held from before nurv.ini is read until the main
  // program is started (or the run has failed).
  std::unique_ptr<platform::RunLock> run_lock_;
  db::Connection connection_;
  // The catalogue dataset over every update row without the file contents: open from the access
  // check to the end of the run.
  std::unique_ptr<db::Dataset> catalogue_;
  // When the run began, for its report: the local time its log file's header line shows, and the
  // steady clock's time its duration is measured from.
  DateTime started_at_{};
  std::chrono::steady_clock::time_point started_clock_{};
  UpdateTally tally_;
  bool started_ = false;
  bool finished_ = false;
  RunOutcome outcome_ = RunOutcome::Unexpected;
};

}  // namespace nurv
