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

// The parse in progress: the site, where the line stands (global part,
// adapter, port), the keywords seen in each part, and the first failure.
struct SiteParser {
  SimSite* site = nullptr;
  std::string directory;  // of the site file, for relative raw names
  std::optional<std::string_view> only_address;
  int* error_line = nullptr;
  std::string* error = nullptr;
  int line_number = 0;
  int lun_count = 0;
  int port_count = 0;
  bool in_adapter = false;
  SimPort* port = nullptr;  // the current port
  SimPort dropped;          // receives the lines of ports that are not kept
  unsigned global_seen = 0, adapter_seen = 0, port_seen = 0;
  std::vector<std::pair<std::string_view, int>> addresses;  // with their lines

  SimAdapter* adapter() { return &site->adapters.back(); }
  bool Fail(const std::string& reason) {
    *error_line = line_number;
    *error = reason;
    return false;
  }
};

// A line's words (the keyword first) and, for a keyword whose value is a
// status, that status.
struct SiteLine {
  const std::vector<std::string_view>& words;
  int status;
  std::string_view value() const { return words[1]; }
};

// Takes in one line of its keyword; false after parser.Fail.
using Handler = bool (*)(SiteParser& parser, const SiteLine& line);

// Ends an adapter's section: it must have said what it is.
bool CloseAdapter(const SimAdapter& adapter, int* error_line, std::string* error) {
  const char* missing = !adapter.has_model ? "model" : !adapter.has_pci ? "pci" : nullptr;
  if (!missing) return true;
  *error_line = adapter.line;
  *error = "adapter " + std::string(adapter.serial) + " has no " + missing + " line";
  return false;
}

bool OpenAdapter(SiteParser& parser, const SiteLine& line) {
  SimSite* site = parser.site;
  if (parser.in_adapter && !CloseAdapter(*parser.adapter(), parser.error_line, parser.error))
    return false;
  site->adapters.emplace_back();
  site->adapters.back().serial = line.value();
  site->adapters.back().line = parser.line_number;
  parser.in_adapter = true;
  parser.port = nullptr;
  parser.adapter_seen = 0;
  return true;
}

bool OpenPort(SiteParser& parser, const SiteLine& line) {
  const std::string_view address = line.words[4];
  if (!address.empty()) parser.addresses.emplace_back(address, parser.line_number);
  if (!parser.only_address || *parser.only_address == address) {
    parser.port = &parser.site->ports.emplace_back();
  } else {
    parser.dropped = SimPort();
    parser.port = &parser.dropped;
  }
  SimPort* port = parser.port;
  port->type = line.words[1];
  port->number = line.words[2];
  port->function = line.words[3];
  port->address = address;
  port->adapter = parser.site->adapters.size() - 1;
  port->index = parser.port_count++;
  port->line = parser.line_number;
  parser.port_seen = 0;
  return true;
}

bool SetHost(SiteParser& parser, const SiteLine& line) {
  parser.site->host = line.value();
  return true;
}

bool SetModel(SiteParser& parser, const SiteLine& line) {
  parser.adapter()->model = line.value();
  parser.adapter()->has_model = true;
  return true;
}

bool SetPci(SiteParser& parser, const SiteLine& line) {
  SimAdapter* adapter = parser.adapter();
  adapter->vendor_id = line.words[1];
  adapter->device_id = line.words[2];
  adapter->sub_vendor_id = line.words[3];
  adapter->sub_device_id = line.words[4];
  adapter->has_pci = true;
  return true;
}

bool SetDownloadStatus(SiteParser& parser, const SiteLine& line) {
  parser.adapter()->download_status = line.status;
  return true;
}

bool AddLun(SiteParser& parser, const SiteLine& line) {
  parser.port->luns.push_back(
      SimLun{line.words[1], line.words[2], line.words[3], parser.lun_count++});
  return true;
}

template <std::string_view SimAdapter::*field>
bool SetAdapterText(SiteParser& parser, const SiteLine& line) {
  parser.adapter()->*field = line.value();
  return true;
}

template <std::optional<std::string_view> SimPort::*field>
bool SetPortText(SiteParser& parser, const SiteLine& line) {
  parser.port->*field = line.value();
  return true;
}

// A raw report file: its path, relative ones from the site's directory,
// and the line that names it.
void SetRaw(SiteParser& parser, std::string_view name, SimOverride* given) {
  if (!name.empty() && name[0] == '/') {
    given->raw = name;
  } else {
    parser.site->store.push_back(parser.directory + "/" + std::string(name));
    given->raw = parser.site->store.back();
  }
  given->raw_line = parser.line_number;
}

bool SetListHbasStatus(SiteParser& parser, const SiteLine& line) {
  parser.site->listhbas.status = line.status;
  return true;
}

bool SetListHbasRaw(SiteParser& parser, const SiteLine& line) {
  SetRaw(parser, line.value(), &parser.site->listhbas);
  return true;
}

template <SimOverride SimPort::*report>
bool SetPortStatus(SiteParser& parser, const SiteLine& line) {
  (parser.port->*report).status = line.status;
  return true;
}

template <SimOverride SimPort::*report>
bool SetPortRaw(SiteParser& parser, const SiteLine& line) {
  SetRaw(parser, line.value(), &(parser.port->*report));
  return true;
}

template <SimOverride SimPort::*report>
bool SetPortSignal(SiteParser& parser, const SiteLine& line) {
  if (line.status < 1 || line.status > 64)
    return parser.Fail(std::string(line.words[0]) + " needs a signal number from 1 to 64, found '" +
                       std::string(line.value()) + "'");
  (parser.port->*report).signal = line.status;
  return true;
}

enum class Scope { kGlobal, kAdapter, kPort, kAnywhere };

struct Keyword {
  std::string_view name;
  int values;
  Scope scope;
  bool repeatable;
  bool status;  // the value is a status from 0 to 255
  Handler handle;
};

constexpr Keyword kKeywords[] = {
    {"host", 1, Scope::kGlobal, false, false, SetHost},
    {"listhbas-status", 1, Scope::kGlobal, false, true, SetListHbasStatus},
    {"listhbas-raw", 1, Scope::kGlobal, false, false, SetListHbasRaw},
    {"adapter", 1, Scope::kAnywhere, true, false, OpenAdapter},
    {"model", 1, Scope::kAdapter, false, false, SetModel},
    {"model-desc", 1, Scope::kAdapter, false, false, SetAdapterText<&SimAdapter::model_desc>},
    {"mfg", 1, Scope::kAdapter, false, false, SetAdapterText<&SimAdapter::mfg>},
    {"pci", 4, Scope::kAdapter, false, false, SetPci},
    {"firmware", 1, Scope::kAdapter, false, false, SetAdapterText<&SimAdapter::firmware>},
    {"bus", 1, Scope::kAdapter, false, false, SetAdapterText<&SimAdapter::bus>},
    {"download-status", 1, Scope::kAdapter, false, true, SetDownloadStatus},
    {"port", 4, Scope::kAdapter, true, false, OpenPort},
    {"lun", 3, Scope::kPort, true, false, AddLun},
    {"node-wwn", 1, Scope::kPort, false, false, SetPortText<&SimPort::node_wwn>},
    {"fabric", 1, Scope::kPort, false, false, SetPortText<&SimPort::fabric>},
    {"current-mac", 1, Scope::kPort, false, false, SetPortText<&SimPort::current_mac>},
    {"flags", 1, Scope::kPort, false, false, SetPortText<&SimPort::flags>},
    {"mode", 1, Scope::kPort, false, false, SetPortText<&SimPort::mode>},
    {"hbaattributes-status", 1, Scope::kPort, false, true, SetPortStatus<&SimPort::attributes>},
    {"targetmapping-status", 1, Scope::kPort, false, true, SetPortStatus<&SimPort::mapping>},
    {"hbaattributes-raw", 1, Scope::kPort, false, false, SetPortRaw<&SimPort::attributes>},
    {"targetmapping-raw", 1, Scope::kPort, false, false, SetPortRaw<&SimPort::mapping>},
    {"hbaattributes-signal", 1, Scope::kPort, false, true, SetPortSignal<&SimPort::attributes>},
    {"targetmapping-signal", 1, Scope::kPort, false, true, SetPortSignal<&SimPort::mapping>},
};
constexpr int kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];
static_assert(kKeywordCount <= 32, "the seen-sets are 32-bit masks");

int FindKeyword(std::string_view word) {
  for (int k = 0; k < kKeywordCount; ++k)
    if (word == kKeywords[k].name) return k;
  return -1;
}

// Where the keyword may stand: whether the line is there, the set of the
// keywords seen there, and the refusals when it is elsewhere or comes
// again.  A global keyword comes once.
bool CheckPlace(SiteParser& parser, int k) {
  const Keyword& keyword = kKeywords[k];
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
      place = {!parser.in_adapter, &parser.global_seen, " must come before the first adapter",
               " given twice"};
      break;
    case Scope::kAdapter:
      place = {parser.in_adapter, &parser.adapter_seen, " outside an adapter",
               " given twice for this adapter"};
      break;
    case Scope::kPort:
      place = {parser.port != nullptr, &parser.port_seen, " outside a port",
               " given twice for this port"};
      break;
  }
  if (place.seen == nullptr) return true;
  const unsigned bit = 1u << k;
  bool once = keyword.scope == Scope::kGlobal || !keyword.repeatable;
  if (!place.inside) return parser.Fail(std::string(keyword.name) + place.outside);
  if (once && (*place.seen & bit)) return parser.Fail(std::string(keyword.name) + place.twice);
  *place.seen |= bit;
  return true;
}

// One line that is neither blank nor a comment.
bool ParseLine(SiteParser& parser, std::string_view line, std::vector<std::string_view>* words) {
  std::string reason;
  if (!SplitSiteLine(line, words, &parser.site->store, &reason)) return parser.Fail(reason);
  int k = FindKeyword((*words)[0]);
  if (k < 0) return parser.Fail("unknown keyword '" + std::string((*words)[0]) + "'");
  const Keyword& keyword = kKeywords[k];
  const std::string_view name = keyword.name;
  if (static_cast<int>(words->size()) - 1 != keyword.values) {
    return parser.Fail(std::string(name) + " takes " + std::to_string(keyword.values) +
                       (keyword.values == 1 ? " value" : " values") + ", found " +
                       std::to_string(words->size() - 1));
  }
  if (!CheckPlace(parser, k)) return false;
  const std::string_view value = (*words)[1];
  int status = 0;
  if (keyword.status && !ParseStatus(value, &status))
    return parser.Fail(std::string(name) + " needs a number from 0 to 255, found '" +
                       std::string(value) + "'");
  return keyword.handle(parser, SiteLine{*words, status});
}

// How often the text holds the word: room for the adapters and ports of
// a large site is made once.
size_t CountWord(std::string_view text, std::string_view word) {
  size_t count = 0;
  for (size_t at = text.find(word); at != std::string_view::npos;
       at = text.find(word, at + word.size()))
    ++count;
  return count;
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
  SiteParser parser;
  parser.site = site;
  parser.directory = DirectoryOf(path);
  parser.only_address = only_address;
  parser.error_line = error_line;
  parser.error = error;
  const std::string_view all = site->text;

  // Ports are many in a large site: make room for their addresses once.
  const size_t ports = CountWord(all, "port ");
  site->adapters.reserve(CountWord(all, "adapter "));
  parser.addresses.reserve(ports);
  if (!only_address) site->ports.reserve(ports);

  std::vector<std::string_view> words;
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find('\n', pos);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(pos, end - pos);
    pos = end + 1;
    ++parser.line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxLine) return parser.Fail("line longer than 65536 characters");

    size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    if (first == line.size() || line[first] == '#') continue;
    if (!ParseLine(parser, line, &words)) return false;
  }
  if (!site->adapters.empty() && !CloseAdapter(site->adapters.back(), error_line, error))
    return false;
  return CheckAddresses(&parser.addresses, error_line, error);
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
