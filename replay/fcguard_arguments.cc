#include "replay/fcguard_arguments.h"

#include "driver/options.h"

std::string RefusedFcguardArgument(const std::vector<std::string>& args, bool allow_conpath) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string word = args[i];
    RewriteLeadingSlash(word.data());
    switch (ClassifyOptionWord(word.c_str())) {
      case OptionWord::kHelp:
      case OptionWord::kInfo:
      case OptionWord::kVersion:
      case OptionWord::kShowReturnCodes:
        return args[i];
      case OptionWord::kConpath:
        if (!allow_conpath) return args[i];
        ++i;
        break;
      case OptionWord::kLevel:
      case OptionWord::kValue:
        ++i;  // its value is no option
        break;
      default:
        break;
    }
  }
  return "";
}
