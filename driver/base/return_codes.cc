#include "driver/base/return_codes.h"

// The meanings are those of the exit-status table of the README and the
// manual page; return-codes.json and the README table are made from them.
const return_code_row kReturnCodeTable[] = {
    {RET_OK, "RET_OK",
     "every check passed, or the flash succeeded; also help, version, return-code list; "
     "with `--dov-mode` also 12 and 13"},
    {RET_NOT_CTRL_WIDE_IDENTICAL, "RET_NOT_CTRL_WIDE_IDENTICAL",
     "`--ctrl-wide-identical`: a controller sees storage of more than one vendor "
     "(also: a number on the command line too large to read)"},
    {RET_NOT_CTRL_VENDOR_WIDE_IDENTICAL, "RET_NOT_CTRL_VENDOR_WIDE_IDENTICAL",
     "`--ctrl-vendor-wide-identical`: the checked controllers see different storage vendors"},
    {RET_BAD_CALL, "RET_BAD_CALL", "the command line was refused"},
    {RET_INVALID_CTRL_SUBSYSTEM_COMBINATION, "RET_INVALID_CTRL_SUBSYSTEM_COMBINATION",
     "an attached storage sub-system is not allowed for its controller (reported in every mode)"},
    {RET_FLASH_ERROR, "RET_FLASH_ERROR",
     "a flash command failed, or a flash partner has no permanent MAC; later adapters were not "
     "touched"},
    {RET_NO_FC_HBA_CONDITIONS_ENTRY, "RET_NO_FC_HBA_CONDITIONS_ENTRY",
     "listed by `--show-return-codes`, never produced"},
    {RET_NO_MATCHING_CTRL_FOUND, "RET_NO_MATCHING_CTRL_FOUND",
     "no installed controller matches the selection"},
    {RET_NO_FC_CTRL_INSTALLED, "RET_NO_FC_CTRL_INSTALLED",
     "`hbacmd` reports no adapter port at all"},
    {RET_FC_HBA_CONDITIONS_MISSING, "RET_FC_HBA_CONDITIONS_MISSING",
     "the conditions file cannot be read"},
    {RET_INFOFILE_MISSING, "RET_INFOFILE_MISSING",
     "listed by `--show-return-codes`, never produced"},
    {RET_FW_NOT_AVAILABLE, "RET_FW_NOT_AVAILABLE",
     "the firmware directory or an image is missing, or others can write to the image "
     "directory"},
    {RET_SCLI_NOT_INSTALLED, "RET_SCLI_NOT_INSTALLED", "`hbacmd` was not found"},
    {RET_KERNEL_MODULE_MISSING, "RET_KERNEL_MODULE_MISSING",
     "a port has no function through which its adapter can be flashed"},
    {RET_REPORT_FILE_MISSING, "(none)",
     "a report file of `hbacmd` cannot be opened, or the `hbaattributes` or `targetmapping` "
     "command that writes it did not complete"},
    {RET_MEMALLOC_FAIL, "RET_MEMALLOC_FAIL", "out of memory while reading the conditions file"},
    {RET_FATAL_ERROR, "RET_FATAL_ERROR",
     "the conditions file or a selection holds an invalid value, others can change the "
     "conditions file or its directory, or `hbacmd listhbas` failed"},
};

const std::size_t kReturnCodeCount = sizeof kReturnCodeTable / sizeof kReturnCodeTable[0];

const return_code_row* FindReturnCode(int value) {
  for (std::size_t i = 0; i < kReturnCodeCount; ++i)
    if (kReturnCodeTable[i].Value == value) return &kReturnCodeTable[i];
  return nullptr;
}
