// Replaying a capture: the report files that an fcguard run left in its
// working directory (local_hba_list.out and every port's
// <serial>_<function>_hba_attributes.out and _target_mapping.out) answer
// the calls instead of a site.
//
// A look-up finds its port in the captured listing exactly as fcguard
// reads that listing (fcguard's own report reader does it), so the
// address it asks about is the address it read, cut and cleaned alike,
// and the report answered is the file its run wrote for that port.
//
// INDEX, when not empty, names the directory of the capture's index in
// the replay's scratch space (sim/replay_index.h): the first call builds
// it from the listing, every later call reads only its own entry, so the
// time of a call does not grow with the listing.  Without an index every
// call reads the whole listing.
//
// Every file of the capture is looked at before it is opened and read only
// when it is a regular file within the size bound (sim/capture_file.h).
#pragma once

#include <string>
#include <string_view>

#include "sim/reports.h"

// The captured listing, byte for byte, with status 0.  False with a
// message naming the file when it cannot be read.
bool ReplayListHbas(const std::string& capture, const std::string& index, SimAnswer* answer,
                    std::string* message);

// The captured hbaattributes or targetmapping report of the port with this
// address, status 0.  An address the listing does not hold (for
// targetmapping: no FC or FCoE port with that WWN), or a report the
// capture lacks, answers as the vendor tool answers an unknown address: an
// ERROR line and status 1.  False with a message naming the file when the
// listing or the report cannot be read.
bool ReplayReport(const std::string& capture, const std::string& index, SimReport report,
                  std::string_view address, SimAnswer* answer, std::string* message);

// A download to a captured port's address: the progress lines of a
// successful download (the firmware version from the port's captured
// hbaattributes report, when there is one), status 0.  An unknown address
// or an image that is not a regular file answers with an ERROR line and
// status 1.
bool ReplayDownload(const std::string& capture, const std::string& index,
                    std::string_view address, const std::string& image, SimAnswer* answer,
                    std::string* message);

// Builds the capture's index in INDEX unless it is there already; false
// with a message when the listing cannot be read or the index cannot be
// written (or INDEX is something else).
bool ReplayIndex(const std::string& capture, const std::string& index, std::string* message);
