// The command line: three passes over the words, the help and listing
// texts, the refusals, the combination rules and the mode of the run.
#pragma once

#include <cstddef>

#include "driver/base/settings.h"
#include "driver/run_state.h"

// The conditions file's name, appended with a "/" to its directory.
constexpr char kConditionsFileName[] = "FC_HBA_Conditions.txt";
// The longest directory that still fits a path buffer once "/" and the
// conditions file's name are appended.
constexpr std::size_t kMaxConditionsDirLength =
    PathText::kCapacity - 1 - (sizeof kConditionsFileName - 1);

// What the option pass does with a word of the command line (one whose
// leading "/" was already rewritten), tested in the pass's own order.  A
// level word (kLevel) and a value option (kValue, kConpath) take the next
// word as their value.
enum class OptionWord {
  kHelp, kInfo, kVersion, kSilent, kLevel, kValue, kConpath, kValidSubsystem,
  kCtrlWideIdentical, kCtrlVendorWideIdentical, kFlash, kSimulate, kShowReturnCodes,
  kDovMode, kInvalid
};
OptionWord ClassifyOptionWord(const char* word);

// A word whose first character is "/" is read as one that begins with "-".
void RewriteLeadingSlash(char* word);

// Takes the program name from the first word (rewrites no word), then runs
// the silent, level and option passes, the combination rules, and settles
// and publishes the mode.  Words whose first character is "/" (except the
// first word) are rewritten in place to begin with "-".  Help, tool info,
// version and the return-code listing end the process with 0; every refusal
// prints its message at level 1 and ends the process with 3.
void ParseCommandLine(int argc, char** argv, run_state* state);
