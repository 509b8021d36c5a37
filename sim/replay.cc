#include "sim/replay.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/base/settings.h"
#include "inventory/hba_info.h"
#include "inventory/hbacmd_runner.h"
#include "inventory/reports.h"
#include "sim/capture_file.h"
#include "sim/replay_index.h"
#include "sim/reports.h"
#include "sim/site.h"

namespace {

// fcguard's readers print through PrintDebug: silently here.
void Quiet() {
  DebugLevel = 0;
  VerboseLevel = 0;
  PrintDebugOnScreen = 0;
}

std::string ListingPath(const std::string& capture) { return capture + "/local_hba_list.out"; }

// Opens the captured listing, which every call needs.
bool OpenListing(const std::string& path, int* fd, std::string* message) {
  Opened opened = OpenCaptured(path, kMaxCapturedBytes, fd, message);
  if (opened == Opened::kAbsent) *message = CannotRead(path, std::strerror(ENOENT));
  return opened == Opened::kOpen;
}

// Reads the captured listing into p_hba_info_list with fcguard's reader,
// silently.
bool LoadListing(const std::string& capture, std::string* message) {
  const std::string path = ListingPath(capture);
  int fd = -1;
  if (!OpenListing(path, &fd, message)) return false;
  FILE* file = fdopen(fd, "r");
  if (file == nullptr) {
    *message = CannotRead(path, std::strerror(errno));
    close(fd);
    return false;
  }
  Quiet();
  int result = ReadListHbasReport(file);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (result != 0 || failed) {
    *message = CannotRead(path, failed ? "read error" : "out of memory");
    return false;
  }
  return true;
}

// The first port of the listing, in listing order, with this address.
hba_info* FindCapturedPort(std::string_view address, bool by_wwn_only) {
  if (address.empty() || p_hba_info_list == nullptr) return nullptr;
  for (hba_info** slot = p_hba_info_list; *slot != nullptr; ++slot) {
    if (by_wwn_only && !IsAddressedByWWN(*slot)) continue;
    if (address == PortAddress(*slot)) return *slot;
  }
  return nullptr;
}

void Unknown(std::string_view address, SimAnswer* answer) {
  *answer = CommandFailure("HBA Not Found: " + std::string(address));
}

// Opens the port's captured report.  A name with a "/" would lie outside
// the capture's own directory (fcguard's run could not have written it
// there either): the capture lacks it.
Opened OpenPortReport(const std::string& capture, const hba_info* port, const char* suffix,
                      std::string* path, int* fd, std::string* message) {
  const std::string name = PortReportName(port, suffix);
  if (name.find('/') != std::string::npos) return Opened::kAbsent;
  *path = capture + "/" + name;
  return OpenCaptured(*path, kMaxCapturedBytes, fd, message);
}

// Builds the capture's index unless it is there.
bool EnsureIndex(const std::string& capture, const std::string& index, std::string* message) {
  bool exists = false;
  message->clear();
  if (ReplayIndexExists(capture, index, &exists, message)) return true;
  if (!message->empty()) return false;
  return LoadListing(capture, message) && WriteReplayIndex(capture, index, message);
}

// The captured port that a call names by its address (for targetmapping:
// the FC or FCoE port with that WWN), or null: found through the index
// when there is one, else in the listing.  False with a message when the
// capture or the index cannot be read.
bool FindPort(const std::string& capture, const std::string& index, std::string_view address,
              bool by_wwn_only, hba_info** port, std::string* message) {
  *port = nullptr;
  if (index.empty()) {
    if (!LoadListing(capture, message)) return false;
    *port = FindCapturedPort(address, by_wwn_only);
    return true;
  }
  IndexEntry entry;
  if (!EnsureIndex(capture, index, message) || !ReadIndexEntry(index, address, &entry, message))
    return false;
  if (!(by_wwn_only ? entry.wwn_found : entry.any_found)) return true;
  const IndexedPort& indexed = by_wwn_only ? entry.wwn : entry.any;
  *port = get_new_hba_info_entry();
  if (*port == nullptr) {
    *message = "hbacmd-sim: out of memory";
    return false;
  }
  (*port)->SerialNumber.assign_cut(indexed.serial);
  (*port)->PortFunction.assign_cut(indexed.function);
  (*port)->Model.assign_cut(indexed.model);
  return true;
}

}  // namespace

bool ReplayListHbas(const std::string& capture, const std::string& index, SimAnswer* answer,
                    std::string* message) {
  if (!index.empty() && !EnsureIndex(capture, index, message)) return false;
  const std::string path = ListingPath(capture);
  int fd = -1;
  if (!OpenListing(path, &fd, message)) return false;
  answer->text.clear();
  answer->status = 0;
  bool ok = ReadCaptured(fd, path, kMaxCapturedBytes, &answer->text, message);
  close(fd);
  return ok;
}

bool ReplayReport(const std::string& capture, const std::string& index, SimReport report,
                  std::string_view address, SimAnswer* answer, std::string* message) {
  const bool mapping = report == SimReport::kTargetMapping;
  hba_info* port = nullptr;
  if (!FindPort(capture, index, address, mapping, &port, message)) return false;
  if (port == nullptr) {
    Unknown(address, answer);
    return true;
  }
  std::string path;
  int fd = -1;
  switch (OpenPortReport(capture, port, mapping ? kTargetMappingFile : kHbaAttributesFile, &path,
                         &fd, message)) {
    case Opened::kAbsent:
      Unknown(address, answer);
      return true;
    case Opened::kBroken:
      return false;
    case Opened::kOpen:
      break;
  }
  answer->text.clear();
  answer->status = 0;
  bool ok = ReadCaptured(fd, path, kMaxCapturedBytes, &answer->text, message);
  close(fd);
  return ok;
}

bool ReplayDownload(const std::string& capture, const std::string& index,
                    std::string_view address, const std::string& image, SimAnswer* answer,
                    std::string* message) {
  hba_info* port = nullptr;
  if (!FindPort(capture, index, address, false, &port, message)) return false;
  if (port == nullptr) {
    Unknown(address, answer);
    return true;
  }
  long long image_size = 0;
  if (!ImageSize(image, &image_size, answer)) return true;
  // The firmware version, when the capture has the port's attributes.
  std::string_view firmware = "unknown";
  std::string path, ignored;
  int fd = -1;
  if (OpenPortReport(capture, port, kHbaAttributesFile, &path, &fd, &ignored) == Opened::kOpen) {
    if (FILE* file = fdopen(fd, "r")) {
      Quiet();
      if (ReadHbaAttributesReport(file, port) == 0 && port->Attributes != nullptr &&
          !port->Attributes->FWVersion.empty())
        firmware = port->Attributes->FWVersion.view();
      std::fclose(file);
    } else {
      close(fd);
    }
  }
  SimSite site;
  SimAdapter& adapter = site.adapters.emplace_back();
  adapter.serial = port->SerialNumber.view();
  adapter.model = port->Model.view();
  adapter.firmware = firmware;
  SimPort target;
  target.address = address;
  answer->text = DownloadReport(site, target, image, image_size, 0);
  answer->status = 0;
  return true;
}

bool ReplayIndex(const std::string& capture, const std::string& index, std::string* message) {
  return EnsureIndex(capture, index, message);
}
