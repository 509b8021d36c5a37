// Reads FC_HBA_Conditions.txt, the bar-separated table of controller types,
// their allowed storage sub-systems and their firmware images, into
// fc_config_entry_list.
#include "conditions/config_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "driver/base/print_debug.h"
#include "driver/base/process_exit.h"
#include "driver/base/record_memory.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "driver/base/text.h"

fc_config_file_entry** fc_config_entry_list = nullptr;

namespace {

// Entries in the list, and the slots allocated for it.  The list grows
// geometrically inside but always ends with a null slot after the last
// entry.
size_t config_entry_cnt = 0;
size_t config_entry_slots = 0;

// One read returns at most 1023 characters: a longer physical line is
// taken as several lines.
constexpr int kReadSize = 1024;

// The first column of the sub-system triples.
constexpr int kFirstTripleColumn = 14;

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The refusals of a cell are written straight to the standard error
// stream, but only in a run that shows messages at all.
bool ShowRefusal() { return PrintDebugOnScreen == 1 && LevelAbove(0); }

// Comment lines ('#' anywhere), ruler lines of a drawn table and lines of
// bars only (no cell at all) yield no entry.
bool SkipLine(const char* line) {
  if (strchr(line, '#') != nullptr) return true;
  if (strstr(line, "--+--") != nullptr) return true;
  return line[strspn(line, "|")] == '\0';
}

// Cuts the next cell off the line and returns it, or null when the line
// has no more.  A run of bars is one separator, bars at the start make no
// cell, and the line feed belongs to the last cell.
char* NextCell(char** cursor) {
  char* cell = *cursor;
  while (*cell == '|') ++cell;
  if (*cell == '\0') return nullptr;
  char* end = strchrnul(cell, '|');
  if (*end == '|') *end++ = '\0';
  *cursor = end;
  return cell;
}

// A cell longer than its field is refused, not cut: a cut model group could
// admit products that nobody allowed.
template <std::size_t N>
void StoreCell(FixedText<N>& field, const char* value, int line_number,
               int column) {
  if (field.assign(value)) return;
  if (ShowRefusal())
    PrintStderrf("\nError line %d: column %d is longer than %d characters: %s\n",
                 line_number, column, static_cast<int>(FixedText<N>::kCapacity), value);
  EndProcess(RET_FATAL_ERROR);
}

// Columns 3 to 6, the PCI ids: the text as written, its value in
// hexadecimal, and the id's name in the refusal.
struct IdColumn {
  FixedText<6> fc_config_file_entry::*text;
  int32_t fc_config_file_entry::*id;
  const char* name;
};

constexpr int kFirstIdColumn = 3;
constexpr IdColumn kIdColumns[] = {
    {&fc_config_file_entry::PciVendorIdText, &fc_config_file_entry::PciVendorId, "Vendor-Id"},
    {&fc_config_file_entry::PciDeviceIdText, &fc_config_file_entry::PciDeviceId, "Device-Id"},
    {&fc_config_file_entry::PciSubVendorIdText, &fc_config_file_entry::PciSubVendorId,
     "Sub-Vendor-Id"},
    {&fc_config_file_entry::PciSubDeviceIdText, &fc_config_file_entry::PciSubDeviceId,
     "Sub-System-Id"},
};

void StoreId(fc_config_file_entry* entry, const char* value, int line_number, int column) {
  const IdColumn& id_column = kIdColumns[column - kFirstIdColumn];
  FixedText<6>& text = entry->*id_column.text;
  StoreCell(text, value, line_number, column);
  entry->*id_column.id = string2int(text.data(), 16);
  if (entry->*id_column.id >= 0) return;
  if (ShowRefusal())
    PrintStderrf("\nError line %d: %s %s is not a valid hex value!\n", line_number,
                 id_column.name, text.c_str());
  EndProcess(RET_FATAL_ERROR);
}

// Stores one cleaned cell of columns 1 to 13.
void StoreColumn(fc_config_file_entry* entry, const char* value,
                 int line_number, int column) {
  switch (column) {
    case 1: StoreCell(entry->CtrlVendor, value, line_number, column); break;
    case 2: StoreCell(entry->CtrlModel, value, line_number, column); break;
    case 3:
    case 4:
    case 5:
    case 6:
      StoreId(entry, value, line_number, column);
      break;
    case 7: StoreCell(entry->FirmwareDir, value, line_number, column); break;
    case 8: StoreCell(entry->InfoText8, value, line_number, column); break;
    case 9: StoreCell(entry->InfoText9, value, line_number, column); break;
    case 10: StoreCell(entry->FirmwareFile, value, line_number, column); break;
    case 11: StoreCell(entry->BiosFile, value, line_number, column); break;
    case 12: StoreCell(entry->InfoText12, value, line_number, column); break;
    case 13: StoreCell(entry->InfoText13, value, line_number, column); break;
  }
}

// Stores one cleaned cell of a sub-system triple (column 14 on).
// `position` is the cell's place in its triple, 0 to 2.  Returns false
// when a new triple cannot be allocated.
bool StoreTripleCell(fc_config_file_entry* entry, fc_periphery_info** last,
                     int position, const char* value, int line_number,
                     int column) {
  if (position == 0) {
    fc_periphery_info* triple = get_new_periphery_info_entry();
    if (triple == nullptr) return false;
    if (*last == nullptr)
      entry->Periphery = triple;
    else
      (*last)->NextPeriphery = triple;
    *last = triple;
    StoreCell(triple->SubsystemVendor, value, line_number, column);
  } else if (position == 1) {
    StoreCell((*last)->SubsystemGroup, value, line_number, column);
  } else {
    StoreCell((*last)->SubsystemExtra, value, line_number, column);
  }
  return true;
}

// The echo of one stored cell: at level 5 the file is drawn back as a
// table, one row per entry.
void EchoCell(int column, const char* value) {
  if (column < kFirstTripleColumn) {
    int width = column == 1 ? 18 : column == 2 ? 16 : column <= 6 ? 6 : 12;
    PrintDebugf(5, " %*s |", width, value);
  } else if (int position = (column - kFirstTripleColumn) % 3; position < 2) {
    PrintDebugf(5, " %*s |", position == 0 ? 12 : 18, value);
  } else {
    PrintDebugf(5, " %12s", value);
  }
}

}  // namespace

fc_config_file_entry* get_new_config_file_entry() {
  return NewRecordInList(&fc_config_entry_list, &config_entry_cnt, &config_entry_slots);
}

fc_periphery_info* get_new_periphery_info_entry() {
  return NewRecord<fc_periphery_info>();
}

void PrintMatchingEntry(std::size_t line, const fc_config_file_entry* entry) {
  PrintDebugf(2, "\t%s:\n", "FC_HBA_Conditions.txt");
  PrintDebugf(2, "\tFound a matching controller-device in line %zu:\n", line);
  PrintDebugf(2, "\t\tvendor-id: %s, device-id: %s\n", entry->PciVendorIdText.c_str(),
              entry->PciDeviceIdText.c_str());
  PrintDebugf(2, "\t\tsubvendor-id: %s, subdevice-id: %s\n", entry->PciSubVendorIdText.c_str(),
              entry->PciSubDeviceIdText.c_str());
  PrintDebugf(2, "\t\tCorrespondig data: vendor: %s; model: %s\n\n", entry->CtrlVendor.c_str(),
              entry->CtrlModel.c_str());
}

int Open_FC_Config_File(const char* path) { return open(path, O_RDONLY | O_CLOEXEC); }

int Read_FC_Config_File(const char* path) {
  return Read_FC_Config_Descriptor(Open_FC_Config_File(path), path);
}

int Read_FC_Config_Descriptor(int fd, const char* path) {
  File file(fd >= 0 ? fdopen(fd, "r") : nullptr);
  if (file == nullptr) {
    if (fd >= 0) close(fd);
    PrintDebugf(1, "Error: Could not open file %s\n", path);
    return RET_FC_HBA_CONDITIONS_MISSING;
  }
  // Large reads: a conditions file of thousands of lines then costs a few
  // system calls instead of one per 4 KiB.
  static char buffer[64 * 1024];
  setvbuf(file.get(), buffer, _IOFBF, sizeof buffer);
  return Read_FC_Config_Stream(file.get(), path);
}

int Read_FC_Config_Stream(FILE* file, const char* path) {
  // The echo of a file of thousands of lines would cost a call for every
  // cell even where it is not shown: whether it is drawn is decided once.
  const bool echo = PrintDebugShows(5);
  char line[kReadSize];
  int line_number = 0;
  while (fgets(line, sizeof line, file) != nullptr) {
    if (line_number < INT_MAX) ++line_number;
    if (SkipLine(line)) continue;

    fc_config_file_entry* entry = get_new_config_file_entry();
    if (entry == nullptr || fc_config_entry_list == nullptr) {
      PrintDebugf(1, "Could not allocate memory for new fc_config_file entry.\n");
      return RET_MEMALLOC_FAIL;
    }

    int column = 0;
    fc_periphery_info* last_triple = nullptr;
    char* cursor = line;
    for (char* cell = NextCell(&cursor); cell != nullptr; cell = NextCell(&cursor)) {
      const char* value = cleanString(cell);
      ++column;
      if (column < kFirstTripleColumn) {
        StoreColumn(entry, value, line_number, column);
      } else if (int position = (column - kFirstTripleColumn) % 3;
                 !StoreTripleCell(entry, &last_triple, position, value, line_number, column)) {
        PrintDebugf(1, "Could not allocate memory for new fc_periphery_info.\n");
        return RET_MEMALLOC_FAIL;
      }
      if (echo) EchoCell(column, value);
    }
    if (echo) PrintDebugf(5, "\n");
  }
  // A read that fails (a directory, an I/O error) must not pass for the
  // end of a shorter file.
  if (ferror(file)) {
    PrintDebugf(1, "Error: Could not open file %s\n", path);
    return RET_FC_HBA_CONDITIONS_MISSING;
  }
  return RET_OK;
}

void FreeConfigEntryList() {
  for (size_t i = 0; i < config_entry_cnt; ++i) {
    fc_periphery_info* triple = fc_config_entry_list[i]->Periphery;
    while (triple != nullptr) {
      fc_periphery_info* next = triple->NextPeriphery;
      ReleaseRecord(triple);
      triple = next;
    }
    ReleaseRecord(fc_config_entry_list[i]);
  }
  free(fc_config_entry_list);
  fc_config_entry_list = nullptr;
  config_entry_cnt = 0;
  config_entry_slots = 0;
}
