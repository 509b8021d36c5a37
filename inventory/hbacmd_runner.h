// The hbacmd command lines and the files they write.
//
// Every value that comes from a report or from the command line (the
// tool's path, the working path, addresses, serial numbers, PCI functions)
// enters a command line as one quoted shell word, so that a serial number
// such as "X;reboot" stays a name.  Ordinary values need no quotes and give
// the command lines byte for byte as hbacmd's callers always wrote them.
// The files are read back under the values as they stand.
#pragma once

#include <string>

#include "inventory/hba_info.h"

// "<hbacmd> listhbas > <working path>/local_hba_list.out \n"
std::string ListHbasCommand();

constexpr const char* kHbaAttributesFile = "hba_attributes.out";
constexpr const char* kTargetMappingFile = "target_mapping.out";

// A report that hbacmd gives per port: its verb, the file it is sent into
// (after "<SerialNumber>_<PortFunction>_") and the tabs that indent its
// command line and its messages.
struct PortReport {
  const char* verb;
  const char* suffix;
  const char* tabs;
};

constexpr PortReport kHbaAttributesReport = {"hbaattributes", kHbaAttributesFile, "\t\t"};
constexpr PortReport kTargetMappingReport = {"targetmapping", kTargetMappingFile, "\t\t\t"};

// "\n<tabs><hbacmd> <verb> <address> > <port file>\n", the port addressed
// as PortAddress gives it (targetmapping is run for ports addressed by
// their PortWWN only).
std::string PortReportCommand(const PortReport& report, const hba_info* port);

// "<working path>/local_hba_list.out"
std::string ListHbasFile();
// "<SerialNumber>_<PortFunction>_<suffix>", the name of a port's report
// within the working directory.
std::string PortReportName(const hba_info* port, const char* suffix);
// "<working path>/<SerialNumber>_<PortFunction>_<suffix>"
std::string PortReportFile(const hba_info* port, const char* suffix);

// Shows the command line at level 6 and runs it, unless simulating.
// Returns the status the shell reports (0 when simulating).
int RunHbacmd(const std::string& command);

// Puts the first of the two paths that exists into pHBAFlashCmdPath.  0,
// or RET_SCLI_NOT_INSTALLED with pHBAFlashCmdPath empty.
int LocateHbacmd(const char* first, const char* second);
