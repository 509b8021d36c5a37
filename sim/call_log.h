// The simulator's call log: one line per call, so that tests can compare
// the exact command lines that reached hbacmd.
#pragma once

#include <string>
#include <string_view>

// The arguments joined by single blanks, with backslash, newline, carriage
// return and tab written as \\ \n \r \t and every other byte outside the
// printable ASCII range as \xNN (two lower-case hex digits).
std::string EscapeCall(int argc, const char* const* argv);

// Appends the line and a newline to the file in one write.  Returns false
// with the system's reason when the file cannot be written.
bool AppendCallLog(const char* path, std::string_view line, std::string* reason);
