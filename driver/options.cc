#include "driver/options.h"

#include <cstring>
#include <string_view>

#include "conditions/selection_list.h"
#include "driver/base/fixed_text.h"
#include "driver/base/messages.h"
#include "driver/base/print_debug.h"
#include "driver/base/process_exit.h"
#include "driver/base/return_codes.h"
#include "driver/base/text.h"

namespace {

constexpr int kMinLevel = 0;
constexpr int kMaxLevel = 6;

// Options with a value beside the six selection kinds of selection_list.h.
constexpr int kPciIdOption = 6;
constexpr int kConpathOption = 7;

// A selection option's value is copied into this buffer before it is
// handed to the selection-list builders.
using OptionValueText = FixedText<1024>;

bool Equals(const char* word, const char* text) {
  return std::strcmp(word, text) == 0;
}

bool StartsWith(const char* word, const char* prefix) {
  return std::string_view(word).starts_with(prefix);
}

bool Contains(const char* word, const char* text) {
  return std::strstr(word, text) != nullptr;
}

void Silence() {
  DebugLevel = 0;
  VerboseLevel = 0;
  PrintDebugOnScreen = 0;
}

bool IsDebugWord(const char* word) {
  return (StartsWith(word, "--debug") || StartsWith(word, "-d")) &&
         !Contains(word, "-dev");
}

bool IsVerboseWord(const char* word) {
  return StartsWith(word, "-v") && !Contains(word, "-vid") &&
         !Contains(word, "-vn") && !Contains(word, "--version");
}

// The level given by the level word at argv[i], or -1 when the word is not
// exactly the short option or its value is missing or not a level.  The
// number parser runs last, so a bad word is refused before its value is
// converted.
int LevelValue(int argc, char** argv, int i, const char* option) {
  if (!Equals(argv[i], option) || i + 1 >= argc) return -1;
  char* value = argv[i + 1];
  if (value[0] == '\0' || value[0] == '-') return -1;
  int level = string2int(value, 10);
  return level >= kMinLevel && level <= kMaxLevel ? level : -1;
}

[[noreturn]] void RefuseDebugLevel() {
  PrintDebugf(1,
              "Please enter a valid debug-level (-d <debug-level>; min %d - "
              "max %d)!\n",
              kMinLevel, kMaxLevel);
  EndProcess(RET_BAD_CALL);
}

[[noreturn]] void RefuseVerboseLevel() {
  PrintDebugf(1,
              "Please enter a valid verbose-level (-v <verbose-level>; min %d "
              "- max %d)!\n",
              kMinLevel, kMaxLevel);
  EndProcess(RET_BAD_CALL);
}

// Pass 0: the program name, the rewrite of every later word, and the early
// silencing.
void SilentPass(int argc, char** argv, run_state* state) {
  const char* first = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  state->start_word = first;
  const char* slash = std::strrchr(first, '/');
  state->program_name.assign_cut(slash != nullptr ? slash + 1 : first);
  for (int i = 1; i < argc; ++i) {
    RewriteLeadingSlash(argv[i]);
    if (Contains(argv[i], "--silent")) Silence();
  }
}

// Pass 1: the output levels.  Values of other options are tested as words
// too, since this pass does not know those options.
void LevelPass(int argc, char** argv, run_state* state) {
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (Contains(word, "--silent")) {
      Silence();
    } else if (IsDebugWord(word)) {
      int level = LevelValue(argc, argv, i, "-d");
      if (level < 0) RefuseDebugLevel();
      DebugLevel = level;
      state->option_debug_given = 1;
      ++i;
    } else if (IsVerboseWord(word)) {
      int level = LevelValue(argc, argv, i, "-v");
      if (level < 0) RefuseVerboseLevel();
      VerboseLevel = level;
      state->option_verbose_given = 1;
      PrintDebugOnScreen = VerboseLevel > 0 ? 1 : 0;
      ++i;
    }
  }

  if (state->option_verbose_given && state->option_debug_given) {
    // Back to the defaults, so that the refusal is seen.
    DebugLevel = 0;
    VerboseLevel = 1;
    PrintDebugOnScreen = 1;
    PrintDebugf(1, "\nUsing options %s and %s simultaneously is not supported!\n",
                "--debug", "-v");
    EndProcess(RET_BAD_CALL);
  }
  if (state->option_debug_given) {
    // A debug level switches screen output off.
    VerboseLevel = 0;
    PrintDebugOnScreen = 0;
  }
  if (state->option_verbose_given) PrintDebugOnScreen = 1;
}

// The options that take a value, in the order they are tested: the six
// selection kinds, -pci-id and --conpath.  A selection kind also sets its
// given flag; each option has its refusal for a missing value, and some a
// second one for when the next word was empty or began with "-".
struct ValueOption {
  const char* word;
  bool (*matches)(const char* word, const char* text);
  int option;              // a kind code of selection_list.h, kPciIdOption or kConpathOption
  int run_state::*given;   // null for -pci-id and --conpath
  const char* missing;
  const char* missing_value;  // null: the same refusal as missing
};

constexpr ValueOption kValueOptions[] = {
    {"-subvid", Contains, kSelectSubVendorId, &run_state::option_subvid_given,
     "Please enter at least one controller sub-vendor-id (\"1A0F,2B03,...hex-value\")!\n",
     nullptr},
    {"-vid", Contains, kSelectVendorId, &run_state::option_vid_given,
     "Please enter at least one controller vendor-id (\"1A0F,2B03,...hex-value\")!\n", nullptr},
    {"-mod", StartsWith, kSelectModel, &run_state::option_mod_given,
     "Please enter at least one controller-model string "
     "(\"LPe11002-M4, ZR910-HX31q, QLE2460... \")!\n",
     nullptr},
    {"-vn", Contains, kSelectVendorName, &run_state::option_vn_given,
     "Please enter at least one controller vendor-name (\"Emulex, QLogic, ... \")!\n", nullptr},
    {"-dev", Contains, kSelectDeviceId, &run_state::option_dev_given,
     "Please enter at least one controller device-id (\"1A0F,2B03,...hex-value\")!\n",
     "Please enter at least one controller device-id (\"hex-value\")!\n"},
    {"-subdev", Contains, kSelectSubDeviceId, &run_state::option_subdev_given,
     "Please enter at least one controller sub-device-id (\"1A0F,2B03,...hex-value\")!\n",
     "Please enter at least one controller sub-device-id (\"hex-value\")!\n"},
    {"-pci-id", Contains, kPciIdOption, nullptr,
     "Please enter at least one pair of vendor- and device-id (\"1A0F:2B03,...hex-value\")!\n",
     "Please enter at least one pair of vendor- and device-id (\"1A0F:2B03,...hex-value\")\n"},
    // Its refusal names the conditions file.
    {"--conpath", Contains, kConpathOption, nullptr, nullptr, nullptr},
};

// The value option the word names, or null for none.
const ValueOption* ValueOptionOf(const char* word) {
  for (const ValueOption& option : kValueOptions)
    if (option.matches(word, option.word)) return &option;
  return nullptr;
}

// The refusal of a value option whose value is missing: at_end when the
// option ended the command line.
[[noreturn]] void RefuseMissingValue(const ValueOption& option, bool at_end) {
  if (option.option == kConpathOption)
    PrintDebugf(1, "Please enter a path for file %s and/or HBA firmware!\n", kConditionsFileName);
  else
    PrintDebugf(1, "%s",
                at_end || option.missing_value == nullptr ? option.missing : option.missing_value);
  EndProcess(RET_BAD_CALL);
}

// The value after the option at argv[*i]; consumes it.
const char* TakeValue(int argc, char** argv, int* i, const ValueOption& option) {
  if (*i + 1 >= argc) RefuseMissingValue(option, true);
  const char* value = argv[*i + 1];
  if (value[0] == '\0' || value[0] == '-') RefuseMissingValue(option, false);
  ++*i;
  return value;
}

void SaveSelection(run_state* state, const char* word, const ValueOption& option,
                   const char* value) {
  OptionValueText buffer;
  if (!buffer.assign(value)) {
    PrintDebugf(1, "\n\nThe value of option '%s' is too long (max %zu characters)!\n\n",
                word, OptionValueText::kCapacity);
    EndProcess(RET_BAD_CALL);
  }
  if (option.option == kPciIdOption) {
    state->selection_list = save_list_of_pci_ids(buffer.c_str());
    return;
  }
  state->*option.given = 1;
  state->selection_list = save_list_of_ctrl_options(buffer.data(), option.option);
}

void SaveConpath(const char* value) {
  std::string_view directory(value);
  if (directory.size() > kMaxConditionsDirLength || !pHBAConditionsPath.assign(directory)) {
    PrintDebugf(1, "Please enter a shorter path for file %s and/or HBA "
                   "firmware (max %zu characters)!\n",
                kConditionsFileName, kMaxConditionsDirLength);
    EndProcess(RET_BAD_CALL);
  }
  pHBAFirmwarePath = pHBAConditionsPath;
  pHBAWorkingPath = pHBAConditionsPath;
}

// Pass 2: every word in turn, handled as ClassifyOptionWord tells.
void OptionPass(int argc, char** argv, run_state* state) {
  const char* program_name = state->program_name.c_str();
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    switch (ClassifyOptionWord(word)) {
      case OptionWord::kHelp:
        PrintHelp(program_name);
        EndProcess(RET_OK);
      case OptionWord::kInfo:
        PrintToolInfo(program_name);
        EndProcess(RET_OK);
      case OptionWord::kVersion:
        PrintVersion();
        EndProcess(RET_OK);
      case OptionWord::kSilent:
        Silence();
        break;
      case OptionWord::kLevel:
        ++i;  // checked and applied by the level pass; skip its value
        break;
      case OptionWord::kValue:
      case OptionWord::kConpath: {
        const ValueOption& option = *ValueOptionOf(word);
        const char* value = TakeValue(argc, argv, &i, option);
        if (option.option == kConpathOption)
          SaveConpath(value);
        else
          SaveSelection(state, word, option, value);
        break;
      }
      case OptionWord::kValidSubsystem:
        state->option_valid_subsystem = 1;
        break;
      case OptionWord::kCtrlWideIdentical:
        state->option_ctrl_wide_identical = 1;
        break;
      case OptionWord::kCtrlVendorWideIdentical:
        state->option_ctrl_vendor_wide_identical = 1;
        break;
      case OptionWord::kFlash:
        state->option_flash = 1;
        break;
      case OptionWord::kSimulate:
        active_option_simulate = 1;
        break;
      case OptionWord::kShowReturnCodes:
        PrintReturnCodes();
        EndProcess(RET_OK);
      case OptionWord::kDovMode:
        state->option_dov_mode = 1;
        break;
      case OptionWord::kInvalid:
        PrintDebugf(1, "\n\nInvalid argument '%s' !\n\n", word);
        EndProcess(RET_BAD_CALL);
    }
  }
}

[[noreturn]] void RefuseCombination(const char* with) {
  PrintDebugf(1,
              "\n\nCombining options \"%s\", \"%s\", \"%s\", \"%s\" together "
              "with option \"%s\" is not supported.\t!\n",
              "-vid", "-subvid", "-dev", "-subdev", with);
  EndProcess(RET_BAD_CALL);
}

// A selection option that needs another: the first row whose option is
// given without the one it needs refuses the call.
struct NeededOption {
  int run_state::*given;
  int run_state::*needed;
  const char* what;  // what the needed option gives
  const char* needed_word;
  const char* word;
};

constexpr NeededOption kNeededOptions[] = {
    {&run_state::option_mod_given, &run_state::option_vn_given, "vendor-names", "-vn", "-mod"},
    {&run_state::option_dev_given, &run_state::option_vid_given, "one or more vendor-ids", "-vid",
     "-dev"},
    {&run_state::option_subvid_given, &run_state::option_dev_given, "one or more device-ids",
     "-dev", "-subvid"},
    {&run_state::option_subdev_given, &run_state::option_subvid_given,
     "one or more subvendor-ids", "-subvid", "-subdev"},
    {&run_state::option_subvid_given, &run_state::option_subdev_given,
     "one or more subdevice-ids", "-subdev", "-subvid"},
};

void CheckCombinations(const run_state& s) {
  bool any_id = s.option_vid_given || s.option_subvid_given ||
                s.option_dev_given || s.option_subdev_given;
  if (any_id && s.option_vn_given) RefuseCombination("-vn");
  if (any_id && s.option_mod_given) RefuseCombination("-mod");
  for (const NeededOption& rule : kNeededOptions) {
    if (s.*rule.given == 0 || s.*rule.needed != 0) continue;
    PrintDebugf(1, "\n\nPlease, also specify %s (option \"%s\")\n, if using option \"%s\"!\n",
                rule.what, rule.needed_word, rule.word);
    EndProcess(RET_BAD_CALL);
  }
}

// The validity check is the mode unless another was chosen; the three
// check modes are then published for the sub-system check.
void SettleMode(run_state* state) {
  if (!state->option_ctrl_vendor_wide_identical &&
      !state->option_ctrl_wide_identical && !state->option_flash)
    state->option_valid_subsystem = 1;
  active_option_valid_subsystem = state->option_valid_subsystem;
  active_option_ctrl_wide_identical = state->option_ctrl_wide_identical;
  active_option_ctrl_vendor_wide_identical =
      state->option_ctrl_vendor_wide_identical;
}

}  // namespace

OptionWord ClassifyOptionWord(const char* word) {
  if (Equals(word, "-?") || Equals(word, "-h") || Equals(word, "--help") ||
      Equals(word, "--hiddenhelp"))
    return OptionWord::kHelp;
  if (Equals(word, "--info")) return OptionWord::kInfo;
  if (Equals(word, "--version")) return OptionWord::kVersion;
  if (Contains(word, "--silent")) return OptionWord::kSilent;
  if (IsVerboseWord(word) || IsDebugWord(word)) return OptionWord::kLevel;
  if (const ValueOption* option = ValueOptionOf(word))
    return option->option == kConpathOption ? OptionWord::kConpath : OptionWord::kValue;
  if (Contains(word, "--check-for-valid-subsystem")) return OptionWord::kValidSubsystem;
  if (Contains(word, "--ctrl-wide-identical")) return OptionWord::kCtrlWideIdentical;
  if (Equals(word, "--ctrl-vendor-wide-identical")) return OptionWord::kCtrlVendorWideIdentical;
  if (Equals(word, "--flash")) return OptionWord::kFlash;
  if (Equals(word, "--simulate")) return OptionWord::kSimulate;
  if (Equals(word, "--show-return-codes") || Equals(word, "--show-return-code"))
    return OptionWord::kShowReturnCodes;
  if (StartsWith(word, "--dov-mode")) return OptionWord::kDovMode;
  return OptionWord::kInvalid;
}

void RewriteLeadingSlash(char* word) {
  if (word[0] == '/') word[0] = '-';
}

void ParseCommandLine(int argc, char** argv, run_state* state) {
  SilentPass(argc, argv, state);
  LevelPass(argc, argv, state);
  OptionPass(argc, argv, state);
  CheckCombinations(*state);
  SettleMode(state);
}
