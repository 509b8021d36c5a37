// The per-controller check: the FCoE ports behind a port's flash partner,
// their storage judged and compared with the controller and vendor
// references.
#pragma once

#include "check/ctrl_flags.h"
#include "conditions/config_file.h"
#include "inventory/hba_info.h"

// Walks the FCoE ports chained behind the port's flash partner and judges
// the storage attached to each that fits the entry.
bool DoSubSystemCheck(hba_info* port, fc_config_file_entry** entry,
                      global_ctrl_flags* flags);

// True when both ports have attached storage and the vendors that stand
// for them (of their first sub-systems) differ.
bool NewCompareWithReferenceSystem(const hba_info* reference, const hba_info* port);
