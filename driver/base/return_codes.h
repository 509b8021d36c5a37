// The program's vocabulary of results.  Every exit status is one of these.
#pragma once

#include <cstddef>

constexpr int RET_OK = 0;
constexpr int RET_NOT_CTRL_WIDE_IDENTICAL = 1;
constexpr int RET_NOT_CTRL_VENDOR_WIDE_IDENTICAL = 2;
constexpr int RET_BAD_CALL = 3;
constexpr int RET_INVALID_CTRL_SUBSYSTEM_COMBINATION = 4;
constexpr int RET_FLASH_ERROR = 10;
constexpr int RET_NO_FC_HBA_CONDITIONS_ENTRY = 11;
constexpr int RET_NO_MATCHING_CTRL_FOUND = 12;
constexpr int RET_NO_FC_CTRL_INSTALLED = 13;
constexpr int RET_FC_HBA_CONDITIONS_MISSING = 15;
constexpr int RET_INFOFILE_MISSING = 16;
constexpr int RET_FW_NOT_AVAILABLE = 20;
constexpr int RET_SCLI_NOT_INSTALLED = 21;
constexpr int RET_KERNEL_MODULE_MISSING = 22;
constexpr int RET_MEMALLOC_FAIL = 54;
constexpr int RET_FATAL_ERROR = 55;

// Not in the table: the number parser's range error, and a report file of
// the inventory collection that cannot be opened.
constexpr int RET_NUMBER_OUT_OF_RANGE = 1;
constexpr int RET_REPORT_FILE_MISSING = 51;

// One exit status with its name and what it means to the caller.  The rows
// are the statuses the program can end with, in value order: those of the
// return-code listing and 51, whose name is "(none)" (the listing does not
// hold it).  Status 1 from the number parser shares its row with
// RET_NOT_CTRL_WIDE_IDENTICAL.  Scripts read the same rows from the
// generated return-codes.json.
struct return_code_row {
  int Value;
  const char* Name;     // never null
  const char* Meaning;  // never null; one line, in the documentation's words
};

extern const return_code_row kReturnCodeTable[];
extern const std::size_t kReturnCodeCount;

// The row of a status, or null when the program never ends with it.
const return_code_row* FindReturnCode(int value);
