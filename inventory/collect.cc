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

void PrintNoSerialNumber(const PortReport& report) {
  PrintDebugf(1, "%sNo serial number => SKIP!\n", report.tabs);
}

// No command runs for such a port, and its report counts as missing, as
// when the shell cannot create it.
int RefuseReportFile(hba_info* port, const PortReport& report) {
  if (HasNoSerialNumber(port)) {
    PrintNoSerialNumber(report);
    return 0;
  }
  PrintDebugf(1, "Error: Could not open file %s\n", PortReportFile(port, report.suffix).c_str());
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

// The two reports that hbacmd gives per port, in the order they are
// collected: each is run and read for every port of the list before the
// next one starts.
struct PortReportPass {
  const PortReport* report;
  ReportReader reader;
  const char* fail_lead;  // what comes before "Fail, ..."
  bool wwn_ports_only;    // only ports addressed by their PortWWN have it
};

constexpr PortReportPass kPortReportPasses[] = {
    {&kHbaAttributesReport, ReadHbaAttributesReport, "\n\t\t", false},
    {&kTargetMappingReport, ReadTargetMappingReport, "\n\n\t\t\t", true},
};

// Runs the pass's report for the port and reads it into the port.
int CollectPortReport(const PortReportPass& pass, hba_info* port) {
  const PortReport& report = *pass.report;
  if (ReportFileLeavesWorkingDirectory(port, report.suffix)) return RefuseReportFile(port, report);
  int status = RunHbacmd(PortReportCommand(report, port));
  // The command must reach the port as hbacmd knows it: by its PortWWN
  // when its type begins with "FCoE" or is exactly "FC", else by its
  // PermanentMAC.  The message is the tool's long-standing screen text,
  // which names the PortWWN for every type beginning with "FC", and is kept
  // as it is: for another such type ("FCx") it names the WWN while the
  // command went to the MAC.  targetmapping runs only for ports addressed
  // by their WWN, so there both name the WWN.
  const char* named = BeginsWithFc(port) ? port->PortWWN.c_str() : port->PermanentMAC.c_str();
  if (status == 0)
    PrintDebugf(6, "\n%sSuccess, \"hbacmd %s %s\" command returned code %d.\n", report.tabs,
                report.verb, named, status);
  else
    PrintDebugf(6, "%sFail, \"hbacmd %s %s\" command returned code %d.\n", pass.fail_lead,
                report.verb, named, status);
  if (HasNoSerialNumber(port)) {
    PrintNoSerialNumber(report);
    return 0;
  }
  if (int result = RefuseIncompleteReport(report.verb, PortAddress(port), status); result != 0)
    return result;
  return ReadReportFile(PortReportFile(port, report.suffix), pass.reader, port);
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
  for (const PortReportPass& pass : kPortReportPasses) {
    for (int i = 0; p_hba_info_list[i] != nullptr; ++i) {
      hba_info* port = p_hba_info_list[i];
      if (pass.wwn_ports_only && !IsAddressedByWWN(port)) continue;
      if (int result = CollectPortReport(pass, port); result != 0) return result;
    }
  }
  return 0;
}
