// Flashing the firmware and BIOS images of the selected adapters.
#pragma once

#include "check/ctrl_flags.h"
#include "conditions/config_entry.h"
#include "conditions/option_input.h"
#include "driver/settings.h"
#include "inventory/hba_info.h"

// Flashes every port that matches a selection and a conditions entry.  0,
// or the first non-zero result of FlashBladeEngine.
int OverallFlashBladeEngine(option_input* selections, global_ctrl_flags* flags);

// Flashes one port's adapter through its flash partner.  0, 10, 20 or 21.
int FlashBladeEngine(hba_info* port, fc_config_file_entry** entry,
                     global_ctrl_flags* flags);

// Looks the pattern up in the directory (which ends in "/"): a name prefix,
// or "*.ext" for an extension.  0 with the directory text plus the name in
// image, or 20.
int FindFlashImage(const char* directory, PathText* image, const char* pattern);
