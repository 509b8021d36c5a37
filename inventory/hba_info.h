// The inventory: one hba_info per port or PCI function that
// "hbacmd listhbas" reports, with its hbaattributes and targetmapping
// reports hung off it, all in the global list p_hba_info_list.
#pragma once

#include <cstdint>

#include "driver/base/fixed_text.h"

// The "hbacmd hbaattributes" report of one port.
struct hba_attributes_entry {
  FixedText<64> HostName;
  FixedText<64> Manufacturer;
  FixedText<24> SerialNumber;
  FixedText<64> Model;
  FixedText<256> ModelDesc;
  FixedText<24> NodeWWN;
  FixedText<256> NodeSymname;
  FixedText<16> HWVersion;
  FixedText<16> FWVersion;
  FixedText<5> VendorSpecID;
  FixedText<4> NumberOfPorts;
  FixedText<32> DriverName;
  FixedText<5> DeviceID;
  FixedText<64> HBAType;
  FixedText<16> OperationalFW;
  FixedText<18> IEEEAddress;
  FixedText<10> PXEBoot;
  FixedText<16> DriverVersion;
  FixedText<16> BoardTemperature;
  FixedText<16> FunctionType;
  FixedText<5> SubDeviceID;
  FixedText<16> PortNumber;
  FixedText<5> PCIBusNumber;
  FixedText<5> PCIFuncNumber;
  FixedText<5> SubVendorID;
  FixedText<16> FirmwareStatus;
  FixedText<16> ServiceProcessorFWName;
  FixedText<16> ULPFWName;
  FixedText<16> IPLFilename;
  FixedText<16> NCSIVersion;
  FixedText<16> StartUpBootCodeVersion;
  FixedText<16> FCoEUniversalVersion;
  FixedText<16> FCoEx86BIOSVersion;
  FixedText<16> FCoEEFIVersion;
  FixedText<16> FCoEFCODEVersion;
  FixedText<16> UEFIBIOSVersion;
  FixedText<16> UEFINICVersion;
  FixedText<16> UEFIFCODEVersion;
  FixedText<16> UEFIiSCSIVersion;
  FixedText<16> PCIExpressLinkSpeed;
  FixedText<10> PCIExpressBusWidth;
  // The PCI identity, read as hexadecimal from the four id texts; 0 while
  // the line was not read, -1 when its value is not a number.
  int32_t PciVendorId;
  int32_t PciDeviceId;
  int32_t PciSubVendorId;
  int32_t PciSubDeviceId;
};

// What the "hbacmd targetmapping" report says about the attached storage;
// each field holds the last value the report gave for its label.
struct target_mapping_entry {
  FixedText<24> FCPLun;
  FixedText<5> SCSIOSLun;
  FixedText<128> LunDeviceName;
  FixedText<64> VendorID;
  FixedText<64> ProductID;
  FixedText<16> ProductVersion;
  FixedText<5> Type;
  FixedText<12> SCSICapacity;
  FixedText<12> BlockSize;
};

// One storage sub-system that a port's targetmapping report names: the
// vendor and product of its LUNs, with the version of its first LUN.
struct storage_subsystem {
  FixedText<64> VendorID;
  FixedText<64> ProductID;
  FixedText<16> ProductVersion;
};

struct hba_info {
  FixedText<24> PortWWN;
  FixedText<24> NodeWWN;
  FixedText<24> Fabric_Name;
  FixedText<18> PermanentMAC;
  FixedText<18> CurrentMAC;
  FixedText<10> Flags;
  FixedText<64> HostName;
  FixedText<64> Vendor;            // "Mfg"
  FixedText<24> SerialNumber;      // "Serial No"; "n/a..." means none
  FixedText<6> PortNumber;
  int32_t PortIndex;               // never assigned: always 0
  FixedText<16> Mode;
  FixedText<4> PCIBusNumber;
  FixedText<4> PortFunction;       // "PCI Function"
  FixedText<16> PortType;          // "FC", "FCoE", "iSCSI", NIC ...
  FixedText<64> Model;
  hba_attributes_entry* Attributes;
  target_mapping_entry* TargetMapping;
  hba_info* FlashPartner;          // not owned
  hba_info* NextFCoEPort;          // not owned; the chain may loop
  bool FirmwareFlashed;
  bool SubsystemCheckDone;
  // The distinct sub-systems (VendorID, ProductID) of the targetmapping
  // report, in order of first appearance (heap memory, given back with
  // the record); null and 0 while the report named none.
  storage_subsystem* Subsystems;
  int32_t SubsystemCount;
};

// Null-terminated; null until the first record exists.  Classification
// frees the pure FC ports and writes nulls into their slots.
extern hba_info** p_hba_info_list;
// Number of records ever appended; never lowered.
extern int hbainfo_entry_cnt;

// A new zero-filled record appended to p_hba_info_list, or null.
hba_info* get_new_hba_info_entry();
// New zero-filled reports, or null; the caller hangs them on a port.
hba_attributes_entry* get_new_hba_attributes_entry();
target_mapping_entry* get_new_target_mapping_entry();

// Adds a sub-system to the port's list, whose slots double as it grows.
// False, with the list unchanged, when memory is exhausted.  The caller
// keeps the pairs distinct.
bool AppendSubsystem(hba_info* port, const storage_subsystem& subsystem);

// The storage sub-systems attached to a port, in order: its distinct list,
// or, for a port with a target mapping but no list (a record put together
// by hand), the target mapping copied into *single.  Empty when nothing is
// attached.
struct subsystem_span {
  const storage_subsystem* first;
  int32_t count;
  const storage_subsystem* begin() const { return first; }
  const storage_subsystem* end() const { return first + count; }
};
subsystem_span AttachedSubsystems(const hba_info* port, storage_subsystem* single);

// The vendor of the first sub-system attached to a port ("" for none): the
// vendor that stands for the port when it is a reference of the check.
const char* ReferenceVendor(const hba_info* port);

// The kind of a port by its "Port Type".  Some tests want the exact word,
// others only its beginning ("FCoE" also begins with "FC"); the names say
// which.
inline bool IsFcPort(const hba_info* port) { return port->PortType == "FC"; }
inline bool IsFcoePort(const hba_info* port) { return port->PortType == "FCoE"; }
inline bool IsIscsiPort(const hba_info* port) { return port->PortType == "iSCSI"; }
inline bool BeginsWithFc(const hba_info* port) { return port->PortType.starts_with("FC"); }
inline bool BeginsWithFcoe(const hba_info* port) { return port->PortType.starts_with("FCoE"); }

// A serial number beginning with "n/a" means the adapter reports none.
bool HasNoSerialNumber(const hba_info* port);
// FC and FCoE ports are addressed by PortWWN, all others by PermanentMAC.
bool IsAddressedByWWN(const hba_info* port);
const char* PortAddress(const hba_info* port);

// Frees one port record with the reports hung off it.  The caller takes it
// out of p_hba_info_list.
void FreeHbaInfo(hba_info* port);

// Frees every record and empties the list (tests and fuzzing only).
void FreeHbaInfoList();
