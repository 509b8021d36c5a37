#include "inventory/reports.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "driver/print_debug.h"
#include "driver/record_memory.h"
#include "driver/return_codes.h"
#include "driver/text.h"

namespace {

// One line as fgets gives it; a longer physical line arrives in pieces.
constexpr int kLineSize = 1024;

// The first characters are compared before the call: a report line is
// tested against dozens of labels, and most differ at once.
bool Begins(const char* line, std::string_view label) {
  return line[0] == label[0] && std::strncmp(line, label.data(), label.size()) == 0;
}

// The value of a label line: it starts two characters after the first
// colon (hbacmd puts a blank there) and is cleaned in place.  A line that
// ends right after its colon has the empty value; a line without a colon
// has none (null).
const char* LineValue(char* line) {
  char* colon = std::strchr(line, ':');
  if (colon == nullptr) return nullptr;
  char* value = colon[1] == '\0' ? colon + 1 : colon + 2;
  return cleanString(value);
}

// Stores the value, cut to the field, when there is one; returns what the
// field then holds.
template <std::size_t N>
const char* Store(FixedText<N>& field, const char* value) {
  if (value != nullptr) field.assign(value);
  return field.c_str();
}

// Stores a PCI id text and, when the line had a value, its number.
template <std::size_t N>
const char* StoreId(FixedText<N>& field, int32_t* number, const char* value) {
  if (value == nullptr) return field.c_str();
  field.assign(value);
  *number = string2int(field.data(), 16);
  return field.c_str();
}

// For the labels whose content is not shown.
const char* Quiet(const char*) { return nullptr; }

int NoMemory() {
  PrintDebugf(1, "Error: Could not allocate memory for the HBA inventory.\n");
  return RET_MEMALLOC_FAIL;
}

// Fills one field of a listhbas record from a line that has a value;
// returns what is to be shown, or null for a line without a known label.
const char* FillPortField(hba_info* port, const char* line, const char* value) {
  if (Begins(line, "Flags")) return Store(port->Flags, value);
  if (Begins(line, "Host Name")) return Store(port->HostName, value);
  if (Begins(line, "Mfg")) return Store(port->Vendor, value);
  if (Begins(line, "Serial No")) return Store(port->SerialNumber, value);
  if (Begins(line, "Port Number")) return Store(port->PortNumber, value);
  if (Begins(line, "Mode") && !Begins(line, "Model")) return Store(port->Mode, value);
  if (Begins(line, "PCI Bus Number")) return Store(port->PCIBusNumber, value);
  if (Begins(line, "PCI Function")) return Store(port->PortFunction, value);
  if (Begins(line, "Port Type")) return Store(port->PortType, value);
  if (Begins(line, "Model")) return Store(port->Model, value);
  return nullptr;
}

// Fills one field of an attributes entry.  Returns what is to be shown for
// the labels whose content is shown, else null.  The value may be null.
// Labels are looked up by their first character; within one character no
// label begins with another, except "Model Desc", which fills ModelDesc
// only.
const char* FillAttribute(hba_attributes_entry* a, const char* line, const char* value) {
  switch (line[0]) {
    case 'B':
      if (Begins(line, "Board Temperature")) return Quiet(Store(a->BoardTemperature, value));
      break;
    case 'D':
      if (Begins(line, "Driver Name")) return Quiet(Store(a->DriverName, value));
      if (Begins(line, "Device ID")) return StoreId(a->DeviceID, &a->PciDeviceId, value);
      if (Begins(line, "Driver Version")) return Store(a->DriverVersion, value);
      break;
    case 'F':
      if (Begins(line, "FW Version")) return Store(a->FWVersion, value);
      if (Begins(line, "Function Type")) return Store(a->FunctionType, value);
      if (Begins(line, "Firmware Status")) return Quiet(Store(a->FirmwareStatus, value));
      if (Begins(line, "FCoE Universal Version"))
        return Quiet(Store(a->FCoEUniversalVersion, value));
      if (Begins(line, "FCoE x86 BIOS Version"))
        return Quiet(Store(a->FCoEx86BIOSVersion, value));
      if (Begins(line, "FCoE EFI Version")) return Quiet(Store(a->FCoEEFIVersion, value));
      if (Begins(line, "FCoE FCODE Version")) return Quiet(Store(a->FCoEFCODEVersion, value));
      break;
    case 'H':
      if (Begins(line, "Host Name")) return Quiet(Store(a->HostName, value));
      if (Begins(line, "HW Version")) return Store(a->HWVersion, value);
      if (Begins(line, "HBA Type")) return Store(a->HBAType, value);
      break;
    case 'I':
      if (Begins(line, "IEEE Address")) return Quiet(Store(a->IEEEAddress, value));
      if (Begins(line, "IPL Filename")) return Store(a->IPLFilename, value);
      break;
    case 'M':
      if (Begins(line, "Manufacturer")) return Quiet(Store(a->Manufacturer, value));
      if (Begins(line, "Model Desc")) return Quiet(Store(a->ModelDesc, value));
      if (Begins(line, "Model")) return Store(a->Model, value);
      break;
    case 'N':
      if (Begins(line, "Node WWN")) return Quiet(Store(a->NodeWWN, value));
      if (Begins(line, "Node Symname")) return Quiet(Store(a->NodeSymname, value));
      if (Begins(line, "Number of Ports")) return Quiet(Store(a->NumberOfPorts, value));
      if (Begins(line, "NCSI Version")) return Quiet(Store(a->NCSIVersion, value));
      break;
    case 'O':
      if (Begins(line, "Operational FW")) return Store(a->OperationalFW, value);
      break;
    case 'P':
      if (Begins(line, "PXE Boot")) return Quiet(Store(a->PXEBoot, value));
      if (Begins(line, "Port Number")) return Quiet(Store(a->PortNumber, value));
      if (Begins(line, "PCI Bus Number")) return Quiet(Store(a->PCIBusNumber, value));
      if (Begins(line, "PCI Func Number")) return Quiet(Store(a->PCIFuncNumber, value));
      if (Begins(line, "PCI Express Link Speed"))
        return Quiet(Store(a->PCIExpressLinkSpeed, value));
      if (Begins(line, "PCI Express Bus Width"))
        return Quiet(Store(a->PCIExpressBusWidth, value));
      break;
    case 'S':
      if (Begins(line, "Serial Number")) return Store(a->SerialNumber, value);
      if (Begins(line, "Sub Device ID")) return StoreId(a->SubDeviceID, &a->PciSubDeviceId, value);
      if (Begins(line, "Sub Vendor ID")) return StoreId(a->SubVendorID, &a->PciSubVendorId, value);
      if (Begins(line, "Service Processor FW Name"))
        return Quiet(Store(a->ServiceProcessorFWName, value));
      if (Begins(line, "Start-up Boot Code Version"))
        return Quiet(Store(a->StartUpBootCodeVersion, value));
      break;
    case 'U':
      if (Begins(line, "ULP FW Name")) return Quiet(Store(a->ULPFWName, value));
      if (Begins(line, "UEFI BIOS Version")) return Quiet(Store(a->UEFIBIOSVersion, value));
      if (Begins(line, "UEFI NIC Version")) return Quiet(Store(a->UEFINICVersion, value));
      if (Begins(line, "UEFI FCODE Version")) return Quiet(Store(a->UEFIFCODEVersion, value));
      if (Begins(line, "UEFI iSCSI Version")) return Quiet(Store(a->UEFIiSCSIVersion, value));
      break;
    case 'V':
      if (Begins(line, "Vendor Spec ID")) return StoreId(a->VendorSpecID, &a->PciVendorId, value);
      break;
  }
  return nullptr;
}

// Fills one field of a target mapping; returns what is to be shown, or
// null for a line without a known label.  The value may be null.
const char* FillTargetMapping(target_mapping_entry* t, const char* line, const char* value) {
  if (Begins(line, "FCP LUN")) return Store(t->FCPLun, value);
  if (Begins(line, "SCSI OS Lun")) return Store(t->SCSIOSLun, value);
  if (Begins(line, "Lun Device Name")) return Store(t->LunDeviceName, value);
  if (Begins(line, "Vendor ID")) return Store(t->VendorID, value);
  if (Begins(line, "Product ID")) return Store(t->ProductID, value);
  if (Begins(line, "Product Version")) return Store(t->ProductVersion, value);
  if (Begins(line, "Type")) return Store(t->Type, value);
  if (Begins(line, "SCSI Capacity")) return Store(t->SCSICapacity, value);
  if (Begins(line, "Block Size")) return Store(t->BlockSize, value);
  return nullptr;
}

}  // namespace

int ReadListHbasReport(FILE* report) {
  char line[kLineSize];
  hba_info* port = nullptr;  // the record the label lines fill
  int count = 0;
  while (std::fgets(line, sizeof line, report) != nullptr) {
    const char* value = LineValue(line);
    bool by_wwn = Begins(line, "Port WWN");
    if (by_wwn || Begins(line, "Permanent MAC")) {
      // A port block starts here, with or without a value.
      port = get_new_hba_info_entry();
      if (port == nullptr) return NoMemory();
      ++count;
      if (value == nullptr) continue;
      if (by_wwn)
        PrintDebugf(6, "\n%d)\tPortWWN: %s\n", count, Store(port->PortWWN, value));
      else
        PrintDebugf(6, "\n%d)\tPermanentMAC: %s\n", count, Store(port->PermanentMAC, value));
      continue;
    }
    if (port == nullptr || value == nullptr) continue;
    if (Begins(line, "Node WWN")) {
      PrintDebugf(6, "\tNodeWWN: %s\n", Store(port->NodeWWN, value));
    } else if (Begins(line, "Fabric Name")) {
      PrintDebugf(6, "\tFabric_Name: %s\n", Store(port->Fabric_Name, value));
    } else if (Begins(line, "Current MAC")) {
      PrintDebugf(6, "\tCurrentMAC: %s\n", Store(port->CurrentMAC, value));
    } else if (const char* shown = FillPortField(port, line, value)) {
      PrintDebugf(6, "\t%s\n", shown);
    }
  }
  return 0;
}

int ReadHbaAttributesReport(FILE* report, hba_info* port) {
  char line[kLineSize];
  hba_attributes_entry* current = nullptr;
  while (std::fgets(line, sizeof line, report) != nullptr) {
    const char* value = LineValue(line);
    if (Begins(line, "HBA Attributes for")) {
      current = get_new_hba_attributes_entry();
      if (current == nullptr) return NoMemory();
      // Nothing else points at an entry it replaces.
      ReleaseRecord(port->Attributes);
      port->Attributes = current;
      PrintDebugf(6, "\n\t\t%s %s\n\n", "HBA Attributes for", PortAddress(port));
      continue;
    }
    if (current == nullptr) continue;
    if (const char* shown = FillAttribute(current, line, value)) PrintDebugf(6, "\t\t%s\n", shown);
  }
  return 0;
}

int ReadTargetMappingReport(FILE* report, hba_info* port) {
  char line[kLineSize];
  int line_number = 0;  // counts up to 5 only: that is all that matters
  while (std::fgets(line, sizeof line, report) != nullptr) {
    if (line_number < 5) ++line_number;
    // The head of the report never holds a LUN block: the entry is made at
    // the first line from the fifth on that holds a colon.
    if (line_number >= 5 && port->TargetMapping == nullptr && std::strchr(line, ':') != nullptr) {
      port->TargetMapping = get_new_target_mapping_entry();
      if (port->TargetMapping == nullptr) return NoMemory();
    }
    const char* value = LineValue(line);
    if (Begins(line, "Target Mapping for")) {
      PrintDebugf(6, "\n\t\t\t%s %s\n", "Target Mapping for", port->PortWWN.c_str());
      continue;
    }
    if (port->TargetMapping == nullptr) continue;
    if (const char* shown = FillTargetMapping(port->TargetMapping, line, value))
      PrintDebugf(6, "\t\t\t%s\n", shown);
  }
  return 0;
}
