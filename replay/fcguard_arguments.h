// The fcguard arguments a replay passes to every run.
#pragma once

#include <string>
#include <vector>

// The first argument that makes fcguard check nothing (--help, --info,
// --version, --show-return-codes, in every spelling fcguard accepts) or
// read and write outside its working directory (--conpath), read as
// fcguard's own option pass reads the words; empty when there is none.
// An explanation, which reads the directory it is given, accepts
// --conpath (allow_conpath).
std::string RefusedFcguardArgument(const std::vector<std::string>& args, bool allow_conpath);
