#include "driver/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conditions/config_file.h"
#include "conditions/selection_list.h"
#include "driver/base/process_exit.h"
#include "driver/base/settings.h"
#include "driver/run_state.h"
#include "driver/base/settings.h"
#include "tests/support/fresh_state_test.h"

namespace {

constexpr int kReturned = -1;

class CommandLineTest : public test_support::FreshStateTest {
 protected:
  static void Reset() { test_support::ResetProcessState(); }

  // Parses "fcguard" followed by the words.  Returns the status with which
  // the parse ended the process, or kReturned.
  int Parse(const std::vector<std::string>& words,
            const std::string& first = "fcguard") {
    words_.assign({first});
    words_.insert(words_.end(), words.begin(), words.end());
    argv_.clear();
    for (std::string& word : words_) argv_.push_back(word.data());
    argv_.push_back(nullptr);
    state_ = run_state{};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = kReturned;
    try {
      ParseCommandLine(static_cast<int>(words_.size()), argv_.data(), &state_);
    } catch (const ProcessExit& ended) {
      status = ended.status;
    }
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return status;
  }

  std::vector<std::string> words_;
  std::vector<char*> argv_;
  run_state state_{};
  std::string out_;
  std::string err_;
};

const char kDebugLevelMessage[] =
    "Please enter a valid debug-level (-d <debug-level>; min 0 - max 6)!\n";
const char kVerboseLevelMessage[] =
    "Please enter a valid verbose-level (-v <verbose-level>; min 0 - max 6)!\n";
const char kToolInfo[] = "\nPRELIMINARY fcguard version " FCGUARD_VERSION "\n";

std::string Invalid(const std::string& word) {
  return "\n\nInvalid argument '" + word + "' !\n\n";
}

TEST_F(CommandLineTest, SlashBecomesDashInEveryWordButTheFirst) {
  EXPECT_EQ(0, Parse({"/?"}, "/usr/sbin/fcguard"));
  EXPECT_TRUE(out_.starts_with(kToolInfo));
  EXPECT_EQ("/usr/sbin/fcguard", words_[0]);
  EXPECT_EQ("-?", words_[1]);

  EXPECT_EQ(0, Parse({"/h"}));
  EXPECT_TRUE(out_.starts_with(kToolInfo));

  // -silent is not --silent.
  EXPECT_EQ(3, Parse({"/silent"}));
  EXPECT_EQ(Invalid("-silent"), out_);
}

TEST_F(CommandLineTest, ConpathValueBeginningWithSlashIsRefused) {
  EXPECT_EQ(3, Parse({"--conpath", "/opt/dir"}));
  EXPECT_EQ("Please enter a path for file FC_HBA_Conditions.txt and/or HBA "
            "firmware!\n",
            out_);
  // The rewritten value reads as a level word to the level pass.
  EXPECT_EQ(3, Parse({"--conpath", "/data"}));
  EXPECT_EQ(kDebugLevelMessage, out_);
  EXPECT_EQ(3, Parse({"--conpath", "/var/fc"}));
  EXPECT_EQ(kVerboseLevelMessage, out_);

  EXPECT_EQ(kReturned, Parse({"--conpath", "conf/fc"}));
  EXPECT_EQ("conf/fc", pHBAConditionsPath);
  EXPECT_EQ("conf/fc", pHBAFirmwarePath);
  EXPECT_EQ("conf/fc", pHBAWorkingPath);
}

TEST_F(CommandLineTest, DebugLevelSwitchesScreenOutputOff) {
  EXPECT_EQ(kReturned, Parse({"-d", "3"}));
  EXPECT_EQ(3, DebugLevel);
  EXPECT_EQ(0, VerboseLevel);
  EXPECT_EQ(0, PrintDebugOnScreen);
  EXPECT_EQ(1, state_.option_debug_given);

  // The refusal is printed because the levels are reset first.
  EXPECT_EQ(3, Parse({"-d", "3", "-v", "2"}));
  EXPECT_EQ("\nUsing options --debug and -v simultaneously is not supported!\n",
            out_);
  EXPECT_EQ(0, DebugLevel);
  EXPECT_EQ(1, VerboseLevel);
  EXPECT_EQ(1, PrintDebugOnScreen);
}

TEST_F(CommandLineTest, VerboseLevel) {
  EXPECT_EQ(kReturned, Parse({"-v", "6"}));
  EXPECT_EQ(6, VerboseLevel);
  EXPECT_EQ(1, PrintDebugOnScreen);
  EXPECT_EQ(1, state_.option_verbose_given);

  EXPECT_EQ(kReturned, Parse({"-v", " 2 "}));
  EXPECT_EQ(2, VerboseLevel);

  // -v 0 shows nothing at any level.
  EXPECT_EQ(kReturned, Parse({"-v", "0"}));
  EXPECT_EQ(0, VerboseLevel);
  EXPECT_EQ(0, DebugLevel);
}

TEST_F(CommandLineTest, BadLevelWordsAndValuesAreRefused) {
  for (auto words : std::vector<std::vector<std::string>>{
           {"--debug", "3"}, {"-d3"}, {"-dx"}, {"-d"}, {"-d", ""},
           {"-d", "-1"}, {"-d", "7"}, {"-d", "3x"}, {"-d", "4294967295"}}) {
    SCOPED_TRACE(words[0]);
    ResetSettings();
    EXPECT_EQ(3, Parse(words));
    EXPECT_EQ(kDebugLevelMessage, out_);
  }
  for (auto words : std::vector<std::vector<std::string>>{
           {"-v3"}, {"-verbose"}, {"-v"}, {"-v", "7"}, {"-v", "-1"},
           {"-v", "x"}, {"-v", "4294967295"}, {"-vx", "1"}}) {
    SCOPED_TRACE(words[0]);
    ResetSettings();
    EXPECT_EQ(3, Parse(words));
    EXPECT_EQ(kVerboseLevelMessage, out_);
  }
}

TEST_F(CommandLineTest, BadLevelWordIsRefusedBeforeItsValueIsConverted) {
  EXPECT_EQ(3, Parse({"-v3", "99999999999999999999999999"}));
  EXPECT_EQ(kVerboseLevelMessage, out_);
  EXPECT_EQ("", err_);
}

TEST_F(CommandLineTest, LevelTooLargeForTheNumberParser) {
  // 2^32 fits an unsigned long only in the 64-bit build, where it is taken
  // modulo the int width.
  int status = Parse({"-v", "4294967296"});
  if (sizeof(unsigned long) > 4) {
    EXPECT_EQ(kReturned, status);
    EXPECT_EQ(0, VerboseLevel);
  } else {
    EXPECT_EQ(1, status);
    EXPECT_EQ("strtoul: Numerical result out of range\n", err_);
  }
  EXPECT_EQ(1, Parse({"-v", "99999999999999999999999"}));
  EXPECT_EQ("strtoul: Numerical result out of range\n", err_);
}

TEST_F(CommandLineTest, SilentWordsAndTheirOrder) {
  // The level pass sets the verbose level after the silencing.
  EXPECT_EQ(0, Parse({"--help", "--silent", "-v", "2"}));
  EXPECT_TRUE(out_.starts_with(kToolInfo));

  EXPECT_EQ(0, Parse({"-v", "2", "--silent", "--help"}));
  EXPECT_EQ("", out_);

  EXPECT_EQ(kReturned, Parse({"--silently"}));
  EXPECT_EQ(0, VerboseLevel);
  EXPECT_EQ(0, PrintDebugOnScreen);

  EXPECT_EQ(3, Parse({"--silent", "-x"}));
  EXPECT_EQ("", out_);
}

TEST_F(CommandLineTest, WordsAreTestedInOrder) {
  EXPECT_EQ(3, Parse({"-x", "--help"}));
  EXPECT_EQ(Invalid("-x"), out_);
  EXPECT_EQ(0, Parse({"--version", "-x"}));
  EXPECT_EQ(FCGUARD_VERSION "\n", out_);
}

TEST_F(CommandLineTest, WordsTheUsageShowsButTheParserRefuses) {
  for (const char* word : {"-sr", "-check-for-valid-subsystem",
                           "-ctrl-vendor-wide-identical", "--flash-all",
                           "-help", "--Help", ""}) {
    SCOPED_TRACE(word);
    EXPECT_EQ(3, Parse({word}));
    EXPECT_EQ(Invalid(word), out_);
  }
}

TEST_F(CommandLineTest, ListingsEndTheRunWithZero) {
  EXPECT_EQ(0, Parse({"--info"}));
  EXPECT_EQ(kToolInfo, out_);
  EXPECT_EQ(0, Parse({"--version"}));
  EXPECT_EQ(FCGUARD_VERSION "\n", out_);
  EXPECT_EQ(0, Parse({"--show-return-codes"}));
  EXPECT_TRUE(out_.starts_with("\nList of possible return codes\n\n   Valid "
                               "return codes\n\n   RET_OK "));
  EXPECT_TRUE(out_.ends_with("   RET_FATAL_ERROR                         55\n\n"));
  EXPECT_EQ(0, Parse({"--show-return-code"}));
  EXPECT_TRUE(out_.starts_with("\nList of possible return codes\n"));
  EXPECT_EQ(0, Parse({"--hiddenhelp"}));
  EXPECT_TRUE(out_.starts_with(kToolInfo));
  EXPECT_TRUE(out_.ends_with("identical storage-sub-systems.\n\n\n"));
}

TEST_F(CommandLineTest, HelpNamesTheProgramAsStarted) {
  EXPECT_EQ(0, Parse({"-h"}, "./bin/fcguard32"));
  EXPECT_TRUE(out_.starts_with("\nPRELIMINARY fcguard32 version " FCGUARD_VERSION "\n"
                               "\nUSAGE:\t fcguard32 [ options ]\n"));
  EXPECT_NE(std::string::npos, out_.find("Examples:\n\n1) fcguard32 -v 1 "));
  EXPECT_NE(std::string::npos, out_.find("\n2) fcguard32 -v 6 "));
}

TEST_F(CommandLineTest, ProgramNameIsCutToFit) {
  std::string name(40, 'n');
  EXPECT_EQ(0, Parse({"--info"}, "/a/b/" + name));
  EXPECT_EQ("\nPRELIMINARY " + name.substr(0, 31) + " version " FCGUARD_VERSION "\n", out_);
  EXPECT_EQ(0, Parse({"--info"}, "dir/"));
  EXPECT_EQ("\nPRELIMINARY  version " FCGUARD_VERSION "\n", out_);
}

TEST_F(CommandLineTest, NoWordsAtAll) {
  char* argv[] = {nullptr};
  state_ = run_state{};
  ParseCommandLine(0, argv, &state_);
  EXPECT_STREQ("", state_.start_word);
  EXPECT_EQ(1, active_option_valid_subsystem);
}

struct MissingValueCase {
  const char* option;
  const char* last_word_message;
  const char* bad_value_message;
};

TEST_F(CommandLineTest, ValueOptionsRefuseAMissingValue) {
  const MissingValueCase cases[] = {
      {"-subvid",
       "Please enter at least one controller sub-vendor-id (\"1A0F,2B03,...hex-value\")!\n",
       "Please enter at least one controller sub-vendor-id (\"1A0F,2B03,...hex-value\")!\n"},
      {"-vid",
       "Please enter at least one controller vendor-id (\"1A0F,2B03,...hex-value\")!\n",
       "Please enter at least one controller vendor-id (\"1A0F,2B03,...hex-value\")!\n"},
      {"-mod",
       "Please enter at least one controller-model string (\"LPe11002-M4, ZR910-HX31q, QLE2460... \")!\n",
       "Please enter at least one controller-model string (\"LPe11002-M4, ZR910-HX31q, QLE2460... \")!\n"},
      {"-vn",
       "Please enter at least one controller vendor-name (\"Emulex, QLogic, ... \")!\n",
       "Please enter at least one controller vendor-name (\"Emulex, QLogic, ... \")!\n"},
      {"-dev",
       "Please enter at least one controller device-id (\"1A0F,2B03,...hex-value\")!\n",
       "Please enter at least one controller device-id (\"hex-value\")!\n"},
      {"-subdev",
       "Please enter at least one controller sub-device-id (\"1A0F,2B03,...hex-value\")!\n",
       "Please enter at least one controller sub-device-id (\"hex-value\")!\n"},
      {"-pci-id",
       "Please enter at least one pair of vendor- and device-id (\"1A0F:2B03,...hex-value\")!\n",
       "Please enter at least one pair of vendor- and device-id (\"1A0F:2B03,...hex-value\")\n"},
      {"--conpath",
       "Please enter a path for file FC_HBA_Conditions.txt and/or HBA firmware!\n",
       "Please enter a path for file FC_HBA_Conditions.txt and/or HBA firmware!\n"},
  };
  for (const MissingValueCase& c : cases) {
    SCOPED_TRACE(c.option);
    EXPECT_EQ(3, Parse({c.option}));
    EXPECT_EQ(c.last_word_message, out_);
    EXPECT_EQ(3, Parse({c.option, ""}));
    EXPECT_EQ(c.bad_value_message, out_);
    EXPECT_EQ(3, Parse({c.option, "-x", "--help"}));
    EXPECT_EQ(c.bad_value_message, out_);
  }
}

TEST_F(CommandLineTest, ValueIsNeverTestedAsAnOption) {
  EXPECT_EQ(kReturned, Parse({"-vn", "help", "--conpath", "x-vid"}));
  EXPECT_EQ("x-vid", pHBAConditionsPath);
  EXPECT_EQ(0, state_.option_vid_given);
}

TEST_F(CommandLineTest, OptionsMatchedAsSubstringsAndPrefixes) {
  EXPECT_EQ(kReturned, Parse({"x-vidy", "19A2"}));
  EXPECT_EQ(1, state_.option_vid_given);
  ASSERT_NE(nullptr, state_.selection_list);
  EXPECT_EQ(0x19A2, state_.selection_list->PciVendorId);

  EXPECT_EQ(kReturned, Parse({"--dov-mode-x"}));
  EXPECT_EQ(1, state_.option_dov_mode);
  EXPECT_EQ(kReturned, Parse({"-model", "LPe", "--vn", "Emulex"}));
  EXPECT_EQ(1, state_.option_mod_given);
  EXPECT_EQ(1, state_.option_vn_given);
  EXPECT_EQ(3, Parse({"x-mod", "LPe"}));
  EXPECT_EQ(Invalid("x-mod"), out_);
}

TEST_F(CommandLineTest, LastSelectionOptionGivesTheList) {
  EXPECT_EQ(kReturned, Parse({"-pci-id", "19A2:0714", "-vid", "10DF"}));
  ASSERT_NE(nullptr, state_.selection_list);
  EXPECT_EQ(0x10DF, state_.selection_list->PciVendorId);
  EXPECT_EQ(0, state_.selection_list->PciDeviceId);

  Reset();
  EXPECT_EQ(kReturned, Parse({"-vid", "10DF", "-pci-id", "19A2:0714"}));
  ASSERT_NE(nullptr, state_.selection_list);
  EXPECT_EQ(0x19A2, state_.selection_list->PciVendorId);
  EXPECT_EQ(0x0714, state_.selection_list->PciDeviceId);

  Reset();
  EXPECT_EQ(kReturned, Parse({"--flash"}));
  EXPECT_EQ(nullptr, state_.selection_list);
}

TEST_F(CommandLineTest, SelectionValueIsHandedOnAsTyped) {
  EXPECT_EQ(kReturned, Parse({"-vid", "19A2,10DF", "-dev", "0714"}));
  ASSERT_NE(nullptr, state_.selection_list);
  ASSERT_NE(nullptr, state_.selection_list->next);
  EXPECT_EQ(0x10DF, state_.selection_list->next->PciVendorId);
  // The builders split a copy; the command line keeps its words.
  EXPECT_EQ("19A2,10DF", words_[2]);
}

TEST_F(CommandLineTest, SelectionParserEndsTheRunItself) {
  EXPECT_EQ(55, Parse({"-vid", "19G2"}));
  EXPECT_EQ(3, Parse({"-pci-id", "19A2"}));
}

TEST_F(CommandLineTest, CombinationRules) {
  const std::string kCombining =
      "\n\nCombining options \"-vid\", \"-subvid\", \"-dev\", \"-subdev\" "
      "together with option \"";
  struct Case {
    std::vector<std::string> words;
    std::string message;
  };
  const Case cases[] = {
      {{"-vid", "1", "-vn", "E"}, kCombining + "-vn\" is not supported.\t!\n"},
      {{"-subdev", "1", "-mod", "M", "-vn", "E"},
       kCombining + "-vn\" is not supported.\t!\n"},
      {{"-dev", "1", "-mod", "M"}, kCombining + "-mod\" is not supported.\t!\n"},
      {{"-mod", "LPe11002-M4"},
       "\n\nPlease, also specify vendor-names (option \"-vn\")\n, if using "
       "option \"-mod\"!\n"},
      {{"-dev", "0710"},
       "\n\nPlease, also specify one or more vendor-ids (option \"-vid\")\n, "
       "if using option \"-dev\"!\n"},
      {{"-vid", "1", "-subvid", "2", "-subdev", "3"},
       "\n\nPlease, also specify one or more device-ids (option \"-dev\")\n, "
       "if using option \"-subvid\"!\n"},
      {{"-vid", "1", "-dev", "2", "-subdev", "3"},
       "\n\nPlease, also specify one or more subvendor-ids (option "
       "\"-subvid\")\n, if using option \"-subdev\"!\n"},
      {{"-vid", "19A2", "-dev", "0710", "-subvid", "2B03"},
       "\n\nPlease, also specify one or more subdevice-ids (option "
       "\"-subdev\")\n, if using option \"-subvid\"!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Reset();
    EXPECT_EQ(3, Parse(c.words));
    EXPECT_EQ(c.message, out_);
  }
}

TEST_F(CommandLineTest, AcceptedSelections) {
  EXPECT_EQ(kReturned, Parse({"-vid", "19A2"}));
  Reset();
  EXPECT_EQ(kReturned, Parse({"-vn", "Emulex"}));
  Reset();
  EXPECT_EQ(kReturned, Parse({"-vn", "Emulex", "-mod", "LPe"}));
  Reset();
  EXPECT_EQ(kReturned, Parse({"-vid", "1", "-dev", "2", "-subvid", "3",
                              "-subdev", "4"}));
  Reset();
  // -pci-id takes part in no combination rule.
  EXPECT_EQ(kReturned, Parse({"-pci-id", "19A2:0714", "-vn", "Emulex"}));
}

TEST_F(CommandLineTest, ModeIsSettledAndPublished) {
  EXPECT_EQ(kReturned, Parse({}));
  EXPECT_EQ(1, state_.option_valid_subsystem);
  EXPECT_EQ(1, active_option_valid_subsystem);
  EXPECT_EQ(0, active_option_ctrl_wide_identical);
  EXPECT_EQ(0, active_option_ctrl_vendor_wide_identical);

  EXPECT_EQ(kReturned, Parse({"--flash"}));
  EXPECT_EQ(1, state_.option_flash);
  EXPECT_EQ(0, active_option_valid_subsystem);
  EXPECT_EQ(0, active_option_ctrl_wide_identical);
  EXPECT_EQ(0, active_option_ctrl_vendor_wide_identical);

  EXPECT_EQ(kReturned, Parse({"--flash", "--check-for-valid-subsystem"}));
  EXPECT_EQ(1, active_option_valid_subsystem);

  EXPECT_EQ(kReturned, Parse({"--ctrl-wide-identical"}));
  EXPECT_EQ(0, active_option_valid_subsystem);
  EXPECT_EQ(1, active_option_ctrl_wide_identical);

  EXPECT_EQ(kReturned, Parse({"--ctrl-vendor-wide-identical", "--simulate"}));
  EXPECT_EQ(0, active_option_valid_subsystem);
  EXPECT_EQ(1, active_option_ctrl_vendor_wide_identical);
  EXPECT_EQ(1, active_option_simulate);
}

TEST_F(CommandLineTest, OverlongValuesAreRefused) {
  std::string longest(1023, 'E');
  EXPECT_EQ(kReturned, Parse({"-vn", longest}));
  EXPECT_EQ(3, Parse({"-vn", longest + "E"}));
  EXPECT_EQ("\n\nThe value of option '-vn' is too long (max 1023 characters)!\n\n",
            out_);
  EXPECT_EQ(3, Parse({"-pci-id", std::string(5000, '1')}));

  std::string directory(kMaxConditionsDirLength, 'd');
  EXPECT_EQ(1001u, directory.size());
  EXPECT_EQ(kReturned, Parse({"--conpath", directory}));
  EXPECT_EQ(directory, pHBAConditionsPath);
  EXPECT_EQ(3, Parse({"--conpath", directory + "d"}));
  EXPECT_EQ("Please enter a shorter path for file FC_HBA_Conditions.txt and/or "
            "HBA firmware (max 1001 characters)!\n",
            out_);
}

TEST_F(CommandLineTest, LongWordsNeverOverrunTheMessage) {
  std::string word(10000, 'x');
  EXPECT_EQ(3, Parse({word}));
  EXPECT_EQ(4095u, out_.size());
  EXPECT_TRUE(out_.starts_with("\n\nInvalid argument 'xxx"));
}

}  // namespace
