// The sub-system check: are the storage sub-systems attached to the
// selected controllers allowed and consistent?
#pragma once

#include "check/ctrl_flags.h"
#include "conditions/config_entry.h"
#include "conditions/option_input.h"
#include "inventory/hba_info.h"

// Pairs selections, installed ports and conditions entries, checks every
// fitting pair and returns the verdict of the first active check mode.
bool OverallSubSystemCheck(option_input* selections, global_ctrl_flags* flags);

// Walks the FCoE ports chained behind the port's flash partner and judges
// the storage attached to each that fits the entry.
bool DoSubSystemCheck(hba_info* port, fc_config_file_entry** entry,
                      global_ctrl_flags* flags);

// True when both ports have attached storage and the vendors differ.
bool NewCompareWithReferenceSystem(const hba_info* reference, const hba_info* port);

// True when the storage attached to the port is allowed by the entry; an
// invalid one sets InvalidCtrlSubsystemCombinationFound.
bool DoIndividualSubSystemCheck(hba_info* port, fc_config_file_entry** entry,
                                global_ctrl_flags* flags);

// True when every element of the identified list is an element of the
// model group.
bool CheckModelGroupConsistency(const char* group, const char* identified);
