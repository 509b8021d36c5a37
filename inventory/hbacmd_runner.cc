#include "inventory/hbacmd_runner.h"

#include "driver/base/print_debug.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "driver/base/shell.h"

namespace {

// The redirection target of a port's report: the working path, then
// "<serial>_<function>_<suffix>", each value quoted on its own.
std::string QuotedPortFile(const hba_info* port, const char* suffix) {
  return ShellQuote(pHBAWorkingPath.view()) + "/" + ShellQuote(port->SerialNumber.view()) + "_" +
         ShellQuote(port->PortFunction.view()) + "_" + suffix;
}

// The command's path must fit whole: a cut path would run another program.
int TakeCommandPath(const char* path) {
  if (pHBAFlashCmdPath.assign(path)) return 0;
  pHBAFlashCmdPath = PathText{};
  return RET_SCLI_NOT_INSTALLED;
}

}  // namespace

std::string ListHbasCommand() {
  return ShellQuote(pHBAFlashCmdPath.view()) + " listhbas > " +
         ShellQuote(pHBAWorkingPath.view()) + "/local_hba_list.out \n";
}

std::string PortReportCommand(const PortReport& report, const hba_info* port) {
  return std::string("\n") + report.tabs + ShellQuote(pHBAFlashCmdPath.view()) + " " +
         report.verb + " " + ShellQuote(PortAddress(port)) + " > " +
         QuotedPortFile(port, report.suffix) + "\n";
}

std::string ListHbasFile() { return std::string(pHBAWorkingPath.view()) + "/local_hba_list.out"; }

std::string PortReportName(const hba_info* port, const char* suffix) {
  return std::string(port->SerialNumber.view()) + "_" + std::string(port->PortFunction.view()) +
         "_" + suffix;
}

std::string PortReportFile(const hba_info* port, const char* suffix) {
  return std::string(pHBAWorkingPath.view()) + "/" + PortReportName(port, suffix);
}

int RunHbacmd(const std::string& command) {
  PrintDebugf(6, "%s", command.c_str());
  if (active_option_simulate) return 0;
  return RunShellCommand(command);
}

int LocateHbacmd(const char* first, const char* second) {
  pHBAFlashCmdPath = PathText{};
  const char* reason = "";
  if (PathExists(first, &reason)) {
    if (int result = TakeCommandPath(first)) return result;
  } else {
    if (LevelAbove(2))
      PrintDebugf(1, "Info: Flash command %s is not available: %s\n\n", first, reason);
    if (!PathExists(second, &reason)) {
      if (LevelAbove(0))
        PrintDebugf(1, "Error: Flash command %s is not available: %s\n\n", second, reason);
      return RET_SCLI_NOT_INSTALLED;
    }
    if (int result = TakeCommandPath(second)) return result;
  }
  if (LevelAbove(2)) PrintDebugf(1, "Info: Found flash command: %s\n\n", pHBAFlashCmdPath.c_str());
  return 0;
}
