// The platform services the engines use: the shell, and file status.
#pragma once

#include <string>
#include <string_view>

// The value as one shell word.  A value made only of [A-Za-z0-9_./:@%+=,-]
// is returned unchanged (so ordinary command lines stay byte for byte as
// they are); any other value is wrapped in single quotes.
std::string ShellQuote(std::string_view value);

// Runs the command line through /bin/sh and returns the raw status that
// system() reports (256 for a command that exited with 1).
int RunShellCommand(const std::string& command);

// True when a "/"-separated component of the path is "..": such a path
// built from a report value could lead out of the directory it is meant to
// stay in.
bool HasParentComponent(std::string_view path);

// True when a file-status query on the path succeeds.  On failure, when
// reason is not null, it receives the system's error text.
bool PathExists(const char* path, const char** reason = nullptr);
