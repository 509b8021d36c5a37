// The simulated site: the adapters, ports and storage that the hbacmd
// simulator reports, read from a small line-oriented text file (the format
// is described in sim/README.md).
//
// The simulator reads the whole site on every call, and a benchmark site
// has tens of thousands of ports, so parsing copies nothing: every text is
// a view into the site's own text, or into its store of unescaped values.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SimLun {
  std::string_view vendor;
  std::string_view product;
  std::string_view version;
  int index = 0;  // position among all LUNs of the site, from 0
};

struct SimAdapter {
  std::string_view serial;
  std::string_view model;
  std::string_view model_desc;
  std::string_view mfg = "Emulex Corporation";
  std::string_view vendor_id, device_id, sub_vendor_id, sub_device_id;  // as written
  std::string_view firmware = "10.2.370.19";
  std::string_view bus;
  int download_status = 0;
  int line = 0;
  bool has_model = false;
  bool has_pci = false;
};

// What the site says of one report call in place of the simulator's own
// answer: its status, the signal that ends the command instead, and a raw
// report file served as it stands.
struct SimOverride {
  int status = 0;
  int signal = 0;        // the command ends by this signal (0: none)
  std::string_view raw;  // resolved path, empty when none
  int raw_line = 0;      // the site line that names raw
};

struct SimPort {
  std::string_view type;      // "NIC", "FCoE", "iSCSI", "FC" or any other text
  std::string_view number;    // port number
  std::string_view function;  // PCI function
  std::string_view address;   // WWN of an FC/FCoE port, else the permanent MAC
  std::optional<std::string_view> node_wwn, fabric, current_mac, flags, mode;
  std::vector<SimLun> luns;
  SimOverride attributes;  // hbaattributes
  SimOverride mapping;     // targetmapping
  size_t adapter = 0;  // index into SimSite::adapters
  int index = 0;       // position among all ports of the site, from 0
  int line = 0;
};

struct SimSite {
  SimSite() = default;
  ~SimSite();
  SimSite(const SimSite&) = delete;  // the views point into text and store
  SimSite& operator=(const SimSite&) = delete;

  std::string path;
  std::string_view text;          // the site file's text
  std::deque<std::string> store;  // unescaped values and resolved paths
  void* mapping = nullptr;        // the file, mapped by LoadSite
  size_t mapping_size = 0;

  std::string_view host = "simhost";
  SimOverride listhbas;  // never a signal
  std::vector<SimAdapter> adapters;
  std::vector<SimPort> ports;  // in site order
};

// A port is addressed by its WWN when its type begins with "FCoE" or is
// exactly "FC", otherwise by its permanent MAC.
bool AddressedByWwn(std::string_view type);

// Splits one site line into words: blanks and tabs separate words; a word
// in double quotes may hold blanks and the escapes \\ \" \n \r \t \xNN.
// Words are views into the line, or into store when they held escapes.
// Returns false with a reason for a malformed line.
bool SplitSiteLine(std::string_view line, std::vector<std::string_view>* words,
                   std::deque<std::string>* store, std::string* error);

// Parses the site text, which must outlive the site.  Relative raw override names
// are taken relative to the directory of path.  On failure returns false
// with the line number (0 for the file as a whole) and the reason.  The
// whole text is always checked; with only_address, site->ports keeps only
// the port with that address (a look-up then touches little memory).
bool ParseSite(std::string_view text, const std::string& path, SimSite* site, int* error_line,
               std::string* error, std::optional<std::string_view> only_address = {});

// Reads and parses the site file; on failure returns false with a message
// that names the file and, where there is one, the line.
bool LoadSite(const std::string& path, SimSite* site, std::string* message,
              std::optional<std::string_view> only_address = {});

// The port with this exact address, or null.  Empty addresses never match.
const SimPort* FindPort(const SimSite& site, std::string_view address);
