// return-codes-json: writes the return-code table as JSON on stdout, for
// scripts and frameworks (the build installs it as return-codes.json):
//   [{"value": 0, "name": "RET_OK", "meaning": "..."}, ...]
// one row per line, in value order.  Status 1 when stdout cannot be
// written.
#include <cstdio>
#include <string>

#include "driver/base/return_codes.h"

namespace {

// A JSON string literal of the text.
std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += *p;
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += *p;
    }
  }
  return out + "\"";
}

}  // namespace

int main() {
  std::string json = "[\n";
  for (std::size_t i = 0; i < kReturnCodeCount; ++i) {
    const return_code_row& row = kReturnCodeTable[i];
    json += "  {\"value\": " + std::to_string(row.Value) + ", \"name\": " + Quoted(row.Name) +
            ", \"meaning\": " + Quoted(row.Meaning) + "}" + (i + 1 < kReturnCodeCount ? "," : "") +
            "\n";
  }
  json += "]\n";
  if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() || std::fflush(stdout) != 0) {
    std::perror("return-codes-json: cannot write");
    return 1;
  }
  return 0;
}
