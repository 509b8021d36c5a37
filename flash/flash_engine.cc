// The flash engine: every installed port that matches a selection and a
// conditions entry has its adapter's firmware and BIOS images downloaded
// through hbacmd, once per adapter and run, addressed by the flash
// partner's permanent MAC address.
#include "flash/flash_engine.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "driver/base/print_debug.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "driver/base/shell.h"
#include "flash/flash_image.h"

namespace {

void PrintPortDescription(const hba_info* port) {
  PrintDebugf(1, "\t\tVendor: %s, Model: %s SerialNumber: %s PortType: %s PortNumber: %s "
                 "PortFunction: %s\n",
              port->Vendor.c_str(), port->Model.c_str(), port->SerialNumber.c_str(),
              port->PortType.c_str(), port->PortNumber.c_str(), port->PortFunction.c_str());
}

// A conditions entry applies to a port only when all four ids are equal.
bool EntryApplies(const fc_config_file_entry* entry, const hba_attributes_entry* ids) {
  return entry->PciVendorId == ids->PciVendorId && entry->PciDeviceId == ids->PciDeviceId &&
         entry->PciSubVendorId == ids->PciSubVendorId &&
         entry->PciSubDeviceId == ids->PciSubDeviceId;
}

// The entry found for a port, under a ruler.
void PrintEntryFound(const fc_config_file_entry* entry, std::size_t line) {
  PrintDebugf(2, "\t%s\n\n", kDashRuler);
  PrintMatchingEntry(line, entry);
}

// The look-up pass for one pattern: 0 when the image is there, otherwise
// 20 with the reason.
int LookUpImage(const PathText& directory, const FixedText<80>& pattern) {
  PathText image;
  if (FindFlashImage(directory.c_str(), &image, pattern.c_str()) != RET_OK) {
    if (!PathExists(directory.c_str()))
      PrintDebugf(1, "Error: Firmware directory is not available: %s\n\n", directory.c_str());
    else
      PrintDebugf(1, "\tNo BIOS- or firmware-image was found in %s!\n", directory.c_str());
    return RET_FW_NOT_AVAILABLE;
  }
  PrintDebugf(1, "\t\tFound BIOS- or firmware-image: %s '%s'\n", image.c_str(), pattern.c_str());
  // hbacmd reads the image by its path: an image that another user can
  // change would be flashed as they wrote it.
  if (RefuseForeignPath(image.c_str())) return RET_FW_NOT_AVAILABLE;
  return RET_OK;
}

// The download command.  Every word that comes from the conditions file or
// the file system reaches the shell as one quoted word; ordinary paths and
// addresses stay byte for byte as they are.  The directory ends in "/", so
// the trace file path holds two slashes.
std::string FlashCommand(const hba_info* partner, const PathText& image,
                         const PathText& directory) {
  std::string command = "\n\t\t";
  command += ShellQuote(pHBAFlashCmdPath.view());
  command += " download ";
  command += ShellQuote(partner->PermanentMAC.view());
  command += ' ';
  command += ShellQuote(image.view());
  command += " >> ";
  command += ShellQuote(directory.view());
  command += "/FWtrace.out\n";
  return command;
}

// One flash pass (firmware or BIOS): looks the pattern up again and
// downloads the image through the flash partner.  0 also when the image is
// gone by now; 20 when the image found now is one others can write; 21
// without hbacmd; 10 when the partner has no address or the command fails.
int FlashPass(const hba_info* port, const PathText& directory, const FixedText<80>& pattern,
              bool bios) {
  PathText image;
  if (FindFlashImage(directory.c_str(), &image, pattern.c_str()) != RET_OK) {
    PrintDebugf(1, bios ? "\t\t\tBIOS file is not available: %s\n\n"
                        : "\t\t\tFirmware file is not available: %s\n\n",
                image.c_str());
    return RET_OK;
  }
  if (RefuseForeignPath(image.c_str())) return RET_FW_NOT_AVAILABLE;
  if (!active_option_simulate) {
    const char* reason = "";
    if (!PathExists(pHBAFlashCmdPath.c_str(), &reason)) {
      PrintDebugf(1, "Error: Flash command %s is not available: %s\n\n", pHBAFlashCmdPath.c_str(),
                  reason);
      return RET_SCLI_NOT_INSTALLED;
    }
  }
  // Without an address the image would take the address's place.
  if (port->FlashPartner->PermanentMAC.empty()) {
    PrintDebugf(1, "\t\tError: the flash partner of this port has no Permanent MAC; nothing is "
                   "flashed.\n\n");
    return RET_FLASH_ERROR;
  }
  std::string command = FlashCommand(port->FlashPartner, image, directory);
  PrintDebugf(1, bios ? "\t\t\tBIOS file found: %s\n\n" : "\t\t\tFirmware file found: %s\n\n",
              image.c_str());
  PrintDebugf(1,
              bios ? "\tNow start flashing the BIOS.\n\t\tFlash command is: %s\n"
                   : "\tNow start flashing the firmware.\n\t\tFlash command is: %s\n",
              command.c_str());
  int status = 0;
  if (!active_option_simulate) {
    // Our progress lines come before whatever hbacmd writes to the screen.
    std::fflush(nullptr);
    status = RunShellCommand(command);
  }
  if (status != 0) {
    PrintDebugf(1, "\t\tFail, flash command returned code %d.\n\n", status);
    return RET_FLASH_ERROR;
  }
  PrintDebugf(1, "\t\tSuccess, flash command returned code %d.\n\n", status);
  return RET_OK;
}

int PrintDirectoryTooLong(const PathText& base, std::string_view rest) {
  PrintDebugf(1, "Error: Firmware directory is longer than %zu characters: %s%.*s\n\n",
              PathText::kCapacity, base.c_str(), static_cast<int>(rest.size()), rest.data());
  return RET_FW_NOT_AVAILABLE;
}

}  // namespace

int FlashBladeEngine(hba_info* port, fc_config_file_entry** entry, global_ctrl_flags* flags) {
  const fc_config_file_entry* conditions = *entry;
  flags->MatchingCtrlModelInstalled = 1;

  if (port->FlashPartner == nullptr) {
    // The driver refuses such a port before any engine runs.
    PrintDebugf(1, "Error: Port index %d has no flash partner => no flash.\n\n", port->PortIndex);
    return RET_KERNEL_MODULE_MISSING;
  }
  if (port->FlashPartner->FirmwareFlashed) {
    PrintDebugf(1, "\t%s\n", kDashRuler);
    PrintDebugf(1, "\tInstalled controller-device:\n");
    PrintPortDescription(port);
    PrintDebugf(1, "\t\tPort index: %d Firmware already flashed => SKIP.\n\n", port->PortIndex);
    port->FirmwareFlashed = true;
    return RET_OK;
  }
  PrintDebugf(1, "\tInstalled controller-device:\n");
  PrintPortDescription(port);
  PrintDebugf(1, "\t\tPort index: %d.\n\n", port->PortIndex);

  if (!PathExists(pHBAFirmwarePath.c_str())) {
    PrintDebugf(1, "\t\tFirmware directory is not available: %s\n\n", pHBAFirmwarePath.c_str());
    return RET_FW_NOT_AVAILABLE;
  }

  // The adapter's own sub-directory, named by the entry or by the model;
  // the base directory when it is missing.
  std::string_view sub =
      conditions->FirmwareDir.empty() ? port->Model.view() : conditions->FirmwareDir.view();
  PathText directory = pHBAFirmwarePath;
  if (!directory.append(sub)) return PrintDirectoryTooLong(pHBAFirmwarePath, sub);
  // A model name from the report that climbs out of the firmware directory
  // ("../x") names none of its sub-directories.
  bool foreign = conditions->FirmwareDir.empty() && HasParentComponent(sub);
  if (foreign || !PathExists(directory.c_str())) {
    PrintDebugf(1, "\t\tFirmware directory is not available: %s\n\n", directory.c_str());
    directory = pHBAFirmwarePath;
  }
  PrintDebugf(1, "\tFirmware path: %s\n", directory.c_str());
  // The trace file is appended through a shell redirection, which follows
  // a link that another user may have planted.
  if (RefuseForeignPath(directory.c_str())) return RET_FW_NOT_AVAILABLE;
  PrintDebugf(1, "\t\tLook for firmware file: %s\n", conditions->FirmwareFile.c_str());
  if (directory.view() != pHBAFirmwarePath.view() && !directory.append("/"))
    return PrintDirectoryTooLong(directory, "/");

  // Both images must be there before anything is flashed.
  if (int result = LookUpImage(directory, conditions->FirmwareFile); result != RET_OK)
    return result;
  if (!conditions->BiosFile.empty()) {
    PrintDebugf(1, "\t\tLook for BIOS file: %s\n", conditions->BiosFile.c_str());
    if (int result = LookUpImage(directory, conditions->BiosFile); result != RET_OK)
      return result;
  }

  // The firmware always goes before the BIOS.
  if (int result = FlashPass(port, directory, conditions->FirmwareFile, false); result != RET_OK)
    return result;
  if (!conditions->BiosFile.empty()) {
    if (int result = FlashPass(port, directory, conditions->BiosFile, true); result != RET_OK)
      return result;
  }

  // The adapter is done: every later port of it, whichever selection or
  // entry brings it here, ends in the skip above.
  port->FirmwareFlashed = true;
  port->FlashPartner->FirmwareFlashed = true;
  PrintDebugf(1, "\n");
  return RET_OK;
}

int OverallFlashBladeEngine(option_input* selections, global_ctrl_flags* flags) {
  for (const option_input* selection = selections; selection != nullptr;
       selection = selection->next) {
    for (hba_info** slot = p_hba_info_list; slot != nullptr && *slot != nullptr; ++slot) {
      hba_info* port = *slot;
      if (HasNoSerialNumber(port)) {
        PrintDebugf(1, "System:\n");
        PrintDebugf(1, "\tFound an adequate installed controller-device:\n");
        PrintPortDescription(port);
        PrintDebugf(1,
                    "\t\tPort index: %d; Ignore this port due to missing serial number  => "
                    "SKIP.\n",
                    port->PortIndex);
        continue;
      }
      if (!SelectionMatchesPort(selection, port->Attributes)) continue;
      flags->MatchingCtrlModelInstalled = 1;

      std::size_t line = 0;
      for (fc_config_file_entry** entry = fc_config_entry_list;
           entry != nullptr && *entry != nullptr; ++entry) {
        ++line;
        if (!EntryApplies(*entry, port->Attributes)) continue;
        if (LevelAbove(5)) PrintEntryFound(*entry, line);
        if (int result = FlashBladeEngine(port, entry, flags); result != RET_OK) return result;
      }
    }
  }
  return RET_OK;
}
