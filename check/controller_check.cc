// The per-controller check: walks the FCoE ports chained behind a port's
// flash partner, has the storage attached to each judged, and compares its
// vendor with the first examined port of the walk (the controller
// reference) and with the first reference of the run (the vendor
// reference).
#include "check/controller_check.h"

#include <string_view>
#include <unordered_set>

#include "check/subsystem_validity.h"
#include "driver/base/print_debug.h"
#include "driver/base/settings.h"

namespace {

// indent is "\t\t" for a port on its own, "\t\t\t" under a reference message.
void PrintPort(int level, const char* indent, const hba_info* port) {
  PrintDebugf(level,
              "%sVendor: %s, Model: %s SerialNumber: %s PortType: %s "
              "PortNumber: %s PCI function: %s\n",
              indent, port->Vendor.c_str(), port->Model.c_str(),
              port->SerialNumber.c_str(), port->PortType.c_str(),
              port->PortNumber.c_str(), port->PortFunction.c_str());
}

// Keeps the first break of an identity check.
void RecordDifference(vendor_difference* difference, const hba_info* reference,
                      const char* reference_vendor, const hba_info* port, const char* vendor) {
  if (difference->Port != nullptr) return;
  difference->ReferencePort = reference;
  difference->ReferenceVendor.assign_cut(reference_vendor);
  difference->Port = port;
  difference->Vendor.assign_cut(vendor);
}

// The entry's controller vendor and model are prefixes of the port's; an
// empty entry text fits every port.
bool FitsEntry(const hba_info* port, const fc_config_file_entry* entry) {
  return port->Vendor.starts_with(entry->CtrlVendor.view()) &&
         port->Model.starts_with(entry->CtrlModel.view());
}

void PrintCheckHeader(const hba_info* port) {
  PrintDebugf(1, "\n\t\t%s\n", kDashRuler);
  PrintDebugf(1, "\n\t\tPerform subsystem check for:\n");
  PrintPort(1, "\t\t", port);
}

// The walk's first port with storage becomes the controller reference,
// valid or not, its first sub-system standing for it; every later valid
// sub-system of the walk is compared with it.
void CompareWithControllerReference(hba_info* node, const storage_subsystem& attached,
                                    bool valid, hba_info** reference, bool* identical,
                                    global_ctrl_flags* flags) {
  if (*reference == nullptr) {
    *reference = node;
    if (LevelAbove(1)) {
      PrintDebugf(2, "\t\tTake this sub-system as reference-sub-system for this "
                     "controller-device.\n");
      PrintPort(2, "\t\t\t", node);
    }
  } else if (valid && attached.VendorID.view() != ReferenceVendor(*reference)) {
    if (LevelAbove(1)) {
      PrintDebugf(2, "\t\tThis sub-system differs from controller specific "
                     "reference-sub-system.\n");
      PrintPort(2, "\t\t\t", node);
    }
    *identical = false;
    flags->CtrlVendorSpecificSubsystemEquality = 0;
    RecordDifference(&flags->CtrlWideDifference, *reference, ReferenceVendor(*reference),
                     node, attached.VendorID.c_str());
    RecordDifference(&flags->VendorWideDifference, *reference, ReferenceVendor(*reference),
                     node, attached.VendorID.c_str());
  } else if (valid) {
    if (LevelAbove(1)) {
      PrintDebugf(2, "\t\tThis sub-system is consistent with controller specific "
                     "reference-sub-system (only vendor-id was checked).\n");
      PrintPort(2, "\t\t\t", node);
    }
  }
}

// The first controller reference of the run becomes the vendor reference;
// every later one is compared with it, as long as no difference was found.
void CompareWithVendorReference(hba_info* reference, global_ctrl_flags* flags) {
  if (flags->VendorReferenceSubsystem == nullptr) {
    flags->VendorReferenceSubsystem = reference;
    if (LevelAbove(1)) {
      PrintDebugf(2, "\t\tTake this sub-system as reference-sub-system for vendor %s.\n",
                  reference->Vendor.c_str());
      PrintPort(2, "\t\t\t", reference);
    }
  } else if (flags->CtrlVendorSpecificSubsystemEquality != 0 &&
             !NewCompareWithReferenceSystem(flags->VendorReferenceSubsystem,
                                            reference)) {
    if (LevelAbove(1)) {
      PrintDebugf(2,
                  "\t\tAll sub-systems are consistent with vendor specific "
                  "reference-sub-system (only vendor-id was checked) %s.\n\n",
                  flags->VendorReferenceSubsystem->PortWWN.c_str());
    }
  } else {
    if (LevelAbove(1)) {
      PrintDebugf(2, "vendor specific reference-sub-system %d >%s< >%s<.\n",
                  flags->CtrlVendorSpecificSubsystemEquality,
                  ReferenceVendor(flags->VendorReferenceSubsystem),
                  ReferenceVendor(reference));
      PrintDebugf(2, "\t\tAt least one sub-system differs from vendor specific "
                     "reference-sub-system (different vendors).\n\n");
    }
    flags->CtrlVendorSpecificSubsystemEquality = 0;
    if (NewCompareWithReferenceSystem(flags->VendorReferenceSubsystem, reference)) {
      RecordDifference(&flags->VendorWideDifference, flags->VendorReferenceSubsystem,
                       ReferenceVendor(flags->VendorReferenceSubsystem), reference,
                       ReferenceVendor(reference));
    }
  }
}

}  // namespace

bool NewCompareWithReferenceSystem(const hba_info* reference, const hba_info* port) {
  if (reference == nullptr || port == nullptr) return false;
  if (reference->TargetMapping == nullptr || port->TargetMapping == nullptr) return false;
  return std::string_view(ReferenceVendor(reference)) != ReferenceVendor(port);
}

// Returns true when every port the walk examined was valid and of the
// controller reference's vendor.
bool DoSubSystemCheck(hba_info* port, fc_config_file_entry** entry,
                      global_ctrl_flags* flags) {
  hba_info* controller_reference = nullptr;
  bool controller_identical = true;
  const fc_config_file_entry* conditions =
      entry != nullptr ? *entry : nullptr;

  // The chain is normally two links long, but it can lead back to a port
  // it has passed, in a loop of any length: remember every node.
  std::unordered_set<const hba_info*> visited;
  hba_info* node = (port != nullptr && port->FlashPartner != nullptr)
                       ? port->FlashPartner->NextFCoEPort
                       : nullptr;
  if (conditions == nullptr) node = nullptr;

  for (; node != nullptr && visited.insert(node).second; node = node->NextFCoEPort) {
    if (!FitsEntry(node, conditions)) continue;

    if (node->SubsystemCheckDone) {
      if (LevelAbove(3)) {
        PrintCheckHeader(node);
        PrintDebugf(1, "\t\tSubsystem check already done => continue.\n");
      }
      continue;
    }

    if (LevelAbove(0)) PrintCheckHeader(node);

    if (node->TargetMapping == nullptr) {
      if (LevelAbove(0)) PrintDebugf(1, "\n");
      node->SubsystemCheckDone = true;
      if (!controller_identical) flags->CtrlSpecificSubsystemEquality = 0;
      continue;
    }

    // Every distinct sub-system the port sees is judged and compared in
    // turn, as a port of its own would be.
    bool valid = true;
    storage_subsystem single;
    for (const storage_subsystem& attached : AttachedSubsystems(node, &single)) {
      valid = DoIndividualSubSystemCheck(node, attached, entry, flags);

      CompareWithControllerReference(node, attached, valid, &controller_reference,
                                     &controller_identical, flags);
      if (LevelAbove(0)) PrintDebugf(1, "\n");
      if (!valid) break;

      CompareWithVendorReference(controller_reference, flags);
    }

    if (!valid) {
      controller_identical = false;
      flags->CtrlSpecificSubsystemEquality = 0;
      flags->CtrlVendorSpecificSubsystemEquality = 0;
      node->SubsystemCheckDone = true;
      break;  // the ports behind it wait for a later walk
    }

    node->SubsystemCheckDone = true;

    if (!controller_identical) flags->CtrlSpecificSubsystemEquality = 0;
  }

  PrintDebugf(6, "%s\n", kDashRuler);
  return controller_identical;
}
