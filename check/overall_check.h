// The sub-system check: are the storage sub-systems attached to the
// selected controllers allowed and consistent?
#pragma once

#include "check/ctrl_flags.h"
#include "conditions/selection_list.h"

// Pairs selections, installed ports and conditions entries, checks every
// fitting pair and returns the verdict of the first active check mode.
bool OverallSubSystemCheck(option_input* selections, global_ctrl_flags* flags);
