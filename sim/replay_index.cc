#include "sim/replay_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "inventory/hba_info.h"
#include "sim/capture_file.h"

namespace {

constexpr char kStampName[] = "CAPTURE";
// An entry holds two lines of three short fields.
constexpr off_t kMaxEntryBytes = 4096;

std::string IndexProblem(const std::string& index, const std::string& reason) {
  return "hbacmd-sim: replay index " + index + ": " + reason;
}

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string HexName(std::string_view address) {
  static const char kDigits[] = "0123456789abcdef";
  std::string name;
  for (unsigned char c : address) {
    name += kDigits[c >> 4];
    name += kDigits[c & 15];
  }
  return name;
}

std::string EntryLine(char kind, const hba_info* port) {
  return std::string(1, kind) + "\t" + std::string(port->SerialNumber.view()) + "\t" +
         std::string(port->PortFunction.view()) + "\t" + std::string(port->Model.view()) + "\n";
}

// The listing's values are cleaned of tabs and line ends; a field that
// still held one would make the entry ambiguous.
bool Writable(const hba_info* port) {
  for (std::string_view field :
       {port->SerialNumber.view(), port->PortFunction.view(), port->Model.view()})
    if (field.find_first_of("\t\n") != std::string_view::npos) return false;
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Adds the port to its address's entry: creates the entry for the first
// port with the address; a later FC or FCoE port adds the W line when the
// entry has none.
bool AddPort(int dir, const hba_info* port, std::string* reason) {
  const std::string_view address = PortAddress(port);
  if (address.empty() || address.size() > kMaxIndexedAddress) return true;
  if (!Writable(port)) {
    *reason = "a listing value holds a tab or a line end";
    return false;
  }
  const bool wwn = IsAddressedByWWN(port);
  const std::string name = HexName(address);
  int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    std::string text = EntryLine('A', port);
    if (wwn) text += EntryLine('W', port);
    bool ok = WriteAll(fd, text);
    if (close(fd) != 0) ok = false;
    if (!ok) *reason = Errno("cannot write an entry");
    return ok;
  }
  if (errno != EEXIST) {
    *reason = Errno("cannot create an entry");
    return false;
  }
  if (!wwn) return true;
  fd = openat(dir, name.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  char text[kMaxEntryBytes];
  ssize_t n = fd < 0 ? -1 : pread(fd, text, sizeof text, 0);
  bool ok = n >= 0;
  if (ok && std::string_view(text, static_cast<std::size_t>(n)).find("\nW\t") ==
                std::string_view::npos)
    ok = WriteAll(fd, EntryLine('W', port));
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok) *reason = Errno("cannot complete an entry");
  return ok;
}

// Removes a directory of plain files that this process made.
void RemoveFlat(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    while (const dirent* item = readdir(dir))
      if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0)
        unlinkat(dirfd(dir), item->d_name, 0);
    closedir(dir);
  }
  rmdir(path.c_str());
}

bool ParseLine(std::string_view line, IndexEntry* entry) {
  if (line.size() < 2 || line[1] != '\t' || (line[0] != 'A' && line[0] != 'W')) return false;
  std::string_view rest = line.substr(2);
  std::string_view fields[3];
  for (int i = 0; i < 3; ++i) {
    std::size_t tab = rest.find('\t');
    if ((i < 2) == (tab == std::string_view::npos)) return false;
    fields[i] = rest.substr(0, tab);
    if (i < 2) rest.remove_prefix(tab + 1);
  }
  bool& found = line[0] == 'A' ? entry->any_found : entry->wwn_found;
  IndexedPort& port = line[0] == 'A' ? entry->any : entry->wwn;
  if (found) return false;
  found = true;
  port = {std::string(fields[0]), std::string(fields[1]), std::string(fields[2])};
  return true;
}

}  // namespace

bool ReplayIndexExists(const std::string& capture, const std::string& index, bool* exists,
                       std::string* message) {
  *exists = false;
  struct stat status;
  if (lstat(index.c_str(), &status) != 0) {
    if (errno == ENOENT) return false;
    *message = IndexProblem(index, std::strerror(errno));
    return false;
  }
  if (!S_ISDIR(status.st_mode)) {
    *message = IndexProblem(index, "not a directory");
    return false;
  }
  const std::string stamp_path = index + "/" + kStampName;
  int fd = -1;
  std::string stamp;
  if (OpenCaptured(stamp_path, kMaxEntryBytes, &fd, message) != Opened::kOpen) {
    *message = IndexProblem(index, "not an index (no " + std::string(kStampName) + ")");
    return false;
  }
  bool read = ReadCaptured(fd, stamp_path, kMaxEntryBytes, &stamp, message);
  close(fd);
  if (!read) return false;
  if (stamp != capture + "\n") {
    *message = IndexProblem(index, "made for another capture");
    return false;
  }
  *exists = true;
  return true;
}

bool WriteReplayIndex(const std::string& capture, const std::string& index,
                      std::string* message) {
  std::vector<char> pattern(index.begin(), index.end());
  const char suffix[] = ".XXXXXX";
  pattern.insert(pattern.end(), suffix, suffix + sizeof suffix);
  if (mkdtemp(pattern.data()) == nullptr) {
    *message = IndexProblem(index, Errno("cannot create it"));
    return false;
  }
  const std::string building = pattern.data();
  int dir = open(building.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  std::string reason;
  if (dir < 0) reason = Errno("cannot open it");
  for (hba_info** slot = p_hba_info_list; dir >= 0 && slot != nullptr && *slot != nullptr;
       ++slot)
    if (!AddPort(dir, *slot, &reason)) break;
  if (reason.empty()) {
    int fd = openat(dir, kStampName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && WriteAll(fd, capture + "\n");
    if (fd >= 0 && close(fd) != 0) ok = false;
    if (!ok) reason = Errno("cannot write " + std::string(kStampName));
  }
  if (dir >= 0) close(dir);
  if (reason.empty() && rename(building.c_str(), index.c_str()) != 0)
    reason = Errno("cannot put it in place");
  if (reason.empty()) return true;
  RemoveFlat(building);
  *message = IndexProblem(index, reason);
  return false;
}

bool ReadIndexEntry(const std::string& index, std::string_view address, IndexEntry* entry,
                    std::string* message) {
  *entry = IndexEntry();
  if (address.empty() || address.size() > kMaxIndexedAddress) return true;
  const std::string path = index + "/" + HexName(address);
  int fd = -1;
  switch (OpenCaptured(path, kMaxEntryBytes, &fd, message)) {
    case Opened::kAbsent:
      return true;
    case Opened::kBroken:
      return false;
    case Opened::kOpen:
      break;
  }
  std::string text;
  bool read = ReadCaptured(fd, path, kMaxEntryBytes, &text, message);
  close(fd);
  if (!read) return false;
  std::string_view rest = text;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    if (end == std::string_view::npos || !ParseLine(rest.substr(0, end), entry)) {
      *message = IndexProblem(index, "malformed entry " + path);
      return false;
    }
    rest.remove_prefix(end + 1);
  }
  if (!entry->any_found) {
    *message = IndexProblem(index, "malformed entry " + path);
    return false;
  }
  return true;
}
