// The findings record of a run, in which the driver, the sub-system check
// and the flash engine meet.
#pragma once

#include <cstddef>
#include <vector>

#include "driver/base/fixed_text.h"

struct hba_info;
struct fc_config_file_entry;

// One storage sub-system that the validity check refused for a port.
struct refused_subsystem {
  const hba_info* Port = nullptr;                // not owned
  const fc_config_file_entry* Entry = nullptr;   // judged against; not owned
  FixedText<64> VendorID{};
  FixedText<64> ProductID{};
  FixedText<16> ProductVersion{};
};

// The first break of an identity check: the vendor of Port's storage
// differs from the vendor of ReferencePort's.  Port null: no break.
struct vendor_difference {
  const hba_info* ReferencePort = nullptr;  // not owned
  FixedText<64> ReferenceVendor{};
  const hba_info* Port = nullptr;           // not owned
  FixedText<64> Vendor{};
};

// At most this many refused sub-systems are kept; the rest are counted.
inline constexpr std::size_t kRefusedSubsystemsKept = 1024;

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

  // Why, for those who explain a verdict.  Filled by the check beside the
  // flags above and never read by it: no verdict and no message depends
  // on them.
  //
  // The refused sub-systems in judging order, each (port, vendor, product)
  // once; at most kRefusedSubsystemsKept, the others only counted.
  std::vector<refused_subsystem> RefusedSubsystems{};
  std::size_t RefusedSubsystemsNotKept = 0;
  // The first vendor difference that cleared CtrlSpecificSubsystemEquality
  // (--ctrl-wide-identical, status 1): a port's storage against the first
  // storage of its controller.
  vendor_difference CtrlWideDifference{};
  // The first vendor difference that cleared
  // CtrlVendorSpecificSubsystemEquality (--ctrl-vendor-wide-identical,
  // status 2): within a controller as above, or a controller's reference
  // against the run's vendor reference.
  vendor_difference VendorWideDifference{};
};
