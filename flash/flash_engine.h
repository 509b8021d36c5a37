// Flashing the firmware and BIOS images of the selected adapters.
#pragma once

#include "check/ctrl_flags.h"
#include "conditions/config_file.h"
#include "conditions/selection_list.h"
#include "inventory/hba_info.h"

// Flashes every port that matches a selection and a conditions entry.  0,
// or the first non-zero result of FlashBladeEngine.
int OverallFlashBladeEngine(option_input* selections, global_ctrl_flags* flags);

// Flashes one port's adapter through its flash partner.  0, 10, 20 or 21.
int FlashBladeEngine(hba_info* port, fc_config_file_entry** entry,
                     global_ctrl_flags* flags);
