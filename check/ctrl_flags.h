// The findings record of a run, in which the driver, the sub-system check
// and the flash engine meet.
#pragma once

struct hba_info;

// The start values are those of a run before anything is found: no
// controller missing, nothing invalid, nothing matched, both identities
// holding until a check breaks them.
struct global_ctrl_flags {
  int NoFcCtrlInstalled = 0;
  int InvalidCtrlSubsystemCombinationFound = 0;
  int MatchingCtrlModelInstalled = 0;
  int CtrlSpecificSubsystemEquality = 1;
  int CtrlVendorSpecificSubsystemEquality = 1;
  hba_info* VendorReferenceSubsystem = nullptr;  // not owned
};
