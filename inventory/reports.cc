#include "inventory/reports.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "driver/base/print_debug.h"
#include "driver/base/record_memory.h"
#include "driver/base/return_codes.h"
#include "driver/base/text.h"

namespace {

// One line as fgets gives it; a longer physical line arrives in pieces.
// The buffer starts zero-filled, so that all of it is defined whatever
// lines were read into it.
constexpr int kLineSize = 1024;
using Line = char[kLineSize];

// Whether the line begins with the label.  The buffer is compared beyond
// the line's end: every byte of it is defined, and a label holds no
// terminator, so it matches exactly when the line begins with it.
template <std::size_t N>
bool Begins(const Line& line, const char (&label)[N]) {
  static_assert(N <= kLineSize);
  return std::memcmp(line, label, N - 1) == 0;
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
  if (value != nullptr) field.assign_cut(value);
  return field.c_str();
}

// Stores a PCI id text and, when the line had a value, its number.
template <std::size_t N>
const char* StoreId(FixedText<N>& field, int32_t* number, const char* value) {
  if (value == nullptr) return field.c_str();
  field.assign_cut(value);
  *number = string2int(field.data(), 16);
  return field.c_str();
}

template <typename Member>
struct RecordOf;
template <typename Record, typename Field>
struct RecordOf<Field Record::*> {
  using type = Record;
};

// The fillers of the label rows: one text field, or an id text with its
// number.  Each returns what the field holds afterwards.
template <auto field>
const char* Text(typename RecordOf<decltype(field)>::type* record, const char* value) {
  return Store(record->*field, value);
}
template <auto field, auto number>
const char* Id(typename RecordOf<decltype(field)>::type* record, const char* value) {
  return StoreId(record->*field, &(record->*number), value);
}

// One label of a report: the text its lines begin with, the field they
// fill, and what is shown of it: null for nothing, otherwise a name that
// precedes the field's content ("" for none).
template <typename Record>
struct Label {
  std::string_view text;
  const char* (*fill)(Record* record, const char* value);
  const char* shown;
};

constexpr const char* kQuiet = nullptr;
constexpr const char* kShown = "";

// The labels of one report, tested in table order.  A label that begins
// with another label of its table must stand before it.  The rows that
// share a first character stand together, so a line is tested only
// against the rows of its own first character.
template <typename Record, std::size_t N>
class LabelTable {
 public:
  constexpr explicit LabelTable(const std::array<Label<Record>, N>& rows) : rows_(rows) {
    for (std::size_t i = 0; i < N; ++i) {
      auto first = static_cast<unsigned char>(rows[i].text[0]);
      if (end_[first] == 0) begin_[first] = static_cast<std::uint8_t>(i);
      end_[first] = static_cast<std::uint8_t>(i + 1);
    }
  }

  // The first row whose label the line begins with, or null.  As in
  // Begins, the buffer is compared beyond the line's end.
  const Label<Record>* Find(const Line& line) const {
    auto first = static_cast<unsigned char>(line[0]);
    for (std::size_t i = begin_[first], end = end_[first]; i < end; ++i) {
      std::string_view label = rows_[i].text;
      if (std::memcmp(line, label.data(), label.size()) == 0) return &rows_[i];
    }
    return nullptr;
  }

  // The position of a row that Find returned.
  std::size_t IndexOf(const Label<Record>* row) const {
    return static_cast<std::size_t>(row - rows_.data());
  }

  static constexpr std::size_t Size() { return N; }

  // Whether every label fits a line and the rows of each first character
  // stand together (checked at compile time).
  constexpr bool WellFormed() const {
    for (const Label<Record>& row : rows_) {
      if (row.text.empty() || row.text.size() >= kLineSize) return false;
      auto first = static_cast<unsigned char>(row.text[0]);
      for (std::size_t j = begin_[first]; j < end_[first]; ++j)
        if (rows_[j].text[0] != row.text[0]) return false;
    }
    return N < 256;
  }

 private:
  std::array<Label<Record>, N> rows_;
  std::array<std::uint8_t, 256> begin_{};
  std::array<std::uint8_t, 256> end_{};
};

using Attributes = hba_attributes_entry;
using Mapping = target_mapping_entry;

// The listhbas labels after the two that start a port block.  "Model"
// stands before "Mode", which fills Mode only for the other lines.
constexpr LabelTable kPortLabels(std::to_array<Label<hba_info>>({
    {"Current MAC", Text<&hba_info::CurrentMAC>, "CurrentMAC: "},
    {"Fabric Name", Text<&hba_info::Fabric_Name>, "Fabric_Name: "},
    {"Flags", Text<&hba_info::Flags>, kShown},
    {"Host Name", Text<&hba_info::HostName>, kShown},
    {"Mfg", Text<&hba_info::Vendor>, kShown},
    {"Model", Text<&hba_info::Model>, kShown},
    {"Mode", Text<&hba_info::Mode>, kShown},
    {"Node WWN", Text<&hba_info::NodeWWN>, "NodeWWN: "},
    {"Port Number", Text<&hba_info::PortNumber>, kShown},
    {"PCI Bus Number", Text<&hba_info::PCIBusNumber>, kShown},
    {"PCI Function", Text<&hba_info::PortFunction>, kShown},
    {"Port Type", Text<&hba_info::PortType>, kShown},
    {"Serial No", Text<&hba_info::SerialNumber>, kShown},
}));

// The hbaattributes labels.  "Model Desc" stands before "Model", which
// fills Model only for the other lines.
constexpr LabelTable kAttributeLabels(std::to_array<Label<Attributes>>({
    {"Board Temperature", Text<&Attributes::BoardTemperature>, kQuiet},
    {"Driver Name", Text<&Attributes::DriverName>, kQuiet},
    {"Device ID", Id<&Attributes::DeviceID, &Attributes::PciDeviceId>, kShown},
    {"Driver Version", Text<&Attributes::DriverVersion>, kShown},
    {"FW Version", Text<&Attributes::FWVersion>, kShown},
    {"Function Type", Text<&Attributes::FunctionType>, kShown},
    {"Firmware Status", Text<&Attributes::FirmwareStatus>, kQuiet},
    {"FCoE Universal Version", Text<&Attributes::FCoEUniversalVersion>, kQuiet},
    {"FCoE x86 BIOS Version", Text<&Attributes::FCoEx86BIOSVersion>, kQuiet},
    {"FCoE EFI Version", Text<&Attributes::FCoEEFIVersion>, kQuiet},
    {"FCoE FCODE Version", Text<&Attributes::FCoEFCODEVersion>, kQuiet},
    {"Host Name", Text<&Attributes::HostName>, kQuiet},
    {"HW Version", Text<&Attributes::HWVersion>, kShown},
    {"HBA Type", Text<&Attributes::HBAType>, kShown},
    {"IEEE Address", Text<&Attributes::IEEEAddress>, kQuiet},
    {"IPL Filename", Text<&Attributes::IPLFilename>, kShown},
    {"Manufacturer", Text<&Attributes::Manufacturer>, kQuiet},
    {"Model Desc", Text<&Attributes::ModelDesc>, kQuiet},
    {"Model", Text<&Attributes::Model>, kShown},
    {"Node WWN", Text<&Attributes::NodeWWN>, kQuiet},
    {"Node Symname", Text<&Attributes::NodeSymname>, kQuiet},
    {"Number of Ports", Text<&Attributes::NumberOfPorts>, kQuiet},
    {"NCSI Version", Text<&Attributes::NCSIVersion>, kQuiet},
    {"Operational FW", Text<&Attributes::OperationalFW>, kShown},
    {"PXE Boot", Text<&Attributes::PXEBoot>, kQuiet},
    {"Port Number", Text<&Attributes::PortNumber>, kQuiet},
    {"PCI Bus Number", Text<&Attributes::PCIBusNumber>, kQuiet},
    {"PCI Func Number", Text<&Attributes::PCIFuncNumber>, kQuiet},
    {"PCI Express Link Speed", Text<&Attributes::PCIExpressLinkSpeed>, kQuiet},
    {"PCI Express Bus Width", Text<&Attributes::PCIExpressBusWidth>, kQuiet},
    {"Serial Number", Text<&Attributes::SerialNumber>, kShown},
    {"Sub Device ID", Id<&Attributes::SubDeviceID, &Attributes::PciSubDeviceId>, kShown},
    {"Sub Vendor ID", Id<&Attributes::SubVendorID, &Attributes::PciSubVendorId>, kShown},
    {"Service Processor FW Name", Text<&Attributes::ServiceProcessorFWName>, kQuiet},
    {"Start-up Boot Code Version", Text<&Attributes::StartUpBootCodeVersion>, kQuiet},
    {"ULP FW Name", Text<&Attributes::ULPFWName>, kQuiet},
    {"UEFI BIOS Version", Text<&Attributes::UEFIBIOSVersion>, kQuiet},
    {"UEFI NIC Version", Text<&Attributes::UEFINICVersion>, kQuiet},
    {"UEFI FCODE Version", Text<&Attributes::UEFIFCODEVersion>, kQuiet},
    {"UEFI iSCSI Version", Text<&Attributes::UEFIiSCSIVersion>, kQuiet},
    {"Vendor Spec ID", Id<&Attributes::VendorSpecID, &Attributes::PciVendorId>, kShown},
}));

// The targetmapping labels after "Target Mapping for".
constexpr LabelTable kMappingLabels(std::to_array<Label<Mapping>>({
    {"FCP LUN", Text<&Mapping::FCPLun>, kShown},
    {"SCSI OS Lun", Text<&Mapping::SCSIOSLun>, kShown},
    {"SCSI Capacity", Text<&Mapping::SCSICapacity>, kShown},
    {"Lun Device Name", Text<&Mapping::LunDeviceName>, kShown},
    {"Vendor ID", Text<&Mapping::VendorID>, kShown},
    {"Product ID", Text<&Mapping::ProductID>, kShown},
    {"Product Version", Text<&Mapping::ProductVersion>, kShown},
    {"Type", Text<&Mapping::Type>, kShown},
    {"Block Size", Text<&Mapping::BlockSize>, kShown},
}));

static_assert(kPortLabels.WellFormed() && kAttributeLabels.WellFormed() &&
              kMappingLabels.WellFormed());

int NoMemory() {
  PrintDebugf(1, "Error: Could not allocate memory for the HBA inventory.\n");
  return RET_MEMALLOC_FAIL;
}

}  // namespace

int ReadListHbasReport(FILE* report) {
  Line line = {};
  hba_info* port = nullptr;  // the record the label lines fill
  int count = 0;
  while (std::fgets(line, sizeof line, report) != nullptr) {
    bool by_wwn = Begins(line, "Port WWN");
    if (by_wwn || Begins(line, "Permanent MAC")) {
      // A port block starts here, with or without a value.
      port = get_new_hba_info_entry();
      if (port == nullptr) return NoMemory();
      ++count;
      // The echo shows the value as read; the field keeps what fits.
      const char* value = LineValue(line);
      if (value == nullptr) continue;
      if (by_wwn) {
        Store(port->PortWWN, value);
        PrintDebugf(6, "\n%d)\tPortWWN: %s\n", count, value);
      } else {
        Store(port->PermanentMAC, value);
        PrintDebugf(6, "\n%d)\tPermanentMAC: %s\n", count, value);
      }
      continue;
    }
    if (port == nullptr) continue;
    const Label<hba_info>* label = kPortLabels.Find(line);
    if (label == nullptr) continue;
    if (const char* value = LineValue(line)) {
      label->fill(port, value);
      PrintDebugf(6, "\t%s%s\n", label->shown, value);
    }
  }
  return 0;
}

int ReadHbaAttributesReport(FILE* report, hba_info* port) {
  Line line = {};
  hba_attributes_entry* current = nullptr;
  while (std::fgets(line, sizeof line, report) != nullptr) {
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
    const Label<Attributes>* label = kAttributeLabels.Find(line);
    if (label == nullptr) continue;
    const char* content = label->fill(current, LineValue(line));
    if (label->shown != kQuiet) PrintDebugf(6, "\t\t%s\n", content);
  }
  return 0;
}

namespace {

// Collects the distinct storage sub-systems of one targetmapping report.
// A LUN block holds each label once, so a label seen again starts the next
// block; at that point, and at the end of the report, the entry holds the
// vendor and product of the block that ended.  Only pairs not seen before
// are kept, so the memory grows with the distinct sub-systems, not the
// LUNs.
class SubsystemCollector {
 public:
  explicit SubsystemCollector(hba_info* port) : port_(port) {}

  // Called for every label line before it fills the entry.  False when
  // memory is exhausted.
  bool Label(std::size_t row) {
    unsigned bit = 1U << row;
    if ((seen_ & bit) == 0) {
      seen_ |= bit;
      return true;
    }
    seen_ = bit;
    return BlockEnded();
  }

  // At the end of the report.
  bool ReportEnded() { return port_->TargetMapping == nullptr || BlockEnded(); }

 private:
  bool BlockEnded() {
    const target_mapping_entry* entry = port_->TargetMapping;
    std::string key(entry->VendorID.view());
    key.push_back('\0');
    key.append(entry->ProductID.view());
    if (!keys_.insert(std::move(key)).second) return true;
    storage_subsystem subsystem{};
    subsystem.VendorID = entry->VendorID;
    subsystem.ProductID = entry->ProductID;
    subsystem.ProductVersion = entry->ProductVersion;
    return AppendSubsystem(port_, subsystem);
  }

  hba_info* port_;
  unsigned seen_ = 0;  // the labels of the current block, one bit per row
  std::unordered_set<std::string> keys_;
};

}  // namespace

int ReadTargetMappingReport(FILE* report, hba_info* port) {
  static_assert(kMappingLabels.Size() <= 32);
  Line line = {};
  int line_number = 0;  // counts up to 5 only: that is all that matters
  SubsystemCollector subsystems(port);
  while (std::fgets(line, sizeof line, report) != nullptr) {
    if (line_number < 5) ++line_number;
    // The head of the report never holds a LUN block: the entry is made at
    // the first line from the fifth on that holds a colon.
    if (line_number >= 5 && port->TargetMapping == nullptr && std::strchr(line, ':') != nullptr) {
      port->TargetMapping = get_new_target_mapping_entry();
      if (port->TargetMapping == nullptr) return NoMemory();
    }
    if (Begins(line, "Target Mapping for")) {
      PrintDebugf(6, "\n\t\t\t%s %s\n", "Target Mapping for", port->PortWWN.c_str());
      continue;
    }
    if (port->TargetMapping == nullptr) continue;
    if (const Label<Mapping>* label = kMappingLabels.Find(line)) {
      if (!subsystems.Label(kMappingLabels.IndexOf(label))) return NoMemory();
      PrintDebugf(6, "\t\t\t%s\n", label->fill(port->TargetMapping, LineValue(line)));
    }
  }
  if (!subsystems.ReportEnded()) return NoMemory();
  return 0;
}
