#include "replay/status_table.h"

#include "driver/base/return_codes.h"

namespace {

constexpr StatusText kStatusTexts[] = {
    {RET_OK, "RET_OK", "passed"},
    {RET_NOT_CTRL_WIDE_IDENTICAL, "RET_NOT_CTRL_WIDE_IDENTICAL",
     "a controller sees storage of more than one vendor"},
    {RET_NOT_CTRL_VENDOR_WIDE_IDENTICAL, "RET_NOT_CTRL_VENDOR_WIDE_IDENTICAL",
     "the checked controllers see different storage vendors"},
    {RET_BAD_CALL, "RET_BAD_CALL", "fcguard refused the command line"},
    {RET_INVALID_CTRL_SUBSYSTEM_COMBINATION, "RET_INVALID_CTRL_SUBSYSTEM_COMBINATION",
     "an attached storage sub-system is not allowed"},
    {RET_FLASH_ERROR, "RET_FLASH_ERROR", "a flash command failed"},
    {RET_NO_FC_HBA_CONDITIONS_ENTRY, "RET_NO_FC_HBA_CONDITIONS_ENTRY",
     "no conditions entry for a controller"},
    {RET_NO_MATCHING_CTRL_FOUND, "RET_NO_MATCHING_CTRL_FOUND", "no installed controller matches"},
    {RET_NO_FC_CTRL_INSTALLED, "RET_NO_FC_CTRL_INSTALLED", "hbacmd reports no adapter port"},
    {RET_FC_HBA_CONDITIONS_MISSING, "RET_FC_HBA_CONDITIONS_MISSING",
     "the conditions file cannot be read"},
    {RET_INFOFILE_MISSING, "RET_INFOFILE_MISSING", "an information file is missing"},
    {RET_FW_NOT_AVAILABLE, "RET_FW_NOT_AVAILABLE", "the firmware directory or an image is missing"},
    {RET_SCLI_NOT_INSTALLED, "RET_SCLI_NOT_INSTALLED", "hbacmd was not found"},
    {RET_KERNEL_MODULE_MISSING, "RET_KERNEL_MODULE_MISSING",
     "a port has no function through which its adapter is flashed"},
    {RET_REPORT_FILE_MISSING, "(none)", "a report file of hbacmd cannot be opened"},
    {RET_MEMALLOC_FAIL, "RET_MEMALLOC_FAIL", "out of memory while reading the conditions file"},
    {RET_FATAL_ERROR, "RET_FATAL_ERROR",
     "the conditions file or a selection holds an invalid value, or listhbas failed"},
};

}  // namespace

const StatusText* FindStatusText(int status) {
  for (const StatusText& entry : kStatusTexts)
    if (entry.value == status) return &entry;
  return nullptr;
}
