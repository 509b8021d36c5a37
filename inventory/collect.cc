#include "inventory/collect.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "driver/base/print_debug.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "driver/base/shell.h"
#include "inventory/hba_info.h"
#include "inventory/hbacmd_runner.h"
#include "inventory/reports.h"

namespace {

using ReportReader = int (*)(FILE*, hba_info*);

// Opens a report file and hands it to the reader.  0, the reader's
// failure, or RET_REPORT_FILE_MISSING.
int ReadReportFile(const std::string& path, ReportReader reader, hba_info* port) {
  FILE* report = std::fopen(path.c_str(), "r");
  if (report == nullptr) {
    PrintDebugf(1, "Error: Could not open file %s\n", path.c_str());
    return RET_REPORT_FILE_MISSING;
  }
  int result = reader(report, port);
  std::fclose(report);
  return result;
}

int ReadListHbas(FILE* report, hba_info*) { return ReadListHbasReport(report); }

// A port's report file is named by its serial number and PCI function, as
// the listhbas report gives them.  A ".." path component among them would
// have the shell write the file, and the parser read it, outside the
// working directory.
bool ReportFileLeavesWorkingDirectory(const hba_info* port, const char* suffix) {
  return HasParentComponent(PortReportName(port, suffix));
}

// No command runs for such a port, and its report counts as missing, as
// when the shell cannot create it.
int RefuseReportFile(hba_info* port, const char* suffix, const char* skip) {
  if (HasNoSerialNumber(port)) {
    PrintDebugf(1, "%s", skip);
    return 0;
  }
  PrintDebugf(1, "Error: Could not open file %s\n", PortReportFile(port, suffix).c_str());
  return RET_REPORT_FILE_MISSING;
}

// A command that was killed or could not be run leaves an empty or partial
// report, which would read as a port without storage: it counts as
// missing.  Any other status is hbacmd's answer (it ends non-zero for a
// port without targets, for instance) and the report is read.
int RefuseIncompleteReport(const char* verb, const char* address, int status) {
  if (!CommandDidNotComplete(status)) return 0;
  PrintDebugf(1, "Error: \"hbacmd %s %s\" did not complete (status %d); its report is not used.\n",
              verb, address, status);
  return RET_REPORT_FILE_MISSING;
}

// Runs listhbas and reads its report into p_hba_info_list.
int CollectPorts() {
  int status = RunHbacmd(ListHbasCommand());
  // Whatever the levels: the report of a failed listhbas is not an
  // inventory.
  if (status != 0) {
    PrintDebugf(4, "\nFail, \"hbacmd listhbas\" command returned code %d.\n", status);
    return RET_FATAL_ERROR;
  }
  PrintDebugf(6, "\nSuccess, \"hbacmd listhbas\" command returned code %d.\n", status);
  return ReadReportFile(ListHbasFile(), ReadListHbas, nullptr);
}

int CollectAttributes(hba_info* port) {
  if (ReportFileLeavesWorkingDirectory(port, kHbaAttributesFile))
    return RefuseReportFile(port, kHbaAttributesFile, "\t\tNo serial number => SKIP!\n");
  int status = RunHbacmd(HbaAttributesCommand(port));
  const char* shown = BeginsWithFc(port) ? port->PortWWN.c_str() : port->PermanentMAC.c_str();
  if (status == 0)
    PrintDebugf(6, "\n\t\tSuccess, \"hbacmd hbaattributes %s\" command returned code %d.\n",
                shown, status);
  else
    PrintDebugf(6, "\n\t\tFail, \"hbacmd hbaattributes %s\" command returned code %d.\n", shown,
                status);
  if (HasNoSerialNumber(port)) {
    PrintDebugf(1, "\t\tNo serial number => SKIP!\n");
    return 0;
  }
  if (int result = RefuseIncompleteReport("hbaattributes", PortAddress(port), status);
      result != 0)
    return result;
  return ReadReportFile(PortReportFile(port, kHbaAttributesFile), ReadHbaAttributesReport, port);
}

int CollectTargetMapping(hba_info* port) {
  if (ReportFileLeavesWorkingDirectory(port, kTargetMappingFile))
    return RefuseReportFile(port, kTargetMappingFile, "\t\t\tNo serial number => SKIP!\n");
  int status = RunHbacmd(TargetMappingCommand(port));
  if (status == 0)
    PrintDebugf(6, "\n\t\t\tSuccess, \"hbacmd targetmapping %s\" command returned code %d.\n",
                port->PortWWN.c_str(), status);
  else
    PrintDebugf(6, "\n\n\t\t\tFail, \"hbacmd targetmapping %s\" command returned code %d.\n",
                port->PortWWN.c_str(), status);
  if (HasNoSerialNumber(port)) {
    PrintDebugf(1, "\t\t\tNo serial number => SKIP!\n");
    return 0;
  }
  if (int result = RefuseIncompleteReport("targetmapping", port->PortWWN.c_str(), status);
      result != 0)
    return result;
  return ReadReportFile(PortReportFile(port, kTargetMappingFile), ReadTargetMappingReport, port);
}

}  // namespace

int Get_HbaCmd_Path() {
  return LocateHbacmd("/usr/sbin/ocmanager/hbacmd", "/opt/emulex/ocmanager/bin/hbacmd");
}

int Get_All_Hba_Info() {
  if (!active_option_simulate && !PathExists(pHBAFlashCmdPath.c_str())) {
    PrintDebugf(1, "\t\tCommand %s is not available!\n\n", pHBAFlashCmdPath.c_str());
    return RET_SCLI_NOT_INSTALLED;
  }
  if (int result = CollectPorts(); result != 0) return result;
  if (p_hba_info_list == nullptr) return RET_NO_FC_CTRL_INSTALLED;

  // The list does not change below: the passes only hang reports on ports.
  for (int i = 0; p_hba_info_list[i] != nullptr; ++i)
    if (int result = CollectAttributes(p_hba_info_list[i]); result != 0) return result;
  for (int i = 0; p_hba_info_list[i] != nullptr; ++i) {
    if (!IsAddressedByWWN(p_hba_info_list[i])) continue;
    if (int result = CollectTargetMapping(p_hba_info_list[i]); result != 0) return result;
  }
  return 0;
}
