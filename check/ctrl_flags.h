// The findings record of a run, in which the driver, the sub-system check
// and the flash engine meet.
#pragma once

struct hba_info;

struct global_ctrl_flags {
  int NoFcCtrlInstalled;
  int InvalidCtrlSubsystemCombinationFound;
  int MatchingCtrlModelInstalled;
  int CtrlSpecificSubsystemEquality;
  int CtrlVendorSpecificSubsystemEquality;
  hba_info* VendorReferenceSubsystem;  // not owned
};
