// The conditions file in memory: one fc_config_file_entry per data line of
// FC_HBA_Conditions.txt, each with its chain of allowed storage
// sub-systems, all in file order in fc_config_entry_list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "driver/base/fixed_text.h"

// One allowed storage sub-system (a triple of cells from column 14 on).
struct fc_periphery_info {
  FixedText<10> SubsystemVendor;  // compared for equality with VendorID
  FixedText<20> SubsystemGroup;   // model group: comma-separated prefixes
  FixedText<6> SubsystemExtra;    // stored and echoed only
  fc_periphery_info* NextPeriphery;
};

// One controller type: one data line of the conditions file.  Declared
// order differs from the column order (column 13 sits after column 9).
struct fc_config_file_entry {
  FixedText<20> CtrlVendor;          // column 1
  FixedText<20> CtrlModel;           // column 2
  FixedText<6> PciVendorIdText;      // column 3
  FixedText<6> PciDeviceIdText;      // column 4
  FixedText<6> PciSubVendorIdText;   // column 5
  FixedText<6> PciSubDeviceIdText;   // column 6
  int32_t PciVendorId;
  int32_t PciDeviceId;
  int32_t PciSubVendorId;
  int32_t PciSubDeviceId;
  FixedText<20> FirmwareDir;         // column 7
  FixedText<20> InfoText8;           // column 8
  FixedText<20> InfoText9;           // column 9
  FixedText<20> InfoText13;          // column 13
  FixedText<80> FirmwareFile;        // column 10
  FixedText<80> BiosFile;            // column 11
  FixedText<80> InfoText12;          // column 12
  fc_periphery_info* Periphery;      // columns 14 onward
};

// Null-terminated, in file order; null until the first entry exists.
extern fc_config_file_entry** fc_config_entry_list;

// A new zero-filled entry, already appended to fc_config_entry_list; null
// when the entry or the grown list cannot be allocated.
fc_config_file_entry* get_new_config_file_entry();

// A new zero-filled sub-system record, or null.
fc_periphery_info* get_new_periphery_info_entry();

// The trace of an entry found for a port: its line in the file (from 1),
// its ids and its controller.
void PrintMatchingEntry(std::size_t line, const fc_config_file_entry* entry);

// Reads the conditions file into fc_config_entry_list.  0, 15 (cannot be
// opened) or 54 (out of memory); ends the process with 55 on a cell it
// refuses.
int Read_FC_Config_File(const char* path);

// The same in two steps, so that the caller can test the opened file
// before it is read: Open_FC_Config_File gives a descriptor, or -1;
// Read_FC_Config_Descriptor reads it (15 for -1) and closes it.
int Open_FC_Config_File(const char* path);
int Read_FC_Config_Descriptor(int fd, const char* path);

// The same from a file already open, which the caller closes; `path` only
// names it in messages.
int Read_FC_Config_Stream(FILE* file, const char* path);

// Frees every entry and empties the list (tests and fuzzing only; the
// program keeps the list until it ends).
void FreeConfigEntryList();
