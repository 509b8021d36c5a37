// The index of a captured listing: one small file per address, so that a
// replayed call reads only its own port's entry, whatever the size of the
// listing.  It is written once per capture into a directory of the
// replay's scratch space (HBACMD_SIM_INDEX) and read by every later call.
//
// Layout: INDEX/CAPTURE holds the capture's path as given, and a line
// end; INDEX/<hex> holds the entry of the address whose bytes are <hex>
// in lower-case hexadecimal (a name of [0-9a-f] only, whatever the
// address holds): a line "A<TAB>serial<TAB>function<TAB>model" for the
// first port of the listing with that address, and a line "W<TAB>..." for
// the first FC or FCoE port with that WWN, when there is one.
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
