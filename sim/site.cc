#include "sim/site.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr size_t kMaxLine = 65536;
constexpr size_t kMaxSiteBytes = 256u * 1024 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsControl(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string ControlError(unsigned char c) {
  char text[96];
  std::snprintf(text, sizeof text,
                "control character 0x%02x (write it as \\x%02x inside quotes)", c, c);
  return text;
}

// Reads a quoted word starting at line[*i] == '"'.  A word without escapes
// stays a view into the line; one with escapes is unescaped into store.
bool ReadQuoted(std::string_view line, size_t* i, std::string_view* word,
                std::deque<std::string>* store, std::string* error) {
  const size_t start = *i + 1;
  size_t p = start;
  std::string* unescaped = nullptr;
  while (p < line.size()) {
    char c = line[p];
    if (c == '"') {
      *word = unescaped ? std::string_view(*unescaped) : line.substr(start, p - start);
      *i = p + 1;
      if (*i < line.size() && !IsBlank(line[*i])) {
        *error = "text right after a closing quote";
        return false;
      }
      return true;
    }
    if (c != '\\') {
      if (unescaped) unescaped->push_back(c);
      ++p;
      continue;
    }
    if (!unescaped) {
      store->emplace_back(line.substr(start, p - start));
      unescaped = &store->back();
    }
    if (p + 1 >= line.size()) break;
    char e = line[p + 1];
    p += 2;
    switch (e) {
      case '\\': unescaped->push_back('\\'); break;
      case '"': unescaped->push_back('"'); break;
      case 'n': unescaped->push_back('\n'); break;
      case 'r': unescaped->push_back('\r'); break;
      case 't': unescaped->push_back('\t'); break;
      case 'x': {
        int hi = p < line.size() ? HexValue(line[p]) : -1;
        int lo = p + 1 < line.size() ? HexValue(line[p + 1]) : -1;
        if (hi < 0 || lo < 0) {
          *error = "\\x needs two hexadecimal digits";
          return false;
        }
        unescaped->push_back(static_cast<char>(hi * 16 + lo));
        p += 2;
        break;
      }
      default:
        *error = std::string("unknown escape \\") + e;
        return false;
    }
  }
  *error = "unterminated quote";
  return false;
}

bool ParseStatus(std::string_view text, int* status) {
  if (text.empty() || text.size() > 3) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > 255) return false;
  *status = value;
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

enum class Key {
  kHost, kListhbasStatus, kListhbasRaw, kAdapter,
  kModel, kModelDesc, kMfg, kPci, kFirmware, kBus, kDownloadStatus, kPort,
  kLun, kNodeWwn, kFabric, kCurrentMac, kFlags, kMode,
  kAttributesStatus, kMappingStatus, kAttributesRaw, kMappingRaw,
  kAttributesSignal, kMappingSignal,
};

enum class Scope { kGlobal, kAdapter, kPort, kAnywhere };

struct Keyword {
  std::string_view name;
  Key key;
  int values;
  Scope scope;
  bool repeatable;
  bool status;  // the value is a status from 0 to 255
};

constexpr Keyword kKeywords[] = {
    {"host", Key::kHost, 1, Scope::kGlobal, false, false},
    {"listhbas-status", Key::kListhbasStatus, 1, Scope::kGlobal, false, true},
    {"listhbas-raw", Key::kListhbasRaw, 1, Scope::kGlobal, false, false},
    {"adapter", Key::kAdapter, 1, Scope::kAnywhere, true, false},
    {"model", Key::kModel, 1, Scope::kAdapter, false, false},
    {"model-desc", Key::kModelDesc, 1, Scope::kAdapter, false, false},
    {"mfg", Key::kMfg, 1, Scope::kAdapter, false, false},
    {"pci", Key::kPci, 4, Scope::kAdapter, false, false},
    {"firmware", Key::kFirmware, 1, Scope::kAdapter, false, false},
    {"bus", Key::kBus, 1, Scope::kAdapter, false, false},
    {"download-status", Key::kDownloadStatus, 1, Scope::kAdapter, false, true},
    {"port", Key::kPort, 4, Scope::kAdapter, true, false},
    {"lun", Key::kLun, 3, Scope::kPort, true, false},
    {"node-wwn", Key::kNodeWwn, 1, Scope::kPort, false, false},
    {"fabric", Key::kFabric, 1, Scope::kPort, false, false},
    {"current-mac", Key::kCurrentMac, 1, Scope::kPort, false, false},
    {"flags", Key::kFlags, 1, Scope::kPort, false, false},
    {"mode", Key::kMode, 1, Scope::kPort, false, false},
    {"hbaattributes-status", Key::kAttributesStatus, 1, Scope::kPort, false, true},
    {"targetmapping-status", Key::kMappingStatus, 1, Scope::kPort, false, true},
    {"hbaattributes-raw", Key::kAttributesRaw, 1, Scope::kPort, false, false},
    {"targetmapping-raw", Key::kMappingRaw, 1, Scope::kPort, false, false},
    {"hbaattributes-signal", Key::kAttributesSignal, 1, Scope::kPort, false, true},
    {"targetmapping-signal", Key::kMappingSignal, 1, Scope::kPort, false, true},
};
constexpr int kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];
static_assert(kKeywordCount <= 32, "the seen-sets are 32-bit masks");

int FindKeyword(std::string_view word) {
  for (int k = 0; k < kKeywordCount; ++k)
    if (word == kKeywords[k].name) return k;
  return -1;
}

// Ends an adapter's section: it must have said what it is.
bool CloseAdapter(const SimAdapter& adapter, int* error_line, std::string* error) {
  const char* missing = !adapter.has_model ? "model" : !adapter.has_pci ? "pci" : nullptr;
  if (!missing) return true;
  *error_line = adapter.line;
  *error = "adapter " + std::string(adapter.serial) + " has no " + missing + " line";
  return false;
}

// Finds the first port, in site order, whose non-empty address an earlier
// port already has.  Sorts the list.
bool CheckAddresses(std::vector<std::pair<std::string_view, int>>* addresses, int* error_line,
                    std::string* error) {
  std::sort(addresses->begin(), addresses->end());
  const std::pair<std::string_view, int>* first = nullptr;
  for (size_t i = 1; i < addresses->size(); ++i) {
    const auto& here = (*addresses)[i];
    if (here.first == (*addresses)[i - 1].first && (!first || here.second < first->second))
      first = &here;
  }
  if (!first) return true;
  *error_line = first->second;
  *error = "address " + std::string(first->first) + " is used by an earlier port";
  return false;
}

}  // namespace

bool AddressedByWwn(std::string_view type) {
  return type.substr(0, 4) == "FCoE" || type == "FC";
}

bool SplitSiteLine(std::string_view line, std::vector<std::string_view>* words,
                   std::deque<std::string>* store, std::string* error) {
  words->clear();
  for (unsigned char c : line) {
    if (IsControl(c)) {
      *error = ControlError(c);
      return false;
    }
  }
  size_t i = 0;
  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) return true;
    words->emplace_back();
    if (line[i] == '"') {
      if (!ReadQuoted(line, &i, &words->back(), store, error)) return false;
      continue;
    }
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) {
      if (line[i] == '"') {
        *error = "a quote inside an unquoted value (quote the whole value)";
        return false;
      }
      ++i;
    }
    words->back() = line.substr(start, i - start);
  }
}

bool ParseSite(std::string_view text, const std::string& path, SimSite* site, int* error_line,
               std::string* error, std::optional<std::string_view> only_address) {
  site->path = path;
  site->text = text;
  site->store.clear();
  site->adapters.clear();
  site->ports.clear();
  const std::string directory = DirectoryOf(path);
  const std::string_view all = site->text;
  std::vector<std::string_view> words;
  unsigned global_seen = 0, adapter_seen = 0, port_seen = 0;
  int lun_count = 0, port_count = 0;
  bool in_adapter = false;
  SimPort* port = nullptr;  // the current port
  int line_number = 0;

  auto fail = [&](const std::string& reason) {
    *error_line = line_number;
    *error = reason;
    return false;
  };
  // A raw report file: its path, relative ones from the site's directory,
  // and the line that names it.
  auto set_raw = [&](std::string_view name, std::string_view* raw, int* raw_line) {
    if (!name.empty() && name[0] == '/') {
      *raw = name;
    } else {
      site->store.push_back(directory + "/" + std::string(name));
      *raw = site->store.back();
    }
    *raw_line = line_number;
  };

  // Ports are many in a large site: make room for their addresses once.
  size_t ports = 0;
  for (size_t at = all.find("port "); at != std::string_view::npos; at = all.find("port ", at + 5))
    ++ports;
  size_t adapters = 0;
  for (size_t at = all.find("adapter "); at != std::string_view::npos;
       at = all.find("adapter ", at + 8))
    ++adapters;
  site->adapters.reserve(adapters);
  std::vector<std::pair<std::string_view, int>> addresses;
  addresses.reserve(ports);
  if (!only_address) site->ports.reserve(ports);
  SimPort dropped;  // receives the lines of ports that are not kept

  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find('\n', pos);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(pos, end - pos);
    pos = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxLine) return fail("line longer than 65536 characters");

    size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    if (first == line.size() || line[first] == '#') continue;

    std::string reason;
    if (!SplitSiteLine(line, &words, &site->store, &reason)) return fail(reason);

    int k = FindKeyword(words[0]);
    if (k < 0) return fail("unknown keyword '" + std::string(words[0]) + "'");
    const Keyword& keyword = kKeywords[k];
    const std::string_view name = keyword.name;
    if (static_cast<int>(words.size()) - 1 != keyword.values) {
      return fail(std::string(name) + " takes " + std::to_string(keyword.values) +
                  (keyword.values == 1 ? " value" : " values") + ", found " +
                  std::to_string(words.size() - 1));
    }
    // Where the keyword may stand: whether this line is there, the set of
    // the keywords seen there, and the refusals when it is elsewhere or
    // comes again.  A global keyword comes once.
    struct Place {
      bool inside;
      unsigned* seen;
      const char* outside;
      const char* twice;
    };
    Place place = {true, nullptr, "", ""};
    switch (keyword.scope) {
      case Scope::kAnywhere:
        break;
      case Scope::kGlobal:
        place = {!in_adapter, &global_seen, " must come before the first adapter", " given twice"};
        break;
      case Scope::kAdapter:
        place = {in_adapter, &adapter_seen, " outside an adapter", " given twice for this adapter"};
        break;
      case Scope::kPort:
        place = {port != nullptr, &port_seen, " outside a port", " given twice for this port"};
        break;
    }
    if (place.seen != nullptr) {
      const unsigned bit = 1u << k;
      bool once = keyword.scope == Scope::kGlobal || !keyword.repeatable;
      if (!place.inside) return fail(std::string(name) + place.outside);
      if (once && (*place.seen & bit)) return fail(std::string(name) + place.twice);
      *place.seen |= bit;
    }

    const std::string_view value = words[1];
    int status = 0;
    if (keyword.status && !ParseStatus(value, &status))
      return fail(std::string(name) + " needs a number from 0 to 255, found '" + std::string(value) + "'");
    SimAdapter* adapter = in_adapter ? &site->adapters.back() : nullptr;

    switch (keyword.key) {
      case Key::kHost: site->host = value; break;
      case Key::kListhbasStatus: site->listhbas_status = status; break;
      case Key::kListhbasRaw: set_raw(value, &site->listhbas_raw, &site->listhbas_raw_line); break;
      case Key::kAdapter:
        if (in_adapter && !CloseAdapter(*adapter, error_line, error)) return false;
        site->adapters.emplace_back();
        site->adapters.back().serial = value;
        site->adapters.back().line = line_number;
        in_adapter = true;
        port = nullptr;
        adapter_seen = 0;
        break;
      case Key::kModel:
        adapter->model = value;
        adapter->has_model = true;
        break;
      case Key::kModelDesc: adapter->model_desc = value; break;
      case Key::kMfg: adapter->mfg = value; break;
      case Key::kPci:
        adapter->vendor_id = words[1];
        adapter->device_id = words[2];
        adapter->sub_vendor_id = words[3];
        adapter->sub_device_id = words[4];
        adapter->has_pci = true;
        break;
      case Key::kFirmware: adapter->firmware = value; break;
      case Key::kBus: adapter->bus = value; break;
      case Key::kDownloadStatus: adapter->download_status = status; break;
      case Key::kPort: {
        if (!words[4].empty()) addresses.emplace_back(words[4], line_number);
        if (!only_address || *only_address == words[4]) {
          port = &site->ports.emplace_back();
        } else {
          dropped = SimPort();
          port = &dropped;
        }
        port->type = words[1];
        port->number = words[2];
        port->function = words[3];
        port->address = words[4];
        port->adapter = site->adapters.size() - 1;
        port->index = port_count++;
        port->line = line_number;
        port_seen = 0;
        break;
      }
      case Key::kLun:
        port->luns.push_back(SimLun{words[1], words[2], words[3], lun_count++});
        break;
      case Key::kNodeWwn: port->node_wwn = value; break;
      case Key::kFabric: port->fabric = value; break;
      case Key::kCurrentMac: port->current_mac = value; break;
      case Key::kFlags: port->flags = value; break;
      case Key::kMode: port->mode = value; break;
      case Key::kAttributesStatus: port->attributes_status = status; break;
      case Key::kMappingStatus: port->mapping_status = status; break;
      case Key::kAttributesRaw:
        set_raw(value, &port->attributes_raw, &port->attributes_raw_line);
        break;
      case Key::kAttributesSignal:
      case Key::kMappingSignal:
        if (status < 1 || status > 64)
          return fail(std::string(name) + " needs a signal number from 1 to 64, found '" +
                      std::string(value) + "'");
        (keyword.key == Key::kAttributesSignal ? port->attributes_signal : port->mapping_signal) =
            status;
        break;
      case Key::kMappingRaw: set_raw(value, &port->mapping_raw, &port->mapping_raw_line); break;
    }
  }
  if (!site->adapters.empty() && !CloseAdapter(site->adapters.back(), error_line, error))
    return false;
  return CheckAddresses(&addresses, error_line, error);
}

SimSite::~SimSite() {
  if (mapping) munmap(mapping, mapping_size);
}

bool LoadSite(const std::string& path, SimSite* site, std::string* message,
              std::optional<std::string_view> only_address) {
  const std::string cannot = "hbacmd-sim: cannot read site " + path + ": ";
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *message = cannot + std::strerror(errno);
    return false;
  }
  struct stat status;
  if (fstat(fd, &status) != 0) {
    *message = cannot + std::strerror(errno);
    close(fd);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *message = cannot + "not a regular file";
    close(fd);
    return false;
  }
  if (static_cast<unsigned long long>(status.st_size) > kMaxSiteBytes) {
    *message = "hbacmd-sim: site " + path + " is larger than 256 MiB";
    close(fd);
    return false;
  }
  // Mapped, not read: a large site is read by every call.
  std::string_view text;
  if (status.st_size > 0) {
    size_t size = static_cast<size_t>(status.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (mapped == MAP_FAILED) {
      *message = cannot + std::strerror(errno);
      close(fd);
      return false;
    }
    site->mapping = mapped;
    site->mapping_size = size;
    text = std::string_view(static_cast<const char*>(mapped), size);
  }
  close(fd);
  int line = 0;
  std::string reason;
  if (!ParseSite(text, path, site, &line, &reason, only_address)) {
    *message = "hbacmd-sim: site " + path;
    if (line > 0) *message += " line " + std::to_string(line);
    *message += ": " + reason;
    return false;
  }
  return true;
}

const SimPort* FindPort(const SimSite& site, std::string_view address) {
  if (address.empty()) return nullptr;
  for (const SimPort& port : site.ports)
    if (port.address == address) return &port;
  return nullptr;
}
