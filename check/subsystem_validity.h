// Whether the storage attached to a port is allowed by a conditions entry,
// and whether what was identified stays within one model group.
#pragma once

#include "check/ctrl_flags.h"
#include "conditions/config_file.h"
#include "inventory/hba_info.h"

// True when one storage sub-system attached to the port is allowed by the
// entry; an invalid one sets InvalidCtrlSubsystemCombinationFound and is
// added to the refused sub-systems of the findings.
bool DoIndividualSubSystemCheck(const hba_info* port, const storage_subsystem& attached,
                                fc_config_file_entry** entry, global_ctrl_flags* flags);

// The same for every sub-system attached to the port, in order, up to the
// first invalid one; true when all are valid or nothing is attached.
bool DoIndividualSubSystemCheck(hba_info* port, fc_config_file_entry** entry,
                                global_ctrl_flags* flags);

// True when every element of the identified list is an element of the
// model group.
bool CheckModelGroupConsistency(const char* group, const char* identified);
