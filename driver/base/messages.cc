#include "driver/base/messages.h"

#include "driver/base/print_debug.h"

namespace {

// The four parts of the version, from the project version of the build.
constexpr int kVersionMajor = FCGUARD_VERSION_MAJOR;
constexpr int kVersionMinor = FCGUARD_VERSION_MINOR;
constexpr int kVersionRevision = FCGUARD_VERSION_PATCH;
constexpr int kVersionBuild = FCGUARD_VERSION_TWEAK;

}  // namespace

// The texts are defined constexpr so that every format below is checked
// against its arguments.
extern constexpr char ToolInfoMessagePRELIMINARY[] =
    "\nPRELIMINARY %s version %d.%d.%d.%d\n";

extern constexpr char versionMessagePRELIMINARY[] = "%d.%d.%d.%d\n";

extern constexpr char helpMessage_1[] =
    "\n"
    "USAGE:\t %s [ options ]\n\n"
    "Options\n\n"
    "--ctrl-wide-identical  | --ctrl-vendor-wide-identical | --check-for-valid-subsystem\n\n"
    "-v (1 ... 6 ) | -d (1 ... 6 )\n\n"
    "-? | --help (-h)| --show-return-codes (-sr) | --version.\n\n\n\n"
    "-pci-id \"vendor-id:device-id[:subvendor-id:subdevice-id],[vendor-id:device-id[:...]]\"\n"
    " <hex-value:hex-value[:hex-value[:hex-value]], ...>; (ex. \"19A2:0710,19A2:0714\").\n\n"
    "--ctrl-wide-identical\n"
    "   check, whether per controller only identical storage-sub-systems are attached.\n"
    "   (ex. only KVL Orvantis_SX1 systems are attached?).\n"
    "--ctrl-vendor-wide-identical\n"
    "   check, whether all members of a controller-family are attached to identical\n"
    "   storage-sub-systems (ex. all Emulex controller are attached to DGC Orvantis_CX1 systems?).\n"
    "--check-for-valid-subsystem\n"
    "   check, whether valid subsystems are attached.\n"
    "   default (only if option --flash is not set).\n\n"
    "--dov-mode\n"
    "   program exits with return-code 0 (OK) instead of return-code 13\n"
    "   (No FC-controller installed).\n\n"
    "--silent\n"
    "   no output-data will be logged or printed (especially in combination with option -v or -d).\n\n"
    "--conpath <path>\n"
    "   path of directory in which FC_HBA_Conditions.txt is diposited.\n\n"
    "--flash\t\t\tflash controller.\n\n"
    "--show-return-codes\tshow return-code list.\n\n"
    "--version\t\tshow version of this program.\n\n"
    "--help\t\t\tshow help message.\n\n"
    "-?\tshow help message.\n\n"
    "-v (1,...,6)\tverbose-level (min, 1 to max, 6).\n\n"
    "-d (1,...,6)\tdebug-level (min, 1 to max, 6; output can be found in Servie_DLL.log).\n\n";

extern constexpr char helpMessage_2[] =
    "Examples:\n\n"
    "1) %s -v 1 -pci-id \"19A2:0700,19A2:0710:1E5D:11C1\" -check-for-valid-subsystem\n\n"
    "At least a pair of vendor-id and device-id must be given.\n"
    "Also a pair of subvendor-id and subdevice-id can be added.\n"
    "Each group of PCI-IDs represents a distinct PCI controller.\n"
    "Different PIC-ID groups must be comma separated.\n\n"
    "Checks, whether valid and supported storage-sub-systems are attached.\n\n\n";

extern constexpr char helpMessage_3[] =
    "2) %s -v 6 -pci-id \"19A2:0714\"  -ctrl-vendor-wide-identical\n\n"
    "Checks, whether all Emulex FCoE controller are attached to valid, supported and\n"
    "identical storage-sub-systems.\n\n\n";

extern constexpr char returnMessage[] =
    "\n"
    "   Valid return codes\n\n"
    "   RET_OK                                   0\n"
    "   RET_NOT_CTRL_WIDE_IDENTICAL              1\n"
    "   RET_NOT_CTRL_VENDOR_WIDE_IDENTICAL       2\n"
    "   RET_BAD_CALL                             3\n"
    "   RET_INVALID_CTRL_SUBSYSTEM_COMBINATION   4\n"
    "   RET_FLASH_ERROR                         10\n"
    "   RET_NO_FC_HBA_CONDITIONS_ENTRY          11\n"
    "   RET_NO_MATCHING_CTRL_FOUND              12\n"
    "   RET_NO_FC_CTRL_INSTALLED                13\n"
    "   RET_FC_HBA_CONDITIONS_MISSING           15\n"
    "   RET_INFOFILE_MISSING                    16\n"
    "   RET_FW_NOT_AVAILABLE                    20\n"
    "   RET_SCLI_NOT_INSTALLED                  21\n"
    "   RET_KERNEL_MODULE_MISSING               22\n"
    "   RET_MEMALLOC_FAIL                       54\n"
    "   RET_FATAL_ERROR                         55\n\n";

void PrintToolInfo(const char* program_name) {
  PrintDebugf(1, ToolInfoMessagePRELIMINARY, program_name, kVersionMajor,
              kVersionMinor, kVersionRevision, kVersionBuild);
}

void PrintHelp(const char* program_name) {
  PrintToolInfo(program_name);
  PrintDebugf(1, helpMessage_1, program_name);
  PrintDebugf(1, helpMessage_2, program_name);
  PrintDebugf(1, helpMessage_3, program_name);
}

void PrintVersion() {
  PrintDebugf(1, versionMessagePRELIMINARY, kVersionMajor, kVersionMinor,
              kVersionRevision, kVersionBuild);
}

void PrintReturnCodes() {
  PrintDebugf(1, "\nList of possible return codes\n%s", returnMessage);
}
