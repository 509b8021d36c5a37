#include "sim/replay_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "inventory/hba_info.h"
#include "sim/capture_file.h"

namespace {

constexpr char kStampName[] = "CAPTURE";
constexpr char kTableName[] = "table";
constexpr char kEntriesName[] = "entries";
constexpr char kMagic[8] = {'F', 'C', 'G', 'I', 'D', 'X', '1', '\0'};
// An entry: its address in hexadecimal and two lines of three short fields.
constexpr std::size_t kMaxEntryBytes = 1024;
// The stamp holds a path.
constexpr off_t kMaxStampBytes = 8192;
// The index is never read whole: only a slot and an entry per call.
constexpr off_t kMaxIndexFileBytes = off_t{1} << 40;

// One slot of the table: where the entry of an address lies in the
// entries file (offset + 1; 0 for an empty slot) and a check on its hash.
struct Slot {
  std::uint64_t offset_plus_one;
  std::uint32_t length;
  std::uint32_t check;
};
static_assert(sizeof(Slot) == 16);

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

// FNV-1a, 64 bits.
std::uint64_t Hash(std::string_view address) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : address) hash = (hash ^ c) * 1099511628211ull;
  return hash;
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

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteFile(int dir, const char* name, const void* data, std::size_t size,
               std::string* reason) {
  int fd = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool ok = fd >= 0 && WriteAll(fd, data, size);
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok) *reason = Errno(std::string("cannot write ") + name);
  return ok;
}

bool ReadAt(int fd, void* data, std::size_t size, off_t offset) {
  char* bytes = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = pread(fd, bytes + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The entries of the listing's addresses, in order of first appearance:
// the first port with the address gives the A line, the first FC or FCoE
// port with it as its WWN the W line.
struct Entries {
  std::vector<std::string> addresses;
  std::vector<std::string> texts;  // "<hex>\nA...\n[W...\n]"
  std::vector<bool> has_wwn;
  std::unordered_map<std::string, std::size_t> by_address;
};

bool AddPort(const hba_info* port, Entries* entries, std::string* reason) {
  const std::string_view address = PortAddress(port);
  if (address.empty() || address.size() > kMaxIndexedAddress) return true;
  if (!Writable(port)) {
    *reason = "a listing value holds a tab or a line end";
    return false;
  }
  const bool wwn = IsAddressedByWWN(port);
  auto [found, added] = entries->by_address.try_emplace(std::string(address), entries->texts.size());
  if (added) {
    entries->addresses.emplace_back(address);
    entries->texts.push_back(HexName(address) + "\n" + EntryLine('A', port));
    entries->has_wwn.push_back(false);
  }
  const std::size_t at = found->second;
  if (wwn && !entries->has_wwn[at]) {
    entries->texts[at] += EntryLine('W', port);
    entries->has_wwn[at] = true;
  }
  return true;
}

// Writes the entries file and the table: a header (the magic and the
// number of slots, twice the number of entries) and the slots, open
// addressing with linear probing.
bool WriteTable(int dir, const Entries& entries, std::string* reason) {
  const std::uint64_t slots = std::max<std::uint64_t>(8, 2 * entries.texts.size());
  std::vector<Slot> table(slots, Slot{0, 0, 0});
  std::string all;
  for (std::size_t at = 0; at < entries.texts.size(); ++at) {
    const std::string& text = entries.texts[at];
    const std::uint64_t hash = Hash(entries.addresses[at]);
    std::uint64_t i = hash % slots;
    while (table[i].offset_plus_one != 0) i = (i + 1) % slots;
    table[i] = Slot{all.size() + 1, static_cast<std::uint32_t>(text.size()),
                    static_cast<std::uint32_t>(hash >> 32)};
    all += text;
  }
  std::string header(kMagic, sizeof kMagic);
  header.append(reinterpret_cast<const char*>(&slots), sizeof slots);
  header.append(reinterpret_cast<const char*>(table.data()), table.size() * sizeof(Slot));
  return WriteFile(dir, kEntriesName, all.data(), all.size(), reason) &&
         WriteFile(dir, kTableName, header.data(), header.size(), reason);
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

// Parses an entry's lines after its address line.
bool ParseEntry(std::string_view rest, IndexEntry* entry) {
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    if (end == std::string_view::npos || !ParseLine(rest.substr(0, end), entry)) return false;
    rest.remove_prefix(end + 1);
  }
  return entry->any_found;
}

// Opens one file of the index as a capture file is opened.
bool OpenIndexFile(const std::string& index, const char* name, int* fd, off_t* size,
                   std::string* message) {
  const std::string path = index + "/" + name;
  if (OpenCaptured(path, kMaxIndexFileBytes, fd, message) != Opened::kOpen) {
    *message = IndexProblem(index, "cannot read " + std::string(name) +
                                       (message->empty() ? "" : " (" + *message + ")"));
    return false;
  }
  struct stat status;
  if (fstat(*fd, &status) != 0) {
    *message = IndexProblem(index, Errno("cannot read " + std::string(name)));
    close(*fd);
    return false;
  }
  *size = status.st_size;
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
  if (OpenCaptured(stamp_path, kMaxStampBytes, &fd, message) != Opened::kOpen) {
    *message = IndexProblem(index, "not an index (no " + std::string(kStampName) + ")");
    return false;
  }
  bool read = ReadCaptured(fd, stamp_path, kMaxStampBytes, &stamp, message);
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
  Entries entries;
  std::string reason;
  for (hba_info** slot = p_hba_info_list; slot != nullptr && *slot != nullptr; ++slot)
    if (!AddPort(*slot, &entries, &reason)) {
      *message = IndexProblem(index, reason);
      return false;
    }
  std::vector<char> pattern(index.begin(), index.end());
  const char suffix[] = ".XXXXXX";
  pattern.insert(pattern.end(), suffix, suffix + sizeof suffix);
  if (mkdtemp(pattern.data()) == nullptr) {
    *message = IndexProblem(index, Errno("cannot create it"));
    return false;
  }
  const std::string building = pattern.data();
  int dir = open(building.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) reason = Errno("cannot open it");
  const std::string stamp = capture + "\n";
  if (dir >= 0 && WriteTable(dir, entries, &reason))
    WriteFile(dir, kStampName, stamp.data(), stamp.size(), &reason);
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
  int table = -1, texts = -1;
  off_t table_size = 0, texts_size = 0;
  if (!OpenIndexFile(index, kTableName, &table, &table_size, message)) return false;
  if (!OpenIndexFile(index, kEntriesName, &texts, &texts_size, message)) {
    close(table);
    return false;
  }
  std::string problem;
  char magic[sizeof kMagic];
  std::uint64_t slots = 0;
  const off_t header = sizeof magic + sizeof slots;
  if (!ReadAt(table, magic, sizeof magic, 0) || std::memcmp(magic, kMagic, sizeof magic) != 0 ||
      !ReadAt(table, &slots, sizeof slots, sizeof magic) || slots == 0 ||
      slots > static_cast<std::uint64_t>(table_size) / sizeof(Slot) ||
      static_cast<std::uint64_t>(table_size - header) != slots * sizeof(Slot))
    problem = "malformed table";
  const std::uint64_t hash = Hash(address);
  const std::string name = HexName(address) + "\n";
  // Linear probing from the address's slot, at most once round the table.
  for (std::uint64_t i = hash % (slots ? slots : 1), probes = 0; problem.empty() && probes < slots;
       i = (i + 1) % slots, ++probes) {
    Slot slot;
    if (!ReadAt(table, &slot, sizeof slot, header + static_cast<off_t>(i * sizeof(Slot)))) {
      problem = "malformed table";
      break;
    }
    if (slot.offset_plus_one == 0) break;  // not in the listing
    if (slot.check != static_cast<std::uint32_t>(hash >> 32)) continue;
    const std::uint64_t offset = slot.offset_plus_one - 1;
    if (slot.length > kMaxEntryBytes || slot.length < name.size() ||
        offset > static_cast<std::uint64_t>(texts_size) ||
        slot.length > static_cast<std::uint64_t>(texts_size) - offset) {
      problem = "malformed table";
      break;
    }
    char text[kMaxEntryBytes];
    if (!ReadAt(texts, text, slot.length, static_cast<off_t>(offset))) {
      problem = "malformed entries";
      break;
    }
    const std::string_view got(text, slot.length);
    if (!got.starts_with(name)) continue;
    if (!ParseEntry(got.substr(name.size()), entry)) problem = "malformed entries";
    break;
  }
  close(table);
  close(texts);
  if (problem.empty()) return true;
  *entry = IndexEntry();
  *message = IndexProblem(index, problem);
  return false;
}
