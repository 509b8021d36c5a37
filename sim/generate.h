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
