// Whether the storage attached to a port is allowed by a conditions entry,
// and whether what was identified stays within one model group.
#pragma once

#include "check/ctrl_flags.h"
#include "conditions/config_file.h"
#include "inventory/hba_info.h"

// True when the storage attached to the port is allowed by the entry; an
// invalid one sets InvalidCtrlSubsystemCombinationFound.
bool DoIndividualSubSystemCheck(hba_info* port, fc_config_file_entry** entry,
                                global_ctrl_flags* flags);

// True when every element of the identified list is an element of the
// model group.
bool CheckModelGroupConsistency(const char* group, const char* identified);
