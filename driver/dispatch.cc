#include "driver/dispatch.h"

#include "check/overall_check.h"
#include "driver/base/print_debug.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "flash/flash_engine.h"

namespace {

void PrintFlagBlock(const global_ctrl_flags& flags, bool leading_break) {
  PrintDebugf(3, leading_break ? "\nInvalidCtrlSubsystemCombinationFound: %d \n"
                               : "InvalidCtrlSubsystemCombinationFound: %d \n",
              flags.InvalidCtrlSubsystemCombinationFound ? 1 : 0);
  PrintDebugf(3, "MatchingCtrlModelInstalled: %d \n", flags.MatchingCtrlModelInstalled ? 1 : 0);
  PrintDebugf(3, "CtrlVendorSpecificSubsystemEquality: %d \n",
              flags.CtrlVendorSpecificSubsystemEquality ? 1 : 0);
  PrintDebugf(3, "CtrlSpecificSubsystemEquality: %d \n", flags.CtrlSpecificSubsystemEquality ? 1 : 0);
}

// The code of a failed check: an invalid combination wins over the
// identity findings.
int FailedCheckStatus(const run_state& state) {
  const global_ctrl_flags& flags = state.ctrl_flags;
  if (flags.InvalidCtrlSubsystemCombinationFound) return RET_INVALID_CTRL_SUBSYSTEM_COMBINATION;
  if (state.option_ctrl_vendor_wide_identical && flags.CtrlVendorSpecificSubsystemEquality == 0)
    return RET_NOT_CTRL_VENDOR_WIDE_IDENTICAL;
  if (state.option_ctrl_wide_identical && flags.CtrlSpecificSubsystemEquality == 0)
    return RET_NOT_CTRL_WIDE_IDENTICAL;
  return RET_OK;
}

int ExitStatus(const run_state& state) {
  const global_ctrl_flags& flags = state.ctrl_flags;
  if (flags.NoFcCtrlInstalled) return state.option_dov_mode ? RET_OK : RET_NO_FC_CTRL_INSTALLED;
  if (flags.MatchingCtrlModelInstalled == 0)
    return state.option_dov_mode ? RET_OK : RET_NO_MATCHING_CTRL_FOUND;
  return FailedCheckStatus(state);
}

}  // namespace

int RunDispatch(run_state* state) {
  global_ctrl_flags& flags = state->ctrl_flags;
  if (LevelAbove(5)) PrintFlagBlock(flags, true);

  bool check = state->option_ctrl_vendor_wide_identical || state->option_ctrl_wide_identical ||
               state->option_valid_subsystem;
  if (check && state->option_flash) {
    if (OverallSubSystemCheck(state->selection_list, &flags)) {
      int result = OverallFlashBladeEngine(state->selection_list, &flags);
      PrintDebugf(3, "\t\tOverallFlashBladeEngine returned: %d \n\n", result);
      if (result != RET_OK) return result;
    } else {
      PrintDebugf(3, "OverallSubSystemCheck returned: %d \n", 0);
      int status = FailedCheckStatus(*state);
      if (status != RET_OK) return status;
    }
  } else if (check) {
    bool passed = OverallSubSystemCheck(state->selection_list, &flags);
    PrintDebugf(3, "OverallSubSystemCheck returned: %d \n", passed ? 1 : 0);
  } else {
    int result = OverallFlashBladeEngine(state->selection_list, &flags);
    PrintDebugf(3, "\t\tOverallFlashBladeEngine returned: %d \n\n", result);
    if (result != RET_OK) return result;
  }

  if (LevelAbove(5)) PrintFlagBlock(flags, false);
  return ExitStatus(*state);
}
