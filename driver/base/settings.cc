#include "driver/base/settings.h"

int DebugLevel = 0;
int VerboseLevel = 1;
int PrintDebugOnScreen = 1;

PathText pHBAConditionsPath;
PathText pHBAFirmwarePath;
PathText pHBAWorkingPath;
PathText pHBAFlashCmdPath;
FixedText<4096> TEMPDIR_BUFFER;

int active_option_simulate = 0;
int active_option_valid_subsystem = 0;
int active_option_ctrl_wide_identical = 0;
int active_option_ctrl_vendor_wide_identical = 0;

void ResetSettings() {
  DebugLevel = 0;
  VerboseLevel = 1;
  PrintDebugOnScreen = 1;
  pHBAConditionsPath.clear();
  pHBAFirmwarePath.clear();
  pHBAWorkingPath.clear();
  pHBAFlashCmdPath.clear();
  TEMPDIR_BUFFER.clear();
  active_option_simulate = 0;
  active_option_valid_subsystem = 0;
  active_option_ctrl_wide_identical = 0;
  active_option_ctrl_vendor_wide_identical = 0;
}
