// Large deterministic sites and conditions files for benchmarks.
#pragma once

#include <string>

constexpr long kMaxGeneratedAdapters = 65536;
constexpr long kMaxGeneratedConditions = 1000000;

// A site of `adapters` converged adapters with eight functions each: NIC
// 0/1, FCoE 2/3 (each seeing DGC storage), iSCSI 4/5, NIC 6/7.  The
// adapters cycle through four controller types.
std::string GenerateSite(long adapters);

// How many conditions lines the controllers of GenerateSite(adapters) need.
long GeneratedControllerTypes(long adapters);

// An FC_HBA_Conditions.txt with a '#' header, a ruler and `lines` data
// lines: filler lines of other controllers, then one line per controller
// type of GenerateSite(adapters), allowing its storage.  lines must be at
// least GeneratedControllerTypes(adapters).
std::string GenerateConditions(long lines, long adapters);

struct SimSite;

// Writes into directory exactly the report files that a full fcguard run
// at its default levels leaves in its working directory, byte for byte as
// the calls would write them, without starting a process per call: the
// listhbas report, then each port's hbaattributes report in site order,
// then the targetmapping report of every FC and FCoE port.  A file that
// cannot be created is left out, as the shell leaves it; for a port whose
// serial number does not begin with "n/a" fcguard stops there, and so does
// this.  After a failed listhbas only its report is written.  Sites that
// fcguard would not read back as written are refused with a message: a
// listhbas raw override, a listhbas value holding a control character, an
// empty address, or a serial number, function, port type or address that
// is longer than fcguard's field or holds a blank or a double quote.
bool GenerateReports(const SimSite& site, const std::string& directory, std::string* message);
