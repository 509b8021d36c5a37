// bench-read-floor [--records ENTRIES TRIPLES PORTS MAPPINGS] LIST
//
// The least a run of fcguard --simulate must do: read every file named in
// LIST (one path a line, in the order fcguard reads them) fully with
// stdio, and nothing else.  Ends with 1 when a file cannot be read, so
// that a wrong list cannot pass for a fast floor.
//
// With --records it also allocates, zero-filled, and writes to the records
// that fcguard keeps for such input: ENTRIES conditions entries with
// TRIPLES sub-system triples among them, PORTS ports each with an
// attributes record, MAPPINGS target mappings.  That is the least a run
// must do that holds the data in the program's record layout: what fcguard
// spends beyond it is parsing, checking and printing.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "conditions/config_file.h"
#include "inventory/hba_info.h"

namespace {

// Reads the file to its end; false when it cannot be opened or read.
bool ReadFully(const char* path) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  static char buffer[65536];
  while (std::fread(buffer, 1, sizeof buffer, file) == sizeof buffer) {
  }
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// Where the records escape to, so that the compiler keeps them.
void* volatile last_record;

// A zero-filled record that is written to, as a parser writes its fields;
// kept until the end, as fcguard keeps its records.
void Record(std::size_t size) {
  auto* record = static_cast<unsigned char*>(std::calloc(1, size));
  if (record == nullptr) {
    std::fprintf(stderr, "bench-read-floor: out of memory\n");
    std::exit(2);
  }
  record[0] = 1;
  record[size - 1] = 1;
  last_record = record;
}

bool Count(const char* text, long* value) {
  char* end = nullptr;
  *value = std::strtol(text, &end, 10);
  return *text != '\0' && *end == '\0' && *value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  long entries = 0, triples = 0, ports = 0, mappings = 0;
  const char* list_path = nullptr;
  if (argc == 2) {
    list_path = argv[1];
  } else if (argc == 7 && std::strcmp(argv[1], "--records") == 0 && Count(argv[2], &entries) &&
             Count(argv[3], &triples) && Count(argv[4], &ports) && Count(argv[5], &mappings)) {
    list_path = argv[6];
  } else {
    std::fprintf(stderr, "usage: bench-read-floor [--records ENTRIES TRIPLES PORTS MAPPINGS] LIST\n");
    return 2;
  }
  FILE* list = std::fopen(list_path, "r");
  if (list == nullptr) {
    std::fprintf(stderr, "bench-read-floor: cannot open %s\n", list_path);
    return 2;
  }
  char path[4096];
  int status = 0;
  while (std::fgets(path, sizeof path, list) != nullptr) {
    path[std::strcspn(path, "\n")] = '\0';
    if (path[0] == '\0') continue;
    if (!ReadFully(path)) {
      std::fprintf(stderr, "bench-read-floor: cannot read %s\n", path);
      status = 1;
    }
  }
  std::fclose(list);

  // In the order fcguard makes them: each entry with its share of the
  // triples, then each port with its attributes, then the mappings.
  for (long e = 0; e < entries; ++e) {
    Record(sizeof(fc_config_file_entry));
    long share = triples / entries + (e < triples % entries ? 1 : 0);
    for (long t = 0; t < share; ++t) Record(sizeof(fc_periphery_info));
  }
  for (long p = 0; p < ports; ++p) Record(sizeof(hba_info));
  for (long p = 0; p < ports; ++p) Record(sizeof(hba_attributes_entry));
  for (long m = 0; m < mappings; ++m) Record(sizeof(target_mapping_entry));
  return status;
}
