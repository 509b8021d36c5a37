// One row of fcguard-replay: what a capture (or a directory an fcguard run
// left) shows, and its forms on the output.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "replay/capture.h"

// A refused storage sub-system of a port.
struct RefusedStorage {
  std::string port;  // the port's address
  std::string vendor;
  std::string product;
  std::string version;
};

struct Row {
  std::string path;           // the capture as given
  std::optional<int> status;  // fcguard's status; none when not run
  std::string name;           // the status's name, CAPTURE_INCOMPLETE or REPLAY_FAILED
  std::string meaning;
  std::string reason;         // one line for humans
  bool complete = true;
  std::vector<RefusedStorage> refused;
  std::vector<MissingReport> missing;
};

enum class RowFormat { kTsv, kJson, kJsonLines, kCsv };

// "tsv", "json", "jsonl", "csv"; false for another word.
bool ParseRowFormat(const std::string& word, RowFormat* format);

// The word of a format, as ParseRowFormat takes it.
const char* RowFormatWord(RowFormat format);

// The row as one line (with its line break): TSV "path, status, name,
// reason" (status "-" when none), a CSV record of the same fields, or a
// JSON object (for kJson without the array around it).
std::string FormatRow(const Row& row, RowFormat format);

// The CSV header line.
std::string CsvHeader();

// A row counts as passed only when the capture was complete and fcguard
// ended with 0.
inline bool RowPassed(const Row& row) { return row.complete && row.status == 0; }

// The row's entry in the summary: "<name> (<status>)", or the name alone.
std::string RowKey(const Row& row);

// The row of a capture that could not be judged: name, status none.
Row IncompleteRow(const std::string& path, std::vector<MissingReport> missing,
                  const std::string& reason);
Row FailedRow(const std::string& path, const std::string& reason);

// The status's name and meaning from fcguard's return-code table.
void NameStatus(int status, Row* row);

// The reason of an incomplete capture: its missing or unreadable reports.
std::string MissingReason(const std::vector<MissingReport>& missing);

// Writes the whole text to the descriptor, again after EINTR; false when
// the descriptor takes no more.
bool WriteAll(int fd, const std::string& text);
