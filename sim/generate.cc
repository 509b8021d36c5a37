#include "sim/generate.h"

#include <cstdarg>
#include <cstdio>

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
