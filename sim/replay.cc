#include "sim/replay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/base/settings.h"
#include "inventory/hba_info.h"
#include "inventory/hbacmd_runner.h"
#include "inventory/reports.h"
#include "sim/reports.h"
#include "sim/site.h"

namespace {

// Reports are a few kilobytes; a capture file beyond this is not one.
constexpr off_t kMaxCapturedBytes = 64 * 1024 * 1024;

enum class Opened { kOpen, kAbsent, kBroken };

std::string CannotRead(const std::string& path, const char* reason) {
  return "hbacmd-sim: cannot read capture file " + path + ": " + reason;
}

// Opens a file of the capture for reading: a regular file, not a symbolic
// link (a capture from another machine may hold anything), not too large.
Opened OpenCaptured(const std::string& path, int* fd, std::string* message) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  *fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (*fd < 0) {
    if (errno == ENOENT) return Opened::kAbsent;
    *message = CannotRead(path, errno == ELOOP ? "a symbolic link" : std::strerror(errno));
    return Opened::kBroken;
  }
  struct stat status;
  const char* reason = nullptr;
  if (fstat(*fd, &status) != 0) reason = std::strerror(errno);
  else if (!S_ISREG(status.st_mode)) reason = "not a regular file";
  else if (status.st_size > kMaxCapturedBytes) reason = "larger than 64 MiB";
  if (reason != nullptr) {
    *message = CannotRead(path, reason);
    close(*fd);
    *fd = -1;
    return Opened::kBroken;
  }
  return Opened::kOpen;
}

bool ReadAll(int fd, const std::string& path, std::string* text, std::string* message) {
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || text->size() + n > static_cast<size_t>(kMaxCapturedBytes)) {
      *message = CannotRead(path, n < 0 ? std::strerror(errno) : "larger than 64 MiB");
      return false;
    }
    text->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

std::string ListingPath(const std::string& capture) { return capture + "/local_hba_list.out"; }

// Opens the captured listing, which every call needs.
bool OpenListing(const std::string& path, int* fd, std::string* message) {
  Opened opened = OpenCaptured(path, fd, message);
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
  DebugLevel = 0;
  VerboseLevel = 0;
  PrintDebugOnScreen = 0;
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
  return OpenCaptured(*path, fd, message);
}

}  // namespace

bool ReplayListHbas(const std::string& capture, SimAnswer* answer, std::string* message) {
  const std::string path = ListingPath(capture);
  int fd = -1;
  if (!OpenListing(path, &fd, message)) return false;
  answer->text.clear();
  answer->status = 0;
  bool ok = ReadAll(fd, path, &answer->text, message);
  close(fd);
  return ok;
}

bool ReplayReport(const std::string& capture, SimReport report, std::string_view address,
                  SimAnswer* answer, std::string* message) {
  if (!LoadListing(capture, message)) return false;
  const bool mapping = report == SimReport::kTargetMapping;
  const hba_info* port = FindCapturedPort(address, mapping);
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
  bool ok = ReadAll(fd, path, &answer->text, message);
  close(fd);
  return ok;
}

bool ReplayDownload(const std::string& capture, std::string_view address,
                    const std::string& image, SimAnswer* answer, std::string* message) {
  if (!LoadListing(capture, message)) return false;
  hba_info* port = FindCapturedPort(address, false);
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
