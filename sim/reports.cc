#include "sim/reports.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string_view>

namespace {

// Appends "label<blanks to width>: value\n".
void Label(std::string* out, std::string_view label, size_t width, std::string_view value) {
  out->append(label);
  if (label.size() < width) out->append(width - label.size(), ' ');
  out->append(": ");
  out->append(value);
  out->push_back('\n');
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
  char text[64];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// Joins the pieces into one string.
std::string Cat(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

std::string BusOf(const SimSite& site, const SimPort& port) {
  const SimAdapter& adapter = site.adapters[port.adapter];
  return adapter.bus.empty() ? std::to_string(port.adapter + 1) : std::string(adapter.bus);
}

std::string NodeWwnOf(const SimPort& port) {
  if (port.node_wwn) return std::string(*port.node_wwn);
  if (!AddressedByWwn(port.type)) return "n/a";
  if (port.address.substr(0, 3) == "10:") return Cat({"20:", port.address.substr(3)});
  return std::string(port.address);
}

// The last six bytes of a WWN or MAC as "00 90 fa aa bb 02".
std::string IeeeAddressOf(const SimPort& port) {
  std::string digits;
  for (char c : port.address) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) digits.push_back(c);
    else if (c >= 'A' && c <= 'F') digits.push_back(static_cast<char>(c - 'A' + 'a'));
  }
  if (digits.size() < 12) return "n/a";
  digits.erase(0, digits.size() - 12);
  std::string out;
  for (size_t i = 0; i < 12; i += 2) {
    if (i) out.push_back(' ');
    out.append(digits, i, 2);
  }
  return out;
}

const char* DriverOf(const SimPort& port) {
  if (AddressedByWwn(port.type)) return "lpfc";
  if (port.type == "iSCSI") return "be2iscsi";
  return "be2net";
}

std::string ModelDescOf(const SimAdapter& adapter) {
  if (!adapter.model_desc.empty()) return std::string(adapter.model_desc);
  if (adapter.model.substr(0, 3) == "LPe")
    return Cat({"Emulex LightPulse ", adapter.model, " Fibre Channel Adapter"});
  if (adapter.model.substr(0, 3) == "OCe")
    return Cat({"Emulex OneConnect ", adapter.model, " Converged Network Adapter"});
  return std::string(adapter.model);
}

// sdb, sdc, ..., sdz, sdaa, ...: sda is the system disk.
std::string DeviceNameOf(const SimLun& lun) {
  long long n = lun.index + 2;  // 1 = a
  std::string letters;
  while (n > 0) {
    --n;
    letters.insert(letters.begin(), static_cast<char>('a' + n % 26));
    n /= 26;
  }
  return "/dev/sd" + letters;
}

const char* VerbOf(SimReport report) {
  switch (report) {
    case SimReport::kListHbas: return "listhbas";
    case SimReport::kHbaAttributes: return "hbaattributes";
    case SimReport::kTargetMapping: return "targetmapping";
  }
  return "";
}

// Reads a raw override file byte for byte.
bool ReadRaw(const SimSite& site, std::string_view raw, int line, std::string* text,
             std::string* message) {
  const std::string path(raw);
  FILE* file = std::fopen(path.c_str(), "rb");
  int error = errno;
  bool ok = file != nullptr;
  if (file) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
    ok = !std::ferror(file);
    error = errno;
    std::fclose(file);
  }
  if (!ok) {
    *message = "hbacmd-sim: site " + site.path + " line " + std::to_string(line) +
               ": cannot read raw report " + path + ": " + std::strerror(error);
  }
  return ok;
}

}  // namespace

std::string ListHbasReport(const SimSite& site) {
  constexpr size_t kWidth = 15;
  std::string out = "Manageable HBA List\n";
  for (const SimPort& port : site.ports) {
    const SimAdapter& adapter = site.adapters[port.adapter];
    bool wwn = AddressedByWwn(port.type);
    out.push_back('\n');
    if (wwn) {
      Label(&out, "Port WWN", kWidth, port.address);
      Label(&out, "Node WWN", kWidth, NodeWwnOf(port));
      Label(&out, "Fabric Name", kWidth, port.fabric.value_or("00:00:00:00:00:00:00:00"));
    } else {
      Label(&out, "Permanent MAC", kWidth, port.address);
      Label(&out, "Current MAC", kWidth, port.current_mac.value_or(port.address));
    }
    Label(&out, "Flags", kWidth, port.flags.value_or(wwn ? "8000e300" : "0000f200"));
    Label(&out, "Host Name", kWidth, site.host);
    Label(&out, "Mfg", kWidth, adapter.mfg);
    Label(&out, "Serial No.", kWidth, adapter.serial);
    Label(&out, "Port Number", kWidth, port.number);
    if (port.mode || wwn) Label(&out, "Mode", kWidth, port.mode.value_or("Initiator"));
    Label(&out, "PCI Bus Number", kWidth, BusOf(site, port));
    Label(&out, "PCI Function", kWidth, port.function);
    Label(&out, "Port Type", kWidth, port.type);
    Label(&out, "Model", kWidth, adapter.model);
  }
  return out;
}

std::string HbaAttributesReport(const SimSite& site, const SimPort& port) {
  constexpr size_t kWidth = 27;
  const SimAdapter& adapter = site.adapters[port.adapter];
  const std::string_view fw = adapter.firmware;
  const char* driver = DriverOf(port);
  std::string out = Cat({"HBA Attributes for ", port.address, "\n\n"});
  Label(&out, "Host Name", kWidth, site.host);
  Label(&out, "Manufacturer", kWidth, adapter.mfg);
  Label(&out, "Serial Number", kWidth, adapter.serial);
  Label(&out, "Model", kWidth, adapter.model);
  Label(&out, "Model Desc", kWidth, ModelDescOf(adapter));
  Label(&out, "Node WWN", kWidth, NodeWwnOf(port));
  Label(&out, "Node Symname", kWidth,
        Cat({"Emulex ", adapter.model, " FV", fw, " DV11.1.145.0 HN:", site.host, " OS:Linux"}));
  Label(&out, "HW Version", kWidth, "0000000c");
  Label(&out, "FW Version", kWidth, fw);
  Label(&out, "Vendor Spec ID", kWidth, adapter.vendor_id);
  Label(&out, "Number of Ports", kWidth, "1");
  Label(&out, "Driver Name", kWidth, driver);
  Label(&out, "Device ID", kWidth, adapter.device_id);
  Label(&out, "HBA Type", kWidth, adapter.model);
  Label(&out, "Operational FW", kWidth, "SLI-4 Overlay");
  Label(&out, "IEEE Address", kWidth, IeeeAddressOf(port));
  Label(&out, "PXE Boot", kWidth, "Disabled");
  Label(&out, "Driver Version", kWidth, "11.1.145.0; HBAAPI(I) v2.3.d, 07-12-10");
  Label(&out, "Board Temperature", kWidth, "Normal");
  Label(&out, "Function Type", kWidth, port.type);
  Label(&out, "Sub Device ID", kWidth, adapter.sub_device_id);
  Label(&out, "Port Number", kWidth, port.number);
  Label(&out, "PCI Bus Number", kWidth, BusOf(site, port));
  Label(&out, "PCI Func Number", kWidth, port.function);
  Label(&out, "Sub Vendor ID", kWidth, adapter.sub_vendor_id);
  Label(&out, "Firmware Status", kWidth, "Working");
  Label(&out, "Service Processor FW Name", kWidth, fw);
  Label(&out, "ULP FW Name", kWidth, fw);
  Label(&out, "IPL Filename", kWidth, "OCE_IPL_01");
  Label(&out, "NCSI Version", kWidth, "1.1");
  Label(&out, "Start-up Boot Code Version", kWidth, fw);
  Label(&out, "FCoE Universal Version", kWidth, fw);
  Label(&out, "FCoE x86 BIOS Version", kWidth, fw);
  Label(&out, "FCoE EFI Version", kWidth, fw);
  Label(&out, "FCoE FCODE Version", kWidth, fw);
  Label(&out, "UEFI BIOS Version", kWidth, fw);
  Label(&out, "UEFI NIC Version", kWidth, fw);
  Label(&out, "UEFI FCODE Version", kWidth, fw);
  Label(&out, "UEFI iSCSI Version", kWidth, fw);
  Label(&out, "PCI Express Link Speed", kWidth, "8.0 GT/s");
  Label(&out, "PCI Express Bus Width", kWidth, "x8");
  return out;
}

std::string TargetMappingReport(const SimPort& port) {
  constexpr size_t kWidth = 16;
  const long long port_index = port.index;
  std::string out = Cat({"Target Mapping for ", port.address, ":\n\n"});
  Label(&out, "Mapped LUNs", kWidth, std::to_string(port.luns.size()));
  out.push_back('\n');
  long long position = 0;
  for (const SimLun& lun : port.luns) {
    Label(&out, "FCP ID", kWidth, Format("0x%06llX", 0x010200 + (port_index & 0xff)));
    Label(&out, "SCSI OS Bus", kWidth, "0");
    Label(&out, "SCSI OS Target", kWidth, "0");
    Label(&out, "Target WWPN", kWidth,
          Format("50:06:01:60:3e:a0:%02llx:%02llx", (port_index >> 8) & 0xff,
                 port_index & 0xff));
    Label(&out, "FCP LUN", kWidth, Format("%04llX000000000000", position & 0xffff));
    Label(&out, "SCSI OS Lun", kWidth, std::to_string(position));
    Label(&out, "Lun Device Name", kWidth, DeviceNameOf(lun));
    Label(&out, "Vendor ID", kWidth, lun.vendor);
    Label(&out, "Product ID", kWidth, lun.product);
    Label(&out, "Product Version", kWidth, lun.version);
    Label(&out, "Type", kWidth, "Disk");
    Label(&out, "SCSI Capacity", kWidth, "100 GB");
    Label(&out, "Block Size", kWidth, "512 Bytes");
    out.push_back('\n');
    ++position;
  }
  return out;
}

std::string DownloadReport(const SimSite& site, const SimPort& port, const std::string& image,
                           long long image_size, int status) {
  const SimAdapter& adapter = site.adapters[port.adapter];
  std::string out = Cat({"Downloading image ", image, " (", std::to_string(image_size),
                         " bytes) to ", port.address, " ...\n"});
  out += Cat({"Adapter ", adapter.model, ", serial number ", adapter.serial, ", firmware ",
              adapter.firmware, "\n"});
  out += "Erasing flash ... done\n";
  if (status == 0) {
    out += "Writing flash ... done\n";
    out += "Download complete. Reboot the system to activate the new image.\n";
  } else {
    out += "Writing flash ... failed\n";
    out += "ERROR: <" + std::to_string(status) + ">: Download failed.\n";
  }
  return out;
}

SimAnswer CommandFailure(std::string_view text) {
  return SimAnswer{"ERROR: <1>: " + std::string(text) + "\n", 1};
}

bool ImageSize(const std::string& image, long long* size, SimAnswer* refusal) {
  struct stat status;
  if (stat(image.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    *refusal = CommandFailure("Cannot open image file " + image);
    return false;
  }
  *size = status.st_size;
  return true;
}

bool AnswerReport(const SimSite& site, SimReport report, const SimPort* port, SimAnswer* answer,
                  std::string* message) {
  answer->text.clear();
  if (report == SimReport::kTargetMapping && !AddressedByWwn(port->type)) {
    answer->text = "ERROR: <1>: Not an FC or FCoE port: " + std::string(port->address) + "\n";
    answer->status = 1;
    return true;
  }
  const SimOverride& given = report == SimReport::kListHbas        ? site.listhbas
                             : report == SimReport::kHbaAttributes ? port->attributes
                                                                   : port->mapping;
  answer->status = given.status;
  if (!given.raw.empty()) return ReadRaw(site, given.raw, given.raw_line, &answer->text, message);
  if (answer->status != 0) {
    answer->text = "ERROR: <" + std::to_string(answer->status) + ">: " + VerbOf(report) +
                   " failed\n";
    return true;
  }
  switch (report) {
    case SimReport::kListHbas: answer->text = ListHbasReport(site); break;
    case SimReport::kHbaAttributes: answer->text = HbaAttributesReport(site, *port); break;
    case SimReport::kTargetMapping: answer->text = TargetMappingReport(*port); break;
  }
  return true;
}
