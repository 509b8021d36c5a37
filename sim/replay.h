// Replaying a capture: the report files that an fcguard run left in its
// working directory (local_hba_list.out and every port's
// <serial>_<function>_hba_attributes.out and _target_mapping.out) answer
// the calls instead of a site.
//
// A look-up finds its port in the captured listing exactly as fcguard
// reads that listing (fcguard's own report reader does it), so the
// address it asks about is the address it read, cut and cleaned alike,
// and the report answered is the file its run wrote for that port.
#pragma once

#include <string>
#include <string_view>

#include "sim/reports.h"

// The captured listing, byte for byte, with status 0.  False with a
// message naming the file when it cannot be read.
bool ReplayListHbas(const std::string& capture, SimAnswer* answer, std::string* message);

// The captured hbaattributes or targetmapping report of the port with this
// address, status 0.  An address the listing does not hold (for
// targetmapping: no FC or FCoE port with that WWN), or a report the
// capture lacks, answers as the vendor tool answers an unknown address: an
// ERROR line and status 1.  False with a message naming the file when the
// listing or the report cannot be read.
bool ReplayReport(const std::string& capture, SimReport report, std::string_view address,
                  SimAnswer* answer, std::string* message);

// A download to a captured port's address: the progress lines of a
// successful download (the firmware version from the port's captured
// hbaattributes report, when there is one), status 0.  An unknown address
// or an image that is not a regular file answers with an ERROR line and
// status 1.
bool ReplayDownload(const std::string& capture, std::string_view address,
                    const std::string& image, SimAnswer* answer, std::string* message);
