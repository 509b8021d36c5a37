#include "replay/fcguard_arguments.h"

#include "driver/options.h"

std::string RefusedFcguardArgument(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string word = args[i];
    RewriteLeadingSlash(word.data());
    switch (ClassifyOptionWord(word.c_str())) {
      case OptionWord::kHelp:
      case OptionWord::kInfo:
      case OptionWord::kVersion:
      case OptionWord::kShowReturnCodes:
      case OptionWord::kConpath:
        return args[i];
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
