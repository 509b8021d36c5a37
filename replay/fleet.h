// The replay of many captures: each in a sandbox of its own (bubblewrap),
// several side by side, the rows printed in input order as soon as they
// are known.
#pragma once

#include <string>
#include <vector>

#include "replay/row.h"

struct FleetOptions {
  std::vector<std::string> captures;  // as given
  std::string conditions;  // absolute, or empty
  std::string images;      // absolute, or empty
  std::string keep;        // absolute, made by the caller, or empty
  std::string fcguard;     // absolute
  std::string runner;      // or empty
  std::string self;        // this program, absolute
  std::string sim;         // hbacmd-sim, absolute
  std::string bwrap;       // bubblewrap, absolute
  int jobs = 1;
  RowFormat format = RowFormat::kTsv;
  std::vector<std::string> args;
};

// Replays every capture and returns the exit status: 0 every row passed,
// 1 some did not, 2 the output could not be written, 128 + the signal
// (SIGINT, SIGTERM, SIGHUP) that ended the replay after the rows it had
// were printed.  Every sandbox has ended when it returns.
int ReplayFleet(const FleetOptions& options);

// True when the path lies where every sandbox hides the machine (/opt,
// /usr/sbin/ocmanager).
bool HiddenInSandbox(const std::string& absolute);
