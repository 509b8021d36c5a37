#include "replay/row.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "driver/base/return_codes.h"

namespace {

// Control characters (a tab or a line break in a path or a serial number)
// would break a line-based table: each becomes "?".
std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return line;
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else if (c >= 0x80) {
          // Bytes of a hostile capture need not be UTF-8: only plain
          // ASCII leaves unescaped, anything else as the code point of
          // its byte.
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Csv(const std::string& text) {
  std::string field = OneLine(text);
  if (field.find_first_of(",\"") == std::string::npos) return field;
  std::string out = "\"";
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string StatusColumn(const Row& row) { return row.status ? std::to_string(*row.status) : "-"; }

}  // namespace

bool ParseRowFormat(const std::string& word, RowFormat* format) {
  if (word == "tsv") *format = RowFormat::kTsv;
  else if (word == "json") *format = RowFormat::kJson;
  else if (word == "jsonl") *format = RowFormat::kJsonLines;
  else if (word == "csv") *format = RowFormat::kCsv;
  else return false;
  return true;
}

const char* RowFormatWord(RowFormat format) {
  switch (format) {
    case RowFormat::kTsv: return "tsv";
    case RowFormat::kJson: return "json";
    case RowFormat::kJsonLines: return "jsonl";
    case RowFormat::kCsv: return "csv";
  }
  return "tsv";
}

std::string CsvHeader() { return "path,status,name,reason\n"; }

std::string FormatRow(const Row& row, RowFormat format) {
  if (format == RowFormat::kTsv)
    return OneLine(row.path) + "\t" + StatusColumn(row) + "\t" + OneLine(row.name) + "\t" +
           OneLine(row.reason) + "\n";
  if (format == RowFormat::kCsv)
    return Csv(row.path) + "," + StatusColumn(row) + "," + Csv(row.name) + "," + Csv(row.reason) +
           "\n";
  std::string out = "{\"path\": " + Json(row.path) + ", \"status\": " +
                    (row.status ? std::to_string(*row.status) : "null") +
                    ", \"name\": " + Json(row.name) + ", \"meaning\": " + Json(row.meaning) +
                    ", \"reason\": " + Json(row.reason) +
                    ", \"complete\": " + (row.complete ? "true" : "false") + ", \"refused\": [";
  for (std::size_t i = 0; i < row.refused.size(); ++i) {
    const RefusedStorage& r = row.refused[i];
    out += (i ? ", " : "") + std::string("{\"port\": ") + Json(r.port) + ", \"vendor\": " +
           Json(r.vendor) + ", \"product\": " + Json(r.product) + ", \"version\": " +
           Json(r.version) + "}";
  }
  out += "], \"missing\": [";
  for (std::size_t i = 0; i < row.missing.size(); ++i)
    out += (i ? ", " : "") + std::string("{\"report\": ") + Json(row.missing[i].report) +
           ", \"problem\": " + Json(row.missing[i].problem) + "}";
  return out + "]}\n";
}

void NameStatus(int status, Row* row) {
  row->status = status;
  const return_code_row* entry = FindReturnCode(status);
  if (entry != nullptr) {
    row->name = entry->Name;
    row->meaning = entry->Meaning;
  } else if (status > 128 && status < 128 + 65) {
    row->name = "(none)";
    row->meaning = "ended by signal " + std::to_string(status - 128);
  } else {
    row->name = "(none)";
    row->meaning = "not a status of fcguard";
  }
}

std::string MissingReason(const std::vector<MissingReport>& missing) {
  std::string reason = "incomplete capture:";
  // A hostile listing may imply thousands: the first few are named.
  constexpr std::size_t kNamed = 5;
  for (std::size_t i = 0; i < missing.size() && i < kNamed; ++i)
    reason += (i ? "; " : " ") + missing[i].report + " " + missing[i].problem;
  if (missing.size() > kNamed)
    reason += "; and " + std::to_string(missing.size() - kNamed) + " more";
  return reason;
}

Row IncompleteRow(const std::string& path, std::vector<MissingReport> missing,
                  const std::string& reason) {
  Row row;
  row.path = path;
  row.name = "CAPTURE_INCOMPLETE";
  row.meaning = "the capture lacks a report, or one cannot be read: it was not judged";
  row.complete = false;
  row.missing = std::move(missing);
  row.reason = reason.empty() ? MissingReason(row.missing) : reason;
  return row;
}

Row FailedRow(const std::string& path, const std::string& reason) {
  Row row;
  row.path = path;
  row.name = "REPLAY_FAILED";
  row.meaning = "the replay of the capture did not finish: it was not judged";
  row.complete = false;
  row.reason = reason;
  return row;
}

std::string RowKey(const Row& row) {
  return row.name + (row.status ? " (" + std::to_string(*row.status) + ")" : std::string());
}

bool WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}
