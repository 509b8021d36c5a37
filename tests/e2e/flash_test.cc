// Flashing as the caller meets it: which download calls reach hbacmd, in
// which order and with which address and image, the status of the run, the
// messages that explain it and the trace file, in both builds.  The images
// and their directories are made by each test in its scenario.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/cna_basic.h"
#include "tests/e2e/harness.h"
#include "tests/support/access_acl.h"
#include "tests/support/screen_text.h"

namespace {

using test_support::Contains;
using test_support::Count;
using test_support::kDash;
using test_support::Replace;

const char kHbacmd[] = "/opt/emulex/ocmanager/bin/hbacmd";
// The OCe14102 is flashed through function 0.
using cna_basic::kMac0;
using cna_basic::kSerial;

const char kFirmware[] = "firmware image\n";
const char kBios[] = "bios image\n";

// A conditions file with one line for the OCe14102 of the shipped sites,
// allowing their DGC storage; an empty pattern or directory becomes a
// blank cell.
std::string Conditions(const std::string& dir, const std::string& firmware,
                       const std::string& bios, int copies = 1) {
  std::string text =
      "# Vendor | Model | Vendor-Id | Device-Id | Sub-Vendor-Id | Sub-Device-Id\n"
      "-------+-------+------\n";
  for (int i = 0; i < copies; ++i)
    text += "Emulex | OCe14102 | 19A2 | 0714 | 10DF | E70E | " + dir + " | 10.2 | 10.2 | " +
            firmware + " | " + bios + " | CNA | | DGC | VRAID,RAID 5 | 0533\n";
  return text;
}

// The usual images of the OCe14102 in its own directory: fw.ufi and, when
// a BIOS pattern is given, boot.prg, with a conditions file that looks for
// "*.ufi" and the BIOS pattern there.
void UseImages(const e2e::Scenario& scenario, const std::string& bios_pattern) {
  scenario.Write("FC_HBA_Conditions.txt", Conditions("OCe14102", "*.ufi", bios_pattern));
  scenario.Write("OCe14102/fw.ufi", kFirmware);
  if (!bios_pattern.empty()) scenario.Write("OCe14102/boot.prg", kBios);
}

std::string Description(const std::string& serial, const std::string& type,
                        const std::string& number, const std::string& function) {
  return "\t\tVendor: Emulex Corporation, Model: OCe14102-UM SerialNumber: " + serial +
         " PortType: " + type + " PortNumber: " + number + " PortFunction: " + function + "\n";
}

// A port of cna-basic skipped because function 0 was flashed before it.
std::string Skipped(const std::string& type, const std::string& number,
                    const std::string& function) {
  return "\t" + kDash + "\n\tInstalled controller-device:\n" +
         Description(kSerial, type, number, function) +
         "\t\tPort index: 0 Firmware already flashed => SKIP.\n\n";
}

// The flash command as its message shows it, with the line break that
// ends the message.
std::string Command(const std::string& mac, const std::string& image, const std::string& dir) {
  return std::string("\n\t\t") + kHbacmd + " download " + mac + " " + image + " >> " + dir +
         "/FWtrace.out\n\n";
}

// What the simulator writes into the trace file for one download.
std::string Progress(const std::string& image, std::size_t size, const std::string& mac,
                     const std::string& serial, bool fails = false) {
  std::string text = "Downloading image " + image + " (" + std::to_string(size) +
                     " bytes) to " + mac + " ...\n"
                     "Adapter OCe14102-UM, serial number " + serial +
                     ", firmware 10.2.370.19\n"
                     "Erasing flash ... done\n";
  if (fails) return text + "Writing flash ... failed\nERROR: <1>: Download failed.\n";
  return text + "Writing flash ... done\n"
                "Download complete. Reboot the system to activate the new image.\n";
}

std::string Download(const std::string& mac, const std::string& image) {
  return "download " + mac + " " + image;
}

struct FlashRun {
  e2e::Result result;
  std::vector<std::string> calls;      // every simulator call of this run
  std::vector<std::string> downloads;  // the download calls among them
};

FlashRun RunFlash(const e2e::Scenario& scenario, e2e::Build build,
                  const std::vector<std::string>& args, const e2e::RunOptions& options = {}) {
  std::size_t before = scenario.SimCalls().size();
  FlashRun run;
  run.result = scenario.Run(build, args, options);
  std::vector<std::string> calls = scenario.SimCalls();
  run.calls.assign(calls.begin() + before, calls.end());
  for (const std::string& call : run.calls)
    if (call.starts_with("download ")) run.downloads.push_back(call);
  return run;
}

const std::vector<std::string> kFlash = {"--flash", "-pci-id", "19A2:0714"};

// cna-basic as such adapters usually present themselves: the NIC functions
// 0 and 1 report the NIC device id 0710, so a selection of the FCoE
// functions (19A2:0714) leaves out the flash partner, function 0.
std::string UsualCnaSite(const e2e::Scenario& scenario) {
  std::string site = e2e::SiteText("cna-basic");
  for (const std::string port : {"port NIC 0 0 00-90-FA-AA-BB-00\n", "port NIC 1 1 00-90-FA-AA-BB-01\n"}) {
    const std::string mac = port.substr(13, 17);
    e2e::Result report = e2e::RunCommand(
        {e2e::BinaryDir() + "/hbacmd-sim", "hbaattributes", mac},
        {"HBACMD_SIM_SITE=" + e2e::SourceDir() + "/sim/sites/cna-basic.site"}, "/");
    EXPECT_EQ(0, report.status) << report.err;
    const std::string raw = "nic-attributes/" + mac;
    scenario.Write(raw, Replace(report.out, ": 0714\n", ": 0710\n"));
    site = Replace(site, port, port + "  hbaattributes-raw " + scenario.Path(raw) + "\n");
  }
  return site;
}

TEST(Flash, AdapterFlashedOnceThroughFunctionZero) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  scenario.Write("OCe14102/fw.ufi", kFirmware);
  scenario.Write("OCe14102/boot.prg", kBios);
  const std::string fw = "./OCe14102/fw.ufi";
  const std::string bios = "./OCe14102/boot.prg";
  const std::string dir = "./OCe14102/";

  const std::string expected =
      "\tInstalled controller-device:\n" + Description(kSerial, "NIC", "0", "0") +
      "\t\tPort index: 0.\n\n"
      "\tFirmware path: ./OCe14102\n"
      "\t\tLook for firmware file: *.ufi\n"
      "\t\tFound BIOS- or firmware-image: " + fw + " '*.ufi'\n"
      "\t\tLook for BIOS file: *.prg\n"
      "\t\tFound BIOS- or firmware-image: " + bios + " '*.prg'\n"
      "\t\t\tFirmware file found: " + fw + "\n\n"
      "\tNow start flashing the firmware.\n\t\tFlash command is: " + Command(kMac0, fw, dir) +
      "\t\tSuccess, flash command returned code 0.\n\n"
      "\t\t\tBIOS file found: " + bios + "\n\n"
      "\tNow start flashing the BIOS.\n\t\tFlash command is: " + Command(kMac0, bios, dir) +
      "\t\tSuccess, flash command returned code 0.\n\n"
      "\n" + Skipped("NIC", "1", "1") + Skipped("FCoE", "0", "2") + Skipped("FCoE", "1", "3");
  const std::vector<std::string> downloads = {Download(kMac0, fw), Download(kMac0, bios)};
  const std::string progress = Progress(fw, sizeof kFirmware - 1, kMac0, kSerial) +
                               Progress(bios, sizeof kBios - 1, kMac0, kSerial);

  e2e::ForEachBuild([&](e2e::Build build) {
    scenario.Write("FC_HBA_Conditions.txt", Conditions("OCe14102", "*.ufi", "*.prg"));
    scenario.Write("OCe14102/FWtrace.out", "earlier run\n");

    FlashRun run = RunFlash(scenario, build, kFlash);
    EXPECT_EQ(0, run.result.status);
    EXPECT_EQ(expected, run.result.out);
    EXPECT_EQ("", run.result.err);
    EXPECT_EQ(downloads, run.downloads);

    // Function 0 matched by two selections and by two conditions entries:
    // still one download per image.
    scenario.Write("FC_HBA_Conditions.txt", Conditions("OCe14102", "*.ufi", "*.prg", 2));
    run = RunFlash(scenario, build, {"--flash", "-pci-id", "19A2:0714,19A2:0714:10DF:E70E"});
    EXPECT_EQ(0, run.result.status);
    EXPECT_EQ(downloads, run.downloads);

    // Both runs appended to the trace file.
    EXPECT_EQ("earlier run\n" + progress + progress, scenario.Read("OCe14102/FWtrace.out"));
  });
}

TEST(Flash, PartnerWithoutFunctionZeroAndAdapterWithoutSerial) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  UseImages(scenario, "");
  e2e::ForEachBuild([&](e2e::Build build) {
    // Without function 0 the adapter is flashed through NIC function 1.
    scenario.UseSite("no-function0");
    FlashRun run = RunFlash(scenario, build, kFlash);
    EXPECT_EQ(0, run.result.status);
    EXPECT_EQ(std::vector<std::string>{Download("00-90-FA-24-68-01", "./OCe14102/fw.ufi")},
              run.downloads);

    // The adapter without a serial number is reported and never flashed.
    scenario.UseSite("no-serial");
    run = RunFlash(scenario, build, kFlash);
    EXPECT_EQ(0, run.result.status);
    EXPECT_EQ(std::vector<std::string>{Download(kMac0, "./OCe14102/fw.ufi")}, run.downloads);
    EXPECT_EQ(4, Count(run.result.out,
                       "\t\tPort index: 0; Ignore this port due to missing serial number  => "
                       "SKIP.\n"));
    EXPECT_TRUE(Contains(run.result.out, "System:\n\tFound an adequate installed "
                                         "controller-device:\n" +
                                             Description("n/a", "NIC", "0", "0")));
  });
}

// An OCe14102 with one NIC function 0 and one FCoE function 2, its MAC and
// WWN derived from the tag.
std::string SmallCna(const std::string& serial, const std::string& tag) {
  return "adapter \"" + serial + "\"\n"
         "  model OCe14102-UM\n"
         "  pci 19A2 0714 10DF E70E\n"
         "port NIC 0 0 00-90-FA-" + tag + "-00\n"
         "port FCoE 0 2 10:00:00:90:fa:" + tag + ":02\n"
         "  lun DGC VRAID 0533\n";
}

// A serial number that begins with another adapter's (or an empty one)
// never makes one adapter flashed through the other's function: each is
// flashed once, through its own MAC.
TEST(Flash, EachAdapterFlashedThroughItsOwnFunction) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  UseImages(scenario, "");
  const std::string fw = "./OCe14102/fw.ufi";
  const std::string a = SmallCna("FC12345", "aa-01");
  const std::string b = SmallCna("FC1234", "bb-02");
  const std::string none = SmallCna("", "cc-03");
  const std::string mac_a = "00-90-FA-aa-01-00";
  const std::string mac_b = "00-90-FA-bb-02-00";
  const std::string mac_none = "00-90-FA-cc-03-00";
  struct Case {
    std::string site;
    std::vector<std::string> downloads;
  };
  const std::vector<Case> cases = {
      {a + b, {Download(mac_a, fw), Download(mac_b, fw)}},
      {b + a, {Download(mac_b, fw), Download(mac_a, fw)}},
      {a + none, {Download(mac_a, fw), Download(mac_none, fw)}},
  };
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.site);
      scenario.UseSite(c.site);
      FlashRun run = RunFlash(scenario, build, kFlash);
      EXPECT_EQ(0, run.result.status) << run.result.out;
      EXPECT_EQ(c.downloads, run.downloads);
    }
  });
}

TEST(Flash, FailingDownloadEndsTheRun) {
  E2E_REQUIRE_SANDBOX();
  std::ifstream shipped(e2e::SourceDir() + "/sim/sites/flash-fails.site");
  std::ostringstream site;
  site << shipped.rdbuf()
       << "\n"
          "adapter FC13572468\n"
          "  model OCe14102-UM\n"
          "  pci 19A2 0714 10DF E70E\n"
          "port NIC 0 0 00-90-FA-EE-FF-00\n"
          "port FCoE 0 2 10:00:00:90:fa:ee:ff:02\n"
          "  lun DGC VRAID 0533\n";
  e2e::Scenario scenario;
  scenario.UseSite(site.str());
  UseImages(scenario, "*.prg");
  const std::string fw = "./OCe14102/fw.ufi";
  const std::string bios = "./OCe14102/boot.prg";
  const char kFailing[] = "00-90-FA-CC-DD-00";

  e2e::ForEachBuild([&](e2e::Build build) {
    scenario.Write("OCe14102/FWtrace.out", "");
    FlashRun run = RunFlash(scenario, build, kFlash);
    EXPECT_EQ(10, run.result.status);
    // The first adapter keeps its new images; the failing one gets no BIOS
    // and the one after it is not touched.
    EXPECT_EQ((std::vector<std::string>{Download(kMac0, fw), Download(kMac0, bios),
                                        Download(kFailing, fw)}),
              run.downloads);
    EXPECT_TRUE(run.result.out.ends_with(
        "\tNow start flashing the firmware.\n\t\tFlash command is: " +
        Command(kFailing, fw, "./OCe14102/") +
        "\t\tFail, flash command returned code 256.\n\n"))
        << run.result.out;
    EXPECT_EQ(Progress(fw, sizeof kFirmware - 1, kMac0, kSerial) +
                  Progress(bios, sizeof kBios - 1, kMac0, kSerial) +
                  Progress(fw, sizeof kFirmware - 1, kFailing, "FC87654321", true),
              scenario.Read("OCe14102/FWtrace.out"));
  });
}

// A BIOS download that fails after a good firmware download ends the run
// with 10; the firmware stays flashed.  (The simulator refuses an image
// that is not a regular file: here a directory that the BIOS pattern
// finds.)
TEST(Flash, FailingBiosDownloadAfterGoodFirmware) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  UseImages(scenario, "");
  scenario.Write("FC_HBA_Conditions.txt", Conditions("OCe14102", "*.ufi", "*.prg"));
  scenario.MakeDirectory("OCe14102/boot.prg");
  const std::string fw = "./OCe14102/fw.ufi";
  const std::string bios = "./OCe14102/boot.prg";
  e2e::ForEachBuild([&](e2e::Build build) {
    FlashRun run = RunFlash(scenario, build, kFlash);
    EXPECT_EQ(10, run.result.status);
    EXPECT_EQ((std::vector<std::string>{Download(kMac0, fw), Download(kMac0, bios)}),
              run.downloads);
    EXPECT_TRUE(run.result.out.ends_with(
        "\t\tSuccess, flash command returned code 0.\n\n"
        "\t\t\tBIOS file found: " + bios + "\n\n"
        "\tNow start flashing the BIOS.\n\t\tFlash command is: " +
        Command(kMac0, bios, "./OCe14102/") +
        "\t\tFail, flash command returned code 256.\n\n"))
        << run.result.out;
  });
}

TEST(Flash, MissingImagesFlashNothing) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  scenario.Write("no-image/readme.txt", "not an image\n");
  scenario.Write("no-bios/fw.ufi", kFirmware);
  // The trace file of earlier runs is never taken for an image.
  scenario.Write("trace-only/FWtrace.out", "earlier run\n");
  struct Case {
    const char* dir;
    const char* firmware;
    const char* bios;
  };
  const Case cases[] = {
      {"no-image", "*.ufi", ""},
      {"no-bios", "*.ufi", "*.prg"},  // nothing is flashed unless both are there
      {"trace-only", "FW", ""},
  };
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.dir);
      scenario.Write("FC_HBA_Conditions.txt", Conditions(c.dir, c.firmware, c.bios));
      FlashRun run = RunFlash(scenario, build, kFlash);
      EXPECT_EQ(20, run.result.status);
      EXPECT_EQ(std::vector<std::string>{}, run.downloads);
      EXPECT_TRUE(run.result.out.ends_with(std::string("\tNo BIOS- or firmware-image was found in ./") +
                                           c.dir + "/!\n"))
          << run.result.out;
    }
    EXPECT_EQ("earlier run\n", scenario.Read("trace-only/FWtrace.out"));
    EXPECT_FALSE(scenario.Exists("no-image/FWtrace.out"));
  });
}

TEST(Flash, MissingSubdirectoryFallsBackToBaseDirectory) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  // No BIOS pattern: the BIOS image beside the firmware stays unused.
  scenario.Write("FC_HBA_Conditions.txt", Conditions("OCe99999", "*.ufi", ""));
  scenario.Write("fw.ufi", kFirmware);
  scenario.Write("boot.prg", kBios);
  e2e::ForEachBuild([&](e2e::Build build) {
    scenario.Write("FWtrace.out", "");
    FlashRun run = RunFlash(scenario, build, kFlash);
    EXPECT_EQ(0, run.result.status);
    EXPECT_EQ(std::vector<std::string>{Download(kMac0, "./fw.ufi")}, run.downloads);
    EXPECT_TRUE(Contains(run.result.out,
                         "\t\tFirmware directory is not available: ./OCe99999\n\n"
                         "\tFirmware path: ./\n"
                         "\t\tLook for firmware file: *.ufi\n"
                         "\t\tFound BIOS- or firmware-image: ./fw.ufi '*.ufi'\n"
                         "\t\t\tFirmware file found: ./fw.ufi\n\n"
                         "\tNow start flashing the firmware.\n\t\tFlash command is: " +
                             Command(kMac0, "./fw.ufi", "./") +
                             "\t\tSuccess, flash command returned code 0.\n\n\n"))
        << run.result.out;
    EXPECT_FALSE(Contains(run.result.out, "BIOS file"));
    EXPECT_EQ(Progress("./fw.ufi", sizeof kFirmware - 1, kMac0, kSerial),
              scenario.Read("FWtrace.out"));
    EXPECT_FALSE(scenario.Exists("OCe99999"));
  });
}

TEST(Flash, SimulateShowsCommandsAndRunsNone) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  UseImages(scenario, "*.prg");
  // A simulated run reads the reports of an earlier run.
  ASSERT_EQ(0, scenario.Run(e2e::Build::k64, {"-pci-id", "19A2:0714"}).status);
  e2e::ForEachBuild([&](e2e::Build build) {
    FlashRun run = RunFlash(scenario, build, {"--flash", "--simulate", "-pci-id", "19A2:0714"});
    EXPECT_EQ(0, run.result.status);
    EXPECT_EQ(std::vector<std::string>{}, run.calls);
    for (const char* image : {"./OCe14102/fw.ufi", "./OCe14102/boot.prg"})
      EXPECT_TRUE(Contains(run.result.out, "\t\tFlash command is: " +
                                               Command(kMac0, image, "./OCe14102/") +
                                               "\t\tSuccess, flash command returned code 0.\n\n"))
          << image;
    EXPECT_EQ(3, Count(run.result.out, "Firmware already flashed => SKIP."));
    EXPECT_FALSE(scenario.Exists("OCe14102/FWtrace.out"));
  });
}

TEST(Flash, CheckBeforeFlashing) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  UseImages(scenario, "");
  const std::vector<std::string> args = {"--flash", "--check-for-valid-subsystem", "-pci-id",
                                         "19A2:0714"};
  e2e::ForEachBuild([&](e2e::Build build) {
    scenario.UseSite("invalid-storage");
    FlashRun run = RunFlash(scenario, build, args);
    EXPECT_EQ(4, run.result.status);
    EXPECT_EQ(std::vector<std::string>{}, run.downloads);
    EXPECT_FALSE(Contains(run.result.out, "flash"));

    scenario.UseSite("cna-basic");
    run = RunFlash(scenario, build, args);
    EXPECT_EQ(0, run.result.status);
    EXPECT_EQ(std::vector<std::string>{Download(kMac0, "./OCe14102/fw.ufi")}, run.downloads);
  });
}

TEST(Flash, ImageNamesReachHbacmdAsOneWord) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  scenario.Write("FC_HBA_Conditions.txt", Conditions("OCe14102", "fw", "x;"));
  scenario.Write("OCe14102/fw 1.ufi", kFirmware);
  scenario.Write("OCe14102/x;touch pwned.ufi", kBios);
  const std::string fw = "./OCe14102/fw 1.ufi";
  const std::string bios = "./OCe14102/x;touch pwned.ufi";
  e2e::ForEachBuild([&](e2e::Build build) {
    scenario.Write("OCe14102/FWtrace.out", "");
    FlashRun run = RunFlash(scenario, build, kFlash);
    // A split name would reach the simulator as a missing file or as one
    // word too many, and fail the run.
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ("", run.result.err);
    EXPECT_EQ((std::vector<std::string>{Download(kMac0, fw), Download(kMac0, bios)}),
              run.downloads);
    EXPECT_EQ(Progress(fw, sizeof kFirmware - 1, kMac0, kSerial) +
                  Progress(bios, sizeof kBios - 1, kMac0, kSerial),
              scenario.Read("OCe14102/FWtrace.out"));
    EXPECT_EQ((std::vector<std::string>{"FWtrace.out", "fw 1.ufi", "x;touch pwned.ufi"}),
              scenario.List("OCe14102"));
    EXPECT_FALSE(scenario.Exists("pwned.ufi"));
  });
}

// Output into a pipe that its reader closes after a few bytes, or into a
// closed descriptor: the messages are lost, the run is not.
TEST(Flash, LostOutputNeverEndsTheRun) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  UseImages(scenario, "*.prg");
  const std::vector<std::string> downloads = {Download(kMac0, "./OCe14102/fw.ufi"),
                                              Download(kMac0, "./OCe14102/boot.prg")};
  e2e::RunOptions pipe, closed;
  pipe.output = e2e::Output::kPipeClosedEarly;
  closed.output = e2e::Output::kClosed;
  e2e::ForEachBuild([&](e2e::Build build) {
    FlashRun run = RunFlash(scenario, build, {"-v", "1", "--flash", "-pci-id", "19A2:0714"}, pipe);
    EXPECT_EQ(0, run.result.status);
    EXPECT_EQ("\tInstalled", run.result.out);
    EXPECT_EQ(downloads, run.downloads);

    run = RunFlash(scenario, build, kFlash, closed);
    EXPECT_EQ(0, run.result.status);
    EXPECT_EQ("", run.result.err);
    EXPECT_EQ(downloads, run.downloads);
  });
}

// The partner (function 0) is not selected; the FCoE functions are, by one
// or two selections and one or two conditions entries.
TEST(Flash, UsualCnaFlashedOncePerRun) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite(UsualCnaSite(scenario));
  scenario.Write("OCe14102/fw.ufi", kFirmware);
  scenario.Write("OCe14102/boot.prg", kBios);
  const std::string fw = Download(kMac0, "./OCe14102/fw.ufi");
  const std::string bios = Download(kMac0, "./OCe14102/boot.prg");
  struct Case {
    const char* bios_pattern;
    int copies;
    std::vector<std::string> args;
    std::vector<std::string> downloads;
    int skips;
  };
  const std::vector<std::string> twice = {"--flash", "-pci-id", "19A2:0714,19A2:0714:10DF:E70E"};
  const Case cases[] = {
      {"", 1, kFlash, {fw}, 1},
      {"*.prg", 1, kFlash, {fw, bios}, 1},
      {"*.prg", 2, twice, {fw, bios}, 7},
  };
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string("bios '") + c.bios_pattern + "' x" + std::to_string(c.copies));
      scenario.Write("FC_HBA_Conditions.txt",
                     Conditions("OCe14102", "*.ufi", c.bios_pattern, c.copies));
      FlashRun run = RunFlash(scenario, build, c.args);
      EXPECT_EQ(0, run.result.status);
      EXPECT_EQ(c.downloads, run.downloads);
      EXPECT_TRUE(Contains(run.result.out, Skipped("FCoE", "1", "3"))) << run.result.out;
      EXPECT_EQ(c.skips, Count(run.result.out, "Firmware already flashed => SKIP."));
    }
  });
}

// Function 0 on port 0 is an FCoE port, which has no Permanent MAC.
TEST(Flash, PartnerWithoutMacFlashesNothing) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite(
      "adapter FC55556666\n"
      "  model OCe14102-UM\n"
      "  pci 19A2 0714 10DF E70E\n"
      "port FCoE 0 0 10:00:00:90:fa:55:66:00\n"
      "  lun DGC VRAID 0533\n"
      "port FCoE 1 1 10:00:00:90:fa:55:66:01\n"
      "  lun DGC VRAID 0533\n");
  UseImages(scenario, "");
  const std::string refusal =
      "\t\tFound BIOS- or firmware-image: ./OCe14102/fw.ufi '*.ufi'\n"
      "\t\tError: the flash partner of this port has no Permanent MAC; nothing is flashed.\n\n";
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const std::vector<std::string>& args :
         {kFlash, {"--flash", "--simulate", "-pci-id", "19A2:0714"}}) {
      FlashRun run = RunFlash(scenario, build, args);
      EXPECT_EQ(10, run.result.status);
      EXPECT_EQ(std::vector<std::string>{}, run.downloads);
      EXPECT_TRUE(run.result.out.ends_with(refusal)) << run.result.out;
    }
  });
}

// The killed command leaves an empty report: the port that sees storage
// outside the allowed group would look as if nothing were attached.
TEST(Flash, KilledTargetmappingFlashesNothing) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite(Replace(e2e::SiteText("invalid-storage"), "  lun DGC LUNZ 0533\n",
                           "  lun DGC LUNZ 0533\n  targetmapping-signal 9\n"));
  UseImages(scenario, "");
  e2e::ForEachBuild([&](e2e::Build build) {
    FlashRun run =
        RunFlash(scenario, build, {"--flash", "--check-for-valid-subsystem", "-pci-id", "19A2:0714"});
    EXPECT_EQ(51, run.result.status);
    EXPECT_EQ(std::vector<std::string>{}, run.downloads);
    EXPECT_EQ("Error: \"hbacmd targetmapping 10:00:00:90:fa:11:22:02\" did not complete "
              "(status 35072); its report is not used.\n",
              run.result.out);
  });
}

TEST(Flash, ImageDirectoryOthersCanWriteIsRefused) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  UseImages(scenario, "");
  std::filesystem::permissions(scenario.Path("OCe14102"), std::filesystem::perms::others_write,
                               std::filesystem::perm_options::add);
  e2e::ForEachBuild([&](e2e::Build build) {
    FlashRun run = RunFlash(scenario, build, kFlash);
    EXPECT_EQ(20, run.result.status);
    EXPECT_EQ(std::vector<std::string>{}, run.downloads);
    EXPECT_TRUE(run.result.out.ends_with(
        "\tFirmware path: ./OCe14102\n"
        "Error: ./OCe14102 is writable by other users; refusing to use it.\n"))
        << run.result.out;
    EXPECT_FALSE(scenario.Exists("OCe14102/FWtrace.out"));
  });
}

// An image another user can change (world write, their own file, an ACL
// granting write) would be flashed as they wrote it: the adapter gets no
// download at all, not even of the other image.
TEST(Flash, ImageOthersCanWriteIsRefused) {
  E2E_REQUIRE_SANDBOX();
  namespace fs = std::filesystem;
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  UseImages(scenario, "*.prg");
  struct Case {
    std::string image;
    fs::perms mode;
    unsigned owner;
    unsigned acl;  // tag of a named ACL entry granting write, or 0
  };
  const std::vector<Case> cases = {
      {"fw.ufi", fs::perms(0666), 0, 0},
      {"fw.ufi", fs::perms(0644), 65534, 0},
      {"boot.prg", fs::perms(0644), 0, test_support::kAclUser},
  };
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.image);
      const std::string path = scenario.Path("OCe14102/" + c.image);
      if (c.owner != 0 && !e2e::IsRoot()) continue;  // only root can give a file away
      ASSERT_EQ(0, chown(path.c_str(), c.owner, static_cast<gid_t>(-1)));
      fs::permissions(path, c.mode);
      if (c.acl != 0) {
        ASSERT_TRUE(test_support::GrantByAcl(path, c.acl, 7, 7));
      }
      FlashRun run = RunFlash(scenario, build, kFlash);
      test_support::RemoveAcl(path);
      ASSERT_EQ(0, chown(path.c_str(), 0, static_cast<gid_t>(-1)));
      fs::permissions(path, fs::perms(0644));
      EXPECT_EQ(20, run.result.status);
      EXPECT_EQ(std::vector<std::string>{}, run.downloads);
      EXPECT_TRUE(run.result.out.ends_with("Error: ./OCe14102/" + c.image +
                                           " is writable by other users; refusing to use "
                                           "it.\n"))
          << run.result.out;
    }
  });
}

}  // namespace
