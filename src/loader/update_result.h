#pragma once
#include <cstdint>

namespace nurv {

// Result of one update stage. No other value is ever produced.
inline constexpr std::int16_t kStageNotRequired = 0;  // nothing written
inline constexpr std::int16_t kStageWritten = 1;      // at least one file written, no error
inline constexpr std::int16_t kStageError = 9;        // at least one error; final within a call

// Records a written file: 9 is final, so a later success never lowers it.
inline void MarkStageWritten(std::int16_t& stage_result) {
  if (stage_result != kStageError) stage_result = kStageWritten;
}

// The code of a stage of several modules (SSL1 and SSL2): 9 when either failed, else 1 when
// either wrote, else 0.
inline std::int16_t CombinedStageResult(std::int16_t a, std::int16_t b) {
  if (a == kStageError || b == kStageError) return kStageError;
  if (a == kStageWritten || b == kStageWritten) return kStageWritten;
  return kStageNotRequired;
}

// Folds a stage's result into the run-wide result: the latest stage's code while no stage has
// failed; once 9, it stays 9.
inline void FoldUpdateResult(std::int16_t& update_result, std::int16_t stage_result) {
  if (update_result != kStageError) update_result = stage_result;
}

}  // namespace nurv
