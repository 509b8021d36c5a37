#include "sim/generate.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "sim/reports.h"
#include "sim/site.h"

namespace {

struct ControllerType {
  const char* model;  // as the adapter reports it
  const char* conditions_model;  // the prefix the conditions file names
  const char* ids[4];
};

constexpr ControllerType kTypes[] = {
    {"OCe14102-UM", "OCe14102", {"19A2", "0714", "10DF", "E70E"}},
    {"OCe11102-FM", "OCe11102", {"19A2", "0714", "10DF", "E602"}},
    {"OCe14401-UX", "OCe14401", {"10DF", "0720", "10DF", "E81E"}},
    {"OCe15102-FM", "OCe15102", {"10DF", "E200", "10DF", "E280"}},
};
constexpr long kTypeCount = sizeof kTypes / sizeof kTypes[0];

void Appendf(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void Appendf(std::string* out, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) out->append(line, static_cast<size_t>(n) < sizeof line ? n : sizeof line - 1);
}

}  // namespace

long GeneratedControllerTypes(long adapters) {
  return adapters < kTypeCount ? adapters : kTypeCount;
}

std::string GenerateSite(long adapters) {
  std::string out;
  out.reserve(static_cast<size_t>(adapters) * 640 + 256);
  Appendf(&out,
          "# %ld converged adapters, eight functions each: NIC 0/1, FCoE 2/3 with\n"
          "# DGC storage, iSCSI 4/5, NIC 6/7.  Written by hbacmd-sim generate-site.\n",
          adapters);
  static const char* const kFunctionTypes[8] = {"NIC", "NIC", "FCoE", "FCoE",
                                                "iSCSI", "iSCSI", "NIC", "NIC"};
  for (long i = 0; i < adapters; ++i) {
    const ControllerType& type = kTypes[i % kTypeCount];
    long n = i + 1;
    Appendf(&out, "\nadapter BT%08ld\n  model %s\n  pci %s %s %s %s\n  bus %ld\n", n,
            type.model, type.ids[0], type.ids[1], type.ids[2], type.ids[3], i % 250 + 1);
    for (int f = 0; f < 8; ++f) {
      long a = n * 8 + f;
      unsigned b1 = (a >> 16) & 0xff, b2 = (a >> 8) & 0xff, b3 = a & 0xff;
      const char* kind = kFunctionTypes[f];
      if (f == 2 || f == 3) {
        Appendf(&out, "port %s %d %d 10:00:00:90:fa:%02x:%02x:%02x\n", kind, f % 2, f, b1, b2,
                b3);
        out += "  lun DGC VRAID 0533\n";
        if (f == 2) out += "  lun DGC \"RAID 5\" 0533\n";
      } else {
        Appendf(&out, "port %s %d %d 00-90-FA-%02X-%02X-%02X\n", kind, f % 2, f, b1, b2, b3);
      }
    }
  }
  return out;
}

std::string GenerateConditions(long lines, long adapters) {
  long types = GeneratedControllerTypes(adapters);
  long fillers = lines - types;
  std::string out;
  out.reserve(static_cast<size_t>(lines) * 160 + 512);
  out +=
      "# Vendor | Model | Vendor-Id | Device-Id | SubVendor-Id | SubDevice-Id | Firmware dir | "
      "FW version | BIOS version | Firmware image | BIOS image | Info | Info | Storage vendor | "
      "Model group | Extra | ...\n";
  out +=
      "-------+----------+------+------+------+------+----------+-------------+-------------+-"
      "-----------+-----------+------+------+---------+--------------+------\n";
  for (long j = 0; j < fillers; ++j) {
    Appendf(&out,
            "QLogic | QLE%07ld | 1077 | %04lX | 1077 | %04lX | QLE%07ld | 8.07.00 | 3.43 | "
            "ql%07ld | *.bin | Filler | | HP | HSV,MSA | 0001 | IBM | 2145 | 0002\n",
            j, j & 0xffff, (j >> 16) & 0xffff, j, j);
  }
  for (long t = 0; t < types; ++t) {
    const ControllerType& type = kTypes[t];
    Appendf(&out,
            "Emulex | %s | %s | %s | %s | %s | %s | 10.2.370.19 | 10.2.370.19 | *.ufi | | "
            "Generated | | DGC | VRAID,RAID 5 | 0533 | HITACHI | OPEN-V | 8001\n",
            type.conditions_model, type.ids[0], type.ids[1], type.ids[2], type.ids[3],
            type.conditions_model);
  }
  return out;
}

namespace {

// The characters a listhbas value may hold so that fcguard reads it back
// unchanged: no control characters (they would break or join lines, or
// turn into blanks).
bool ReadsBack(std::string_view value) {
  for (unsigned char c : value)
    if (c < 0x20 || c == 0x7f) return false;
  return true;
}

// A value that names a file or a port: it must also come back whole (no
// blank, no double quote, not longer than fcguard's field).
bool Identity(std::string_view value, size_t width) {
  return value.size() <= width && ReadsBack(value) &&
         value.find_first_of(" \"") == std::string_view::npos;
}

// fcguard's field widths for the values that name report files and ports.
constexpr size_t kSerialWidth = 23;
constexpr size_t kFunctionWidth = 3;
constexpr size_t kTypeWidth = 15;
constexpr size_t kWwnWidth = 23;
constexpr size_t kMacWidth = 17;

bool CheckReadsBack(const SimSite& site, std::string* message) {
  auto refuse = [&](int line, const std::string& what) {
    *message = "hbacmd-sim: site " + site.path;
    if (line > 0) *message += " line " + std::to_string(line);
    *message += ": " + what + " would not reach fcguard as written; " +
                "generate-reports cannot mirror its run";
    return false;
  };
  if (!site.listhbas.raw.empty())
    return refuse(site.listhbas.raw_line, "the listhbas raw override");
  if (!ReadsBack(site.host)) return refuse(0, "the host name");
  for (const SimAdapter& adapter : site.adapters) {
    if (!Identity(adapter.serial, kSerialWidth))
      return refuse(adapter.line, "serial number '" + std::string(adapter.serial) + "'");
    for (std::string_view value : {adapter.model, adapter.mfg, adapter.bus})
      if (!ReadsBack(value)) return refuse(adapter.line, "a value of the adapter");
  }
  for (const SimPort& port : site.ports) {
    size_t width = AddressedByWwn(port.type) ? kWwnWidth : kMacWidth;
    if (port.address.empty() || !Identity(port.address, width))
      return refuse(port.line, "address '" + std::string(port.address) + "'");
    if (!Identity(port.function, kFunctionWidth) || !Identity(port.type, kTypeWidth))
      return refuse(port.line, "the port type or function");
    if (!ReadsBack(port.number)) return refuse(port.line, "the port number");
    if (port.attributes.signal || port.mapping.signal)
      return refuse(port.line, "the report of a command ended by a signal");
    for (const auto& value : {port.node_wwn, port.fabric, port.current_mac, port.flags, port.mode})
      if (value && !ReadsBack(*value)) return refuse(port.line, "a value of the port");
  }
  return true;
}

// Writes the file as the shell's redirection would: created or truncated.
// False when it cannot be created.
bool WriteReport(const std::string& path, const std::string& text, std::string* message) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    *message = "hbacmd-sim: cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) *message = "hbacmd-sim: cannot write " + path + ": " + std::strerror(errno);
  return ok;
}

}  // namespace

bool GenerateReports(const SimSite& site, const std::string& directory, std::string* message) {
  if (!CheckReadsBack(site, message)) return false;
  SimAnswer answer;
  if (!AnswerReport(site, SimReport::kListHbas, nullptr, &answer, message)) return false;
  std::string note;
  if (!WriteReport(directory + "/local_hba_list.out", answer.text, &note)) {
    *message = note;  // fcguard cannot read its inventory either
    return false;
  }
  if (answer.status != 0) return true;  // fcguard stops after a failed listhbas

  // One pass per report kind, in site order, as fcguard runs them.
  for (SimReport report : {SimReport::kHbaAttributes, SimReport::kTargetMapping}) {
    const char* suffix =
        report == SimReport::kHbaAttributes ? "hba_attributes.out" : "target_mapping.out";
    for (const SimPort& port : site.ports) {
      if (report == SimReport::kTargetMapping && !AddressedByWwn(port.type)) continue;
      const SimAdapter& adapter = site.adapters[port.adapter];
      const std::string path = directory + "/" + std::string(adapter.serial) + "_" +
                               std::string(port.function) + "_" + suffix;
      if (!AnswerReport(site, report, &port, &answer, message)) return false;
      if (!WriteReport(path, answer.text, &note) &&
          std::string_view(adapter.serial).substr(0, 3) != "n/a")
        return true;  // fcguard cannot open the report and ends its run
    }
  }
  return true;
}
