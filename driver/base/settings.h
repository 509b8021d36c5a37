// Process-wide settings: the output levels, the directories of the run and
// the active modes.  The driver writes them during start-up; every later
// step only reads them (apart from pHBAFlashCmdPath, filled by the
// inventory collection).
#pragma once

#include "driver/base/fixed_text.h"

using PathText = FixedText<1024>;

// Output levels (0 to 6) and the screen switch.  Defaults 0, 1, 1.
extern int DebugLevel;
extern int VerboseLevel;
extern int PrintDebugOnScreen;

// The conditions file's full path, and the firmware and working
// directories (both ending in "/").
extern PathText pHBAConditionsPath;
extern PathText pHBAFirmwarePath;
extern PathText pHBAWorkingPath;
// Full path of hbacmd, filled by Get_HbaCmd_Path.
extern PathText pHBAFlashCmdPath;

// TMPDIR, or "/tmp"; reported only.
extern FixedText<4096> TEMPDIR_BUFFER;

// --simulate: no shell command is run.
extern int active_option_simulate;
// The check modes, published once the mode is settled.
extern int active_option_valid_subsystem;
extern int active_option_ctrl_wide_identical;
extern int active_option_ctrl_vendor_wide_identical;

// True when the verbose or the debug level is above n.
inline bool LevelAbove(int n) { return VerboseLevel > n || DebugLevel > n; }

// Puts every setting back to its start value (levels 0, 1, 1; texts empty;
// modes off).
void ResetSettings();
