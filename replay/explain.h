// The reason engine: why an fcguard run over a set of reports ended with
// its status, found by fcguard's own code on those reports (its readers,
// its classification and pairing, its sub-system check), never by reading
// its screen text.
#pragma once

#include <string>
#include <vector>

#include "replay/row.h"

struct ExplainInput {
  int reports_dir_fd = -1;     // the directory that holds the reports
  int conditions_dir_fd = -1;  // the directory that holds the conditions file
  std::string conditions_name = "FC_HBA_Conditions.txt";
  int status = 0;                          // fcguard's status
  std::vector<std::string> fcguard_args;   // the arguments of the run
  bool check_complete = true;  // first check that every implied report is there
};

// The row of the run: the status's name and meaning, and the reason.  A
// set of reports that lacks one the listing implies, or holds one that
// cannot be read, gives the incomplete row (when check_complete), whatever
// the status: its verdict is not to be trusted.
Row Explain(const std::string& path, const ExplainInput& input);
