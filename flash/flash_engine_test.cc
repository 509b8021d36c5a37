#include "flash/flash_engine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "tests/support/port_record.h"
#include "tests/support/scratch_dir_test.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMacA = "00-90-FA-00-00-0A";
constexpr const char* kMacB = "00-90-FA-00-00-0B";

// An inventory, a conditions list and a selection list owned by the test,
// a firmware directory and a fake hbacmd that logs each call as
// "[download][address][image]" and appends "flashed <image>" to the trace.
class FlashEngineTest : public test_support::ScratchDirTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ScratchDirTest::SetUp());
    base_ = root_ + "/fw/";
    fs::create_directories(base_ + "OCe14000");
    fs::create_directory(root_ + "/bin");
    WriteFakeHbacmd(0);
    pHBAFirmwarePath.assign_cut(base_);
    pHBAFlashCmdPath.assign_cut(root_ + "/bin/hbacmd");
  }
  void TearDown() override {
    p_hba_info_list = nullptr;
    fc_config_entry_list = nullptr;
    ScratchDirTest::TearDown();
  }

  void WriteFakeHbacmd(int status) {
    std::string path = root_ + "/bin/hbacmd";
    std::ofstream(path) << "#!/bin/sh\nprintf '[%s]' \"$@\" >> '" << root_
                        << "/calls.log'\necho >> '" << root_ << "/calls.log'\n"
                        << "echo \"flashed $3\"\nexit " << status << "\n";
    fs::permissions(path, fs::perms::owner_all);
  }
  void Touch(const std::string& relative) { std::ofstream(base_ + relative) << "image\n"; }
  std::string Read(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  }
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    std::ifstream log(root_ + "/calls.log");
    for (std::string line; std::getline(log, line);) calls.push_back(line);
    return calls;
  }
  static std::string Call(const char* mac, const std::string& image) {
    return std::string("[download][") + mac + "][" + image + "]";
  }

  // A port with the ids 19A2:0714:10DF:E702; its own flash partner unless
  // one is given.
  hba_info* AddPort(const char* serial, const char* function, const char* mac,
                    hba_info* partner = nullptr) {
    hba_info& port = ports_.emplace_back();
    test_support::FillPort(&port, {"Emulex", "OCe14102-UM", serial, "NIC", "0", function, "", mac});
    port.FlashPartner = partner != nullptr ? partner : &port;
    hba_attributes_entry& ids = attributes_.emplace_back();
    ids.PciVendorId = 0x19A2;
    ids.PciDeviceId = 0x0714;
    ids.PciSubVendorId = 0x10DF;
    ids.PciSubDeviceId = 0xE702;
    port.Attributes = &ids;
    return &port;
  }
  fc_config_file_entry* AddEntry(const char* dir, const char* firmware, const char* bios,
                                 int sub_device = 0xE702) {
    fc_config_file_entry& entry = entries_.emplace_back();
    entry.CtrlVendor.assign_cut("Emulex");
    entry.CtrlModel.assign_cut("OCe14102");
    entry.PciVendorIdText.assign_cut("19A2");
    entry.PciDeviceIdText.assign_cut("0714");
    entry.PciSubVendorIdText.assign_cut("10DF");
    entry.PciSubDeviceIdText.assign_cut("E702");
    entry.PciVendorId = 0x19A2;
    entry.PciDeviceId = 0x0714;
    entry.PciSubVendorId = 0x10DF;
    entry.PciSubDeviceId = sub_device;
    entry.FirmwareDir.assign_cut(dir);
    entry.FirmwareFile.assign_cut(firmware);
    entry.BiosFile.assign_cut(bios);
    return &entry;
  }
  void AddSelection(int sub_vendor = 0, int sub_device = 0) {
    option_input& selection = selections_.emplace_back();
    selection.PciVendorId = 0x19A2;
    selection.PciDeviceId = 0x0714;
    selection.PciSubVendorId = sub_vendor;
    selection.PciSubDeviceId = sub_device;
  }

  // Publishes the lists (ports in the order given, or as added) and runs
  // the engine with the output captured.
  int Run(std::vector<hba_info*> order = {}) {
    if (order.empty())
      for (hba_info& port : ports_) order.push_back(&port);
    port_list_ = order;
    port_list_.push_back(nullptr);
    entry_list_.clear();
    for (fc_config_file_entry& entry : entries_) entry_list_.push_back(&entry);
    entry_list_.push_back(nullptr);
    for (std::size_t i = 0; i + 1 < selections_.size(); ++i)
      selections_[i].next = &selections_[i + 1];
    p_hba_info_list = port_list_.data();
    fc_config_entry_list = entry_list_.data();
    testing::internal::CaptureStdout();
    int result = OverallFlashBladeEngine(selections_.empty() ? nullptr : &selections_.front(),
                                         &flags_);
    out_ = testing::internal::GetCapturedStdout();
    return result;
  }
  bool Printed(const std::string& text) const { return out_.find(text) != std::string::npos; }

  std::string base_, out_;
  std::deque<hba_info> ports_;
  std::deque<hba_attributes_entry> attributes_;
  std::deque<fc_config_file_entry> entries_;
  std::deque<option_input> selections_;
  std::vector<hba_info*> port_list_;
  std::vector<fc_config_file_entry*> entry_list_;
  global_ctrl_flags flags_{};
};

TEST_F(FlashEngineTest, FlashesFirmwareThenBiosOncePerAdapter) {
  hba_info* first = AddPort("SN1", "0", kMacA);
  hba_info* second = AddPort("SN1", "1", "00-90-FA-00-00-01", first);
  AddEntry("OCe14000", "oc14-", "*.prg");
  AddSelection();
  Touch("OCe14000/oc14-10.2.ufi");
  Touch("OCe14000/boot.prg");
  std::ofstream(base_ + "OCe14000/FWtrace.out") << "earlier run\n";
  std::string dir = base_ + "OCe14000/";

  EXPECT_EQ(RET_OK, Run());
  EXPECT_EQ((std::vector<std::string>{Call(kMacA, dir + "oc14-10.2.ufi"),
                                      Call(kMacA, dir + "boot.prg")}),
            Calls());
  EXPECT_TRUE(first->FirmwareFlashed);
  EXPECT_TRUE(second->FirmwareFlashed);
  EXPECT_EQ(1, flags_.MatchingCtrlModelInstalled);
  EXPECT_EQ("earlier run\nflashed " + dir + "oc14-10.2.ufi\nflashed " + dir + "boot.prg\n",
            Read(dir + "FWtrace.out"));
  EXPECT_TRUE(Printed("\tFirmware path: " + dir.substr(0, dir.size() - 1) + "\n"));
  EXPECT_TRUE(Printed("\t\tFound BIOS- or firmware-image: " + dir + "boot.prg '*.prg'\n"));
  EXPECT_TRUE(Printed("\tNow start flashing the firmware.\n\t\tFlash command is: \n\t\t" +
                      std::string(pHBAFlashCmdPath.view()) + " download " + kMacA + " " + dir +
                      "oc14-10.2.ufi >> " + dir + "/FWtrace.out\n"));
  EXPECT_TRUE(Printed("\tNow start flashing the BIOS.\n"));
  EXPECT_TRUE(Printed("\t\tSuccess, flash command returned code 0.\n\n"));
  EXPECT_TRUE(Printed("\t\tPort index: 0 Firmware already flashed => SKIP.\n\n"));
}

TEST_F(FlashEngineTest, PortBeforeItsPartnerFlashesTheAdapterOnce) {
  hba_info* partner = AddPort("SN1", "0", kMacA);
  hba_info* other = AddPort("SN1", "1", kMacB, partner);
  AddEntry("OCe14000", "oc14-", "");
  AddSelection();
  Touch("OCe14000/oc14-10.2.ufi");

  EXPECT_EQ(RET_OK, Run({other, partner}));
  EXPECT_EQ(std::vector<std::string>{Call(kMacA, base_ + "OCe14000/oc14-10.2.ufi")}, Calls());
  EXPECT_TRUE(partner->FirmwareFlashed);
  EXPECT_TRUE(Printed("\t\tPort index: 0 Firmware already flashed => SKIP.\n\n"));
}

TEST_F(FlashEngineTest, FailingDownloadEndsTheRun) {
  hba_info* first = AddPort("SN1", "0", kMacA);
  hba_info* later = AddPort("SN2", "0", kMacB);
  AddEntry("OCe14000", "oc14-", "*.prg");
  AddSelection();
  Touch("OCe14000/oc14-10.2.ufi");
  Touch("OCe14000/boot.prg");
  WriteFakeHbacmd(1);

  EXPECT_EQ(RET_FLASH_ERROR, Run());
  EXPECT_EQ(std::vector<std::string>{Call(kMacA, base_ + "OCe14000/oc14-10.2.ufi")}, Calls());
  EXPECT_TRUE(Printed("\t\tFail, flash command returned code 256.\n\n"));
  EXPECT_FALSE(first->FirmwareFlashed);
  EXPECT_FALSE(later->FirmwareFlashed);
}

TEST_F(FlashEngineTest, MissingImagesFlashNothing) {
  struct Case {
    const char* firmware;
    const char* bios;
  } cases[] = {{"absent", ""}, {"oc14-", "absent"}, {"", "*.prg"}};
  Touch("OCe14000/oc14-10.2.ufi");
  Touch("OCe14000/boot.prg");
  for (const Case& c : cases) {
    ports_.clear();
    entries_.clear();
    selections_.clear();
    hba_info* port = AddPort("SN1", "0", kMacA);
    AddEntry("OCe14000", c.firmware, c.bios);
    AddSelection();
    EXPECT_EQ(RET_FW_NOT_AVAILABLE, Run()) << c.firmware << " " << c.bios;
    EXPECT_TRUE(Printed("\tNo BIOS- or firmware-image was found in " + base_ + "OCe14000/!\n"));
    EXPECT_FALSE(port->FirmwareFlashed);
  }
  EXPECT_TRUE(Calls().empty());
}

TEST_F(FlashEngineTest, SimulationShowsTheCommandsAndRunsNone) {
  hba_info* port = AddPort("SN1", "0", kMacA);
  AddEntry("OCe14000", "oc14-", "*.prg");
  AddSelection();
  Touch("OCe14000/oc14-10.2.ufi");
  Touch("OCe14000/boot.prg");
  active_option_simulate = 1;
  pHBAFlashCmdPath.assign_cut(root_ + "/bin/absent");

  EXPECT_EQ(RET_OK, Run());
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(Printed("\t\tFlash command is: \n\t\t" + root_ + "/bin/absent download "));
  EXPECT_TRUE(Printed("\tNow start flashing the BIOS.\n"));
  EXPECT_TRUE(Printed("\t\tSuccess, flash command returned code 0.\n\n"));
  EXPECT_TRUE(port->FirmwareFlashed);
  EXPECT_FALSE(fs::exists(base_ + "OCe14000/FWtrace.out"));
}

TEST_F(FlashEngineTest, MissingFlashCommandGives21WithTheSystemsReason) {
  AddPort("SN1", "0", kMacA);
  AddEntry("OCe14000", "oc14-", "");
  AddSelection();
  Touch("OCe14000/oc14-10.2.ufi");
  pHBAFlashCmdPath.assign_cut(root_ + "/bin/absent");

  EXPECT_EQ(RET_SCLI_NOT_INSTALLED, Run());
  EXPECT_TRUE(Printed("Error: Flash command " + root_ +
                      "/bin/absent is not available: No such file or directory\n\n"));
}

TEST_F(FlashEngineTest, HostileNamesReachHbacmdAsOneWord) {
  AddPort("SN1", "0", kMacA);
  AddEntry("my fw", "x;", "fw 1");
  AddSelection();
  fs::create_directory(base_ + "my fw");
  Touch("my fw/x;touch pwned.ufi");
  Touch("my fw/fw 1.ufi");
  std::string cwd = fs::current_path();
  fs::current_path(root_);

  int result = Run();
  fs::current_path(cwd);
  EXPECT_EQ(RET_OK, result);
  std::string dir = base_ + "my fw/";
  EXPECT_EQ((std::vector<std::string>{Call(kMacA, dir + "x;touch pwned.ufi"),
                                      Call(kMacA, dir + "fw 1.ufi")}),
            Calls());
  EXPECT_FALSE(fs::exists(root_ + "/pwned.ufi"));
  EXPECT_EQ("flashed " + dir + "x;touch pwned.ufi\nflashed " + dir + "fw 1.ufi\n",
            Read(dir + "FWtrace.out"));
  EXPECT_TRUE(Printed(" '" + dir + "x;touch pwned.ufi' >> '" + dir + "'/FWtrace.out\n"));
}

TEST_F(FlashEngineTest, ImageDirectoryComesFromTheEntryOrTheModel) {
  fs::create_directory(base_ + "OCe14102-UM");
  Touch("OCe14102-UM/oc14-model.ufi");
  AddPort("SN1", "0", kMacA);
  AddEntry("", "oc14-", "");
  AddSelection();

  EXPECT_EQ(RET_OK, Run());
  EXPECT_EQ(std::vector<std::string>{Call(kMacA, base_ + "OCe14102-UM/oc14-model.ufi")},
            Calls());
}

TEST_F(FlashEngineTest, MissingSubDirectoryFallsBackToTheBase) {
  Touch("oc14-base.ufi");
  AddPort("SN1", "0", kMacA);
  AddEntry("absent", "oc14-", "");
  AddSelection();

  EXPECT_EQ(RET_OK, Run());
  EXPECT_EQ(std::vector<std::string>{Call(kMacA, base_ + "oc14-base.ufi")}, Calls());
  EXPECT_TRUE(Printed("\t\tFirmware directory is not available: " + base_ + "absent\n\n"));
  EXPECT_TRUE(Printed("\tFirmware path: " + base_ + "\n"));
  EXPECT_TRUE(Printed(">> " + base_ + "/FWtrace.out\n"));
  EXPECT_TRUE(fs::exists(base_ + "FWtrace.out"));
}

TEST_F(FlashEngineTest, UnusableDirectoriesGive20) {
  Touch("regular");
  Touch("oc14-base.ufi");
  AddPort("SN1", "0", kMacA);
  AddEntry("regular", "oc14-", "");
  AddSelection();
  EXPECT_EQ(RET_FW_NOT_AVAILABLE, Run());
  EXPECT_TRUE(Printed("Error: Firmware directory is not available: " + base_ + "regular/\n\n"));

  pHBAFirmwarePath.assign_cut(root_ + "/absent/");
  EXPECT_EQ(RET_FW_NOT_AVAILABLE, Run());
  EXPECT_TRUE(Printed("\t\tFirmware directory is not available: " + root_ + "/absent/\n\n"));

  // A base directory text of 1020 characters leaves no room for the
  // sub-directory: nothing is cut, nothing is flashed.
  std::string padded = base_;
  while (padded.size() + 2 <= 1020) padded += "./";
  pHBAFirmwarePath.assign_cut(padded);
  EXPECT_EQ(RET_FW_NOT_AVAILABLE, Run());
  EXPECT_TRUE(Printed("Error: Firmware directory is longer than 1023 characters: " + padded +
                      "regular\n\n"));
  EXPECT_TRUE(Calls().empty());
}

TEST_F(FlashEngineTest, PortsWithoutSerialNumberAreReportedForEverySelection) {
  hba_info* port = AddPort("n/a", "0", kMacA);
  AddEntry("OCe14000", "oc14-", "");
  AddSelection();
  AddSelection();
  Touch("OCe14000/oc14-10.2.ufi");

  EXPECT_EQ(RET_OK, Run());
  std::string skip = "\t\tPort index: 0; Ignore this port due to missing serial number  => SKIP.\n";
  std::size_t first = out_.find(skip);
  ASSERT_NE(std::string::npos, first);
  EXPECT_NE(std::string::npos, out_.find(skip, first + 1));
  EXPECT_FALSE(port->FirmwareFlashed);
  EXPECT_EQ(0, flags_.MatchingCtrlModelInstalled);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(FlashEngineTest, SelectionMatchesOnItsIdsAndEntriesOnAllFour) {
  hba_info* port = AddPort("SN1", "0", kMacA);
  hba_info* bare = AddPort("SN2", "0", kMacB);
  bare->Attributes = nullptr;
  AddEntry("OCe14000", "oc14-", "", 0xE703);
  Touch("OCe14000/oc14-10.2.ufi");

  // A selection with sub ids that differ from the port's matches nothing.
  AddSelection(0x10DF, 0xE703);
  EXPECT_EQ(RET_OK, Run());
  EXPECT_EQ(0, flags_.MatchingCtrlModelInstalled);

  // Without sub ids it matches, but the entry still has to fit all four.
  selections_.clear();
  AddSelection();
  EXPECT_EQ(RET_OK, Run());
  EXPECT_EQ(1, flags_.MatchingCtrlModelInstalled);
  EXPECT_TRUE(Calls().empty());

  VerboseLevel = 6;
  AddEntry("OCe14000", "oc14-", "");
  EXPECT_EQ(RET_OK, Run());
  EXPECT_TRUE(Printed("\tFound a matching controller-device in line 2:\n"));
  EXPECT_FALSE(Printed("in line 1:"));
  EXPECT_TRUE(port->FirmwareFlashed);
  EXPECT_FALSE(bare->FirmwareFlashed);
  EXPECT_EQ(1u, Calls().size());
}

}  // namespace
