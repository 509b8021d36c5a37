// A capture: the hbacmd reports that an fcguard run left in its working
// directory (local_hba_list.out and, per port,
// <serial>_<function>_hba_attributes.out and _target_mapping.out), taken
// from a server.  A capture is hostile input: a file is read only when it
// is a regular file of bounded size, tested before it is opened, never
// through a link, and never a device, FIFO or socket.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The largest file of a capture that is read (a listing of 100,000 ports
// is about 12 MiB).
constexpr long long kMaxCapturedFileBytes = 64LL * 1024 * 1024;

enum class FileProblem { kNone, kMissing, kUnreadable, kNotRegular, kTooLarge };

// "missing", "unreadable", "not a regular file", "too large".
const char* FileProblemText(FileProblem problem);

// A report the capture should hold and does not, or holds but cannot be
// read.
struct MissingReport {
  std::string report;  // the file name
  std::string problem; // FileProblemText
};

// Opens the file `name` of the directory dir_fd for reading, after
// testing what it is without following a link (lstat first, then the
// opened file is tested again to be that same regular file).  Null, with
// the problem, when it is not a regular file of at most
// kMaxCapturedFileBytes or cannot be read.
FILE* OpenCapturedFile(int dir_fd, const std::string& name, FileProblem* problem);

// Checks a capture: its listing, read with fcguard's own report reader
// into p_hba_info_list, and every report the listing implies: the
// hbaattributes report of every port whose serial number does not begin
// with "n/a", the targetmapping report of every FC and FCoE port among
// them.  Every file found good is copied into copy_dir_fd unless it is -1.
// Returns the reports that are missing or cannot be read (empty: the
// capture is complete).  p_hba_info_list holds the listing's ports
// afterwards when the listing could be read.
std::vector<MissingReport> CheckCapture(int dir_fd, int copy_dir_fd);

// Copies a file already open into dir_fd/name (mode 0644).  False when it
// cannot be written.
bool CopyInto(FILE* file, int dir_fd, const std::string& name);
