// One capture's run, inside its sandbox: the capture checked and copied
// into the scratch directory, fcguard run there against the simulator
// answering from the copy, and the reason found.
#pragma once

#include <string>
#include <vector>

#include "replay/row.h"

// The scratch directory inside every sandbox: a tmpfs that vanishes with
// the sandbox (or the --keep directory of the capture).
constexpr char kSandboxScratch[] = "/opt/fcguard-replay";

struct CaptureRun {
  std::string path;        // the capture as given (shown in its row)
  std::string capture;     // its absolute path
  std::string conditions;  // the --conditions file, absolute, or empty
  std::string fcguard;     // the program, absolute
  std::string runner;      // qemu-i386 for a 32-bit program the kernel cannot run, or empty
  std::vector<std::string> args;
};

// The capture's row.  An incomplete or unreadable capture is not run.
Row RunCapture(const CaptureRun& run);
