#include "driver/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "conditions/config_file.h"
#include "conditions/selection_list.h"
#include "driver/base/process_exit.h"
#include "driver/base/record_memory.h"
#include "driver/base/settings.h"
#include "driver/options.h"
#include "driver/run_state.h"
#include "driver/base/settings.h"
#include "tests/support/process_state.h"
#include "tests/support/screen_text.h"

namespace {

constexpr int kReturned = -1;

// The star banner with the empty line before it.
const std::string kStarBanner = "\n" + test_support::kStars + "\n";

const char kConditions[] =
    "Emulex|OCe11102|19A2|0714|10DF|E602|OCe|a|b|fw|bios|c|d|DGC|RAID 5|x\n";

std::string MakeTempDirectory() {
  std::string pattern = testing::TempDir() + "fcguard-startup-XXXXXX";
  char* made = mkdtemp(pattern.data());
  EXPECT_NE(nullptr, made);
  return pattern;
}

class StartUpTest : public testing::Test {
 protected:
  void SetUp() override {
    Reset();
    const char* tmpdir = std::getenv("TMPDIR");
    had_tmpdir_ = tmpdir != nullptr;
    if (had_tmpdir_) saved_tmpdir_ = tmpdir;
    directory_ = MakeTempDirectory();
    ASSERT_NE(nullptr, getcwd(start_cwd_, sizeof start_cwd_));
    // Words beginning with "/" read as options, so the runs below name the
    // scenario relative to it.
    ASSERT_EQ(0, chdir(directory_.c_str()));
  }

  void TearDown() override {
    Reset();
    EXPECT_EQ(0, chdir(start_cwd_));
    if (had_tmpdir_)
      setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    std::filesystem::remove_all(directory_);
  }

  static void Reset() {
    test_support::ResetProcessState();
    LimitRecordAllocations(-1);
  }

  void WriteConditions(const std::string& relative, const std::string& text) {
    std::ofstream(directory_ + "/" + relative) << text;
  }

  // Runs fn, capturing both streams; returns the status it ended the
  // process with, or kReturned.
  template <typename Fn>
  int Capture(Fn fn) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = kReturned;
    try {
      fn();
    } catch (const ProcessExit& ended) {
      status = ended.status;
    }
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return status;
  }

  int Start(const std::vector<std::string>& words) {
    words_ = words;
    argv_.clear();
    for (std::string& word : words_) argv_.push_back(word.data());
    argv_.push_back(nullptr);
    state_ = run_state{};
    return Capture([&] {
      StartUp(static_cast<int>(words_.size()), argv_.data(), &state_);
    });
  }

  int Directories(const char* start_word) {
    pHBAConditionsPath.clear();
    pHBAFirmwarePath.clear();
    pHBAWorkingPath.clear();
    return Capture([&] { SettleDirectories(start_word); });
  }

  char start_cwd_[4096] = {};
  bool had_tmpdir_ = false;
  std::string saved_tmpdir_;
  std::string directory_;
  std::vector<std::string> words_;
  std::vector<char*> argv_;
  run_state state_{};
  std::string out_;
  std::string err_;
};

TEST_F(StartUpTest, TemporaryDirectory) {
  VerboseLevel = 3;
  unsetenv("TMPDIR");
  Capture(SettleTempDir);
  EXPECT_EQ("env: Environment variable TMPDIR is not set.\n", out_);
  EXPECT_EQ("/tmp", TEMPDIR_BUFFER);

  setenv("TMPDIR", "", 1);
  Capture(SettleTempDir);
  EXPECT_EQ("env: Environment variable TMPDIR is empty.\n", out_);
  EXPECT_EQ("/tmp", TEMPDIR_BUFFER);

  setenv("TMPDIR", "/var/tmp", 1);
  Capture(SettleTempDir);
  EXPECT_EQ("env: Temporary directory is: /var/tmp.\n", out_);
  EXPECT_EQ("/var/tmp", TEMPDIR_BUFFER);

  VerboseLevel = 2;
  Capture(SettleTempDir);
  EXPECT_EQ("", out_);
}

TEST_F(StartUpTest, LongTemporaryDirectoryIsCutToFit) {
  setenv("TMPDIR", std::string(5000, 't').c_str(), 1);
  Capture(SettleTempDir);
  EXPECT_EQ(std::string(4095, 't'), TEMPDIR_BUFFER);
}

TEST_F(StartUpTest, DirectoriesFollowTheStartWord) {
  EXPECT_EQ(kReturned, Directories("./fcguard"));
  EXPECT_EQ("./FC_HBA_Conditions.txt", pHBAConditionsPath);
  EXPECT_EQ("./", pHBAFirmwarePath);
  EXPECT_EQ("./", pHBAWorkingPath);

  EXPECT_EQ(kReturned, Directories("/opt/fc/bin/fcguard"));
  EXPECT_EQ("/opt/fc/bin/FC_HBA_Conditions.txt", pHBAConditionsPath);
  EXPECT_EQ("/opt/fc/bin/", pHBAFirmwarePath);

  EXPECT_EQ(kReturned, Directories("/fcguard"));
  EXPECT_EQ("/FC_HBA_Conditions.txt", pHBAConditionsPath);
  EXPECT_EQ("/", pHBAWorkingPath);
}

TEST_F(StartUpTest, StartWordWithoutSlashUsesTheCurrentDirectory) {
  EXPECT_EQ(kReturned, Directories("fcguard"));
  EXPECT_EQ(directory_ + "/FC_HBA_Conditions.txt", pHBAConditionsPath);
  EXPECT_EQ(directory_ + "/", pHBAFirmwarePath);
  EXPECT_EQ(directory_ + "/", pHBAWorkingPath);
}

TEST_F(StartUpTest, ConpathIsUsedAsTyped) {
  pHBAConditionsPath.assign_cut("conf/");
  pHBAFirmwarePath.assign_cut("conf/");
  pHBAWorkingPath.assign_cut("conf/");
  EXPECT_EQ(kReturned, Capture([] { SettleDirectories("/opt/fcguard"); }));
  EXPECT_EQ("conf//FC_HBA_Conditions.txt", pHBAConditionsPath);
  EXPECT_EQ("conf//", pHBAFirmwarePath);
  EXPECT_EQ("conf//", pHBAWorkingPath);
}

TEST_F(StartUpTest, StartDirectoryTooLongIsRefused) {
  std::string fits(kMaxConditionsDirLength, 'd');
  EXPECT_EQ(kReturned, Directories((fits + "/fcguard").c_str()));
  EXPECT_EQ(PathText::kCapacity, pHBAConditionsPath.size());
  EXPECT_TRUE(pHBAConditionsPath.view().ends_with("d/FC_HBA_Conditions.txt"));

  EXPECT_EQ(3, Directories((fits + "d/fcguard").c_str()));
  EXPECT_EQ("Error: The program's directory is too long for file "
            "FC_HBA_Conditions.txt (max 1001 characters)!\n",
            out_);
}

TEST_F(StartUpTest, CurrentDirectoryTooLongIsRefused) {
  std::string component(200, 'c');
  while (true) {
    char here[4096];
    ASSERT_NE(nullptr, getcwd(here, sizeof here));
    if (std::string(here).size() > kMaxConditionsDirLength) break;
    ASSERT_EQ(0, mkdir(component.c_str(), 0755));
    ASSERT_EQ(0, chdir(component.c_str()));
  }
  EXPECT_EQ(3, Directories("fcguard"));
  EXPECT_EQ("Error: The current directory is too long for file "
            "FC_HBA_Conditions.txt (max 1001 characters)!\n",
            out_);
}

TEST_F(StartUpTest, MissingConditionsFileEndsTheRun) {
  std::string path = "./FC_HBA_Conditions.txt";
  EXPECT_EQ(15, Start({"./fcguard"}));
  EXPECT_EQ("Error: Could not open file " + path + "\n\nCann't access file " +
                path + ".\n\n",
            out_);

  Reset();
  EXPECT_EQ(15, Start({"./fcguard", "--silent"}));
  EXPECT_EQ("", out_);
  EXPECT_EQ("", err_);
}

// Out of memory while the conditions file is read ends the run with 54;
// the selection records come from the same record memory.
TEST_F(StartUpTest, OutOfMemoryEndsTheRun) {
  WriteConditions("FC_HBA_Conditions.txt", kConditions);
  // The selection, the entry and its list slot; not its allowed storage.
  LimitRecordAllocations(3);
  EXPECT_EQ(54, Start({"./fcguard", "-pci-id", "19A2:0714"}));
  EXPECT_EQ("Could not allocate memory for new fc_periphery_info.\n"
            "Error: fcguard, Memory allocation failed!\n",
            out_);

  Reset();
  LimitRecordAllocations(0);
  EXPECT_EQ(54, Start({"./fcguard", "-pci-id", "19A2:0714"}));
  EXPECT_EQ("Could not allocate memory for new option_input.\n", out_);
}

TEST_F(StartUpTest, StartsAndReportsAtLevelThree) {
  ASSERT_EQ(0, mkdir("conf", 0755));
  WriteConditions("conf/FC_HBA_Conditions.txt", kConditions);
  setenv("TMPDIR", "/scratch", 1);
  EXPECT_EQ(kReturned, Start({"/usr/sbin/fcguard", "-v", "3", "--conpath", "conf"}));
  EXPECT_EQ("env: Temporary directory is: /scratch.\n"
            "HBA conditions file: conf/FC_HBA_Conditions.txt\n",
            out_);
  EXPECT_EQ("fcguard", state_.program_name);
  EXPECT_EQ("/scratch", TEMPDIR_BUFFER);
  EXPECT_EQ("conf/", pHBAFirmwarePath);
  EXPECT_EQ("conf/", pHBAWorkingPath);
  ASSERT_NE(nullptr, fc_config_entry_list);
  ASSERT_NE(nullptr, fc_config_entry_list[0]);
  EXPECT_EQ(nullptr, fc_config_entry_list[1]);
  EXPECT_EQ(1, active_option_valid_subsystem);
}

TEST_F(StartUpTest, ConditionsListingOnlyThroughTheVerboseLevel) {
  WriteConditions("FC_HBA_Conditions.txt", kConditions);
  EXPECT_EQ(kReturned, Start({"./fcguard", "-v", "4"}));
  EXPECT_NE(std::string::npos, out_.find("\nList of allowed Fibre-Channel"));

  Reset();
  EXPECT_EQ(kReturned, Start({"./fcguard", "-d", "4"}));
  EXPECT_EQ("", out_);
  EXPECT_EQ("", err_);

  Reset();
  EXPECT_EQ(kReturned, Start({"./fcguard", "-v", "3"}));
  EXPECT_EQ(std::string::npos, out_.find("List of allowed"));
}

TEST_F(StartUpTest, ConditionsListing) {
  fc_config_file_entry* first = get_new_config_file_entry();
  ASSERT_NE(nullptr, first);
  first->CtrlVendor.assign_cut("Emulex");
  first->CtrlModel.assign_cut("OCe11102-FM");
  fc_periphery_info* dgc = get_new_periphery_info_entry();
  fc_periphery_info* blank = get_new_periphery_info_entry();
  fc_periphery_info* kvl = get_new_periphery_info_entry();
  ASSERT_TRUE(dgc && blank && kvl);
  dgc->SubsystemVendor.assign_cut("DGC");
  dgc->SubsystemGroup.assign_cut("RAID 5,RAID 10");
  blank->SubsystemVendor.assign_cut("   ");
  blank->SubsystemGroup.assign_cut("ignored");
  kvl->SubsystemVendor.assign_cut("KVL");
  first->Periphery = dgc;
  dgc->NextPeriphery = blank;
  blank->NextPeriphery = kvl;
  fc_config_file_entry* second = get_new_config_file_entry();
  ASSERT_NE(nullptr, second);
  second->CtrlVendor.assign_cut("AVeryLongVendorName");

  VerboseLevel = 4;
  Capture(PrintConditionsListing);
  EXPECT_EQ(kStarBanner +
                "\nList of allowed Fibre-Channel-Controller and "
                "Online-Storage-System combinations:\n\n"
                "Emulex     OCe11102-FM     \n"
                "\t\t1) DGC        RAID 5,RAID 10  \n"
                "\t\t2) KVL                        \n"
                "\n"
                "AVeryLongVendorName                 \n"
                "\n" +
                kStarBanner,
            out_);
}

}  // namespace
