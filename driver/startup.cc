#include "driver/startup.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "conditions/config_file.h"
#include "driver/base/print_debug.h"
#include "driver/base/process_exit.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "driver/base/shell.h"
#include "driver/options.h"

namespace {

// The refusal of a start directory that leaves no room for "/" and the
// conditions file's name; `which` names the directory.
[[noreturn]] void RefuseLongDirectory(const char* which) {
  PrintDebugf(1, "Error: The %s is too long for file %s (max %zu characters)!\n", which,
              kConditionsFileName, kMaxConditionsDirLength);
  EndProcess(RET_BAD_CALL);
}

// The directory in which the program was started: the start word up to its
// last "/", or the current directory.  The result must fit the path
// buffers together with "/" and the conditions file's name.
void StartDirectory(const char* start_word, PathText* directory) {
  std::string_view word(start_word);
  std::size_t slash = word.rfind('/');
  if (slash != std::string_view::npos) {
    if (slash > kMaxConditionsDirLength || !directory->assign(word.substr(0, slash)))
      RefuseLongDirectory("program's directory");
    return;
  }
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) {
    if (errno == ERANGE) RefuseLongDirectory("current directory");
    PrintDebugf(1, "Error: The current directory cannot be determined: %s\n",
                std::strerror(errno));
    EndProcess(RET_BAD_CALL);
  }
  if (std::strlen(cwd) > kMaxConditionsDirLength || !directory->assign(cwd))
    RefuseLongDirectory("current directory");
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

void SettleTempDir() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir == nullptr) {
    PrintDebugf(3, "env: Environment variable %s is not set.\n", "TMPDIR");
    TEMPDIR_BUFFER.assign_cut("/tmp");
  } else if (tmpdir[0] == '\0') {
    PrintDebugf(3, "env: Environment variable %s is empty.\n", "TMPDIR");
    TEMPDIR_BUFFER.assign_cut("/tmp");
  } else {
    TEMPDIR_BUFFER.assign_cut(tmpdir);
    PrintDebugf(3, "env: Temporary directory is: %s.\n", TEMPDIR_BUFFER.c_str());
  }
}

void SettleDirectories(const char* start_word) {
  // --conpath has already put its value (checked to fit) into all three.
  if (pHBAConditionsPath.empty()) {
    PathText directory;
    StartDirectory(start_word, &directory);
    pHBAConditionsPath = directory;
    pHBAFirmwarePath = directory;
    pHBAWorkingPath = directory;
  }
  // Each directory was checked to leave room for "/" and the file name.
  if (!pHBAWorkingPath.append("/") || !pHBAFirmwarePath.append("/") ||
      !pHBAConditionsPath.append("/") || !pHBAConditionsPath.append(kConditionsFileName))
    EndProcess(RET_FATAL_ERROR);
}

// The conditions file is opened first and the opened file is tested, then
// read through the same descriptor: nothing can take its place between the
// test and the read.  Its directory is tested after it, by its path.
void LoadConditions(const run_state& state) {
  int fd = Open_FC_Config_File(pHBAConditionsPath.c_str());
  if ((fd >= 0 && RefuseForeignFile(fd, pHBAConditionsPath.c_str())) ||
      RefuseForeignPath(pHBAWorkingPath.c_str()))
    EndProcess(RET_FATAL_ERROR);
  int result = Read_FC_Config_Descriptor(fd, pHBAConditionsPath.c_str());
  if (result == RET_OK) return;
  if (result == RET_FC_HBA_CONDITIONS_MISSING) {
    PrintDebugf(1, "\nCann't access file %s.\n\n", pHBAConditionsPath.c_str());
    EndProcess(RET_FC_HBA_CONDITIONS_MISSING);
  }
  if (result == RET_MEMALLOC_FAIL) {
    PrintDebugf(1, "Error: %s, Memory allocation failed!\n",
                state.program_name.c_str());
    EndProcess(RET_MEMALLOC_FAIL);
  }
  PrintDebugf(1, "Error: Fatal error!\n");
  EndProcess(RET_FATAL_ERROR);
}

void PrintConditionsListing() {
  PrintDebugf(4, "\n%s\n", kStarRuler);
  PrintDebugf(4, "\nList of allowed Fibre-Channel-Controller and "
                 "Online-Storage-System combinations:\n\n");
  for (fc_config_file_entry** entry = fc_config_entry_list;
       entry != nullptr && *entry != nullptr; ++entry) {
    const fc_config_file_entry& e = **entry;
    PrintDebugf(4, "%-10s %-16s\n", e.CtrlVendor.c_str(), e.CtrlModel.c_str());
    int counter = 1;
    for (const fc_periphery_info* p = e.Periphery; p != nullptr;
         p = p->NextPeriphery) {
      if (IsBlank(p->SubsystemVendor.view())) continue;
      PrintDebugf(4, "\t\t%d) %-10s %-16s\n", counter++,
                  p->SubsystemVendor.c_str(), p->SubsystemGroup.c_str());
    }
    PrintDebugf(4, "\n");
  }
  PrintDebugf(4, "\n%s\n", kStarRuler);
}

void StartUp(int argc, char** argv, run_state* state) {
  // Output levels 0, 1 and screen on; the directories empty.
  ResetSettings();

  // The program name, the three passes, the combination rules and the
  // published mode.
  ParseCommandLine(argc, argv, state);

  SettleTempDir();
  SettleDirectories(state->start_word);
  PrintDebugf(3, "HBA conditions file: %s\n", pHBAConditionsPath.c_str());
  LoadConditions(*state);
  // Shown by the verbose level only, never by a debug level.
  if (VerboseLevel > 3) PrintConditionsListing();
}
