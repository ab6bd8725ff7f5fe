#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nurv {

// The result of one update stage (`StageResult`), and the run-wide fold of the stages' results
// (`UpdateResult`).
enum class StageResult : std::int16_t {
  NotRequired = 0,  // nothing written: no row, or none newer than the installed file
  Written = 1,      // at least one file written, no error
  Error = 9,        // at least one error; final within a stage and within the run
};

// The end of a stage's line: " - OK", " - ОШИБКА", " - НЕ ТРЕБУЕТСЯ".
constexpr std::string_view StageLineSuffix(StageResult result) {
  switch (result) {
    case StageResult::Written:
      return " - OK";
    case StageResult::Error:
      return " - ОШИБКА";
    case StageResult::NotRequired:
      return " - НЕ ТРЕБУЕТСЯ";
  }
  return {};
}

// Two results of one stage taken together (its rows, or its modules: SSL1 and SSL2): 9 when
// either failed, else 1 when either wrote, else 0. A file written after an error leaves 9.
constexpr StageResult Combined(StageResult a, StageResult b) {
  if (a == StageResult::Error || b == StageResult::Error) return StageResult::Error;
  if (a == StageResult::Written || b == StageResult::Written) return StageResult::Written;
  return StageResult::NotRequired;
}

// Folds a stage's result into the run-wide result: the latest stage's code while no stage has
// failed; once 9, it stays 9.
constexpr void FoldUpdateResult(StageResult& update_result, StageResult stage_result) {
  if (update_result != StageResult::Error) update_result = stage_result;
}

// What a run's stages did, for the run's report: the files put into place and the bytes they
// hold, and the codes of the stages that failed.
struct UpdateTally {
  std::int64_t files = 0;
  std::int64_t bytes = 0;
  std::vector<std::string> failed_stages;

  void AddFile(std::uint64_t size) {
    ++files;
    bytes += static_cast<std::int64_t>(size);
  }
};

}  // namespace nurv
