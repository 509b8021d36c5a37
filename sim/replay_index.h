// The index of a captured listing, so that a replayed call reads only
// its own port's entry, whatever the size of the listing.  It is written
// once per capture into a directory of the replay's scratch space
// (HBACMD_SIM_INDEX) and read by every later call.
//
// Layout of INDEX:
//   CAPTURE  the capture's path as given, and a line end;
//   entries  one entry per address of the listing, in order of first
//            appearance: the address in lower-case hexadecimal and a line
//            end, a line "A<TAB>serial<TAB>function<TAB>model" for the
//            first port of the listing with that address, and a line
//            "W<TAB>..." for the first FC or FCoE port with it as its WWN,
//            when there is one;
//   table    "FCGIDX1\0", the number of slots (twice the number of
//            entries, 64 bits, host order), then the slots of an open
//            addressing hash table (FNV-1a of the address, linear
//            probing), 16 bytes each: the entry's offset + 1 (0: empty
//            slot, 64 bits), its length and the hash's upper half (32 bits
//            each).
// A look-up reads a few slots and one entry.  Addresses are hostile text:
// they name no file; an entry whose address line differs is another's.
#pragma once

#include <string>
#include <string_view>

// Addresses longer than this are in no listing fcguard reads (its fields
// are shorter): they have no entry.
constexpr std::size_t kMaxIndexedAddress = 64;

// A captured port as a replayed call needs it: what names its reports
// and what a download shows.
struct IndexedPort {
  std::string serial;
  std::string function;
  std::string model;
};

struct IndexEntry {
  bool any_found = false;  // the first port with the address
  IndexedPort any;
  bool wwn_found = false;  // the first FC or FCoE port with the address as its WWN
  IndexedPort wwn;
};

// Whether INDEX is there: false with *exists false when nothing has that
// name; true when it is the index of this capture; false with a message
// when it is anything else.
bool ReplayIndexExists(const std::string& capture, const std::string& index, bool* exists,
                       std::string* message);

// Writes the index of the listing in p_hba_info_list (read from the
// capture) as INDEX, which must not exist: built under a temporary name
// beside it and renamed when complete.  False with a message otherwise.
bool WriteReplayIndex(const std::string& capture, const std::string& index,
                      std::string* message);

// The entry of an address; an address without one gives an entry with
// nothing found.  False with a message when the entry cannot be read.
bool ReadIndexEntry(const std::string& index, std::string_view address, IndexEntry* entry,
                    std::string* message);
