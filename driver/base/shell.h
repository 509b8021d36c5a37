// The platform services the engines use: the shell, and file status.
#pragma once

#include <string>
#include <string_view>

// The value as one shell word.  A value made only of [A-Za-z0-9_./:@%+=,-]
// is returned unchanged (so ordinary command lines stay byte for byte as
// they are); any other value is wrapped in single quotes.
std::string ShellQuote(std::string_view value);

// Runs the command line through /bin/sh and returns the raw status that
// system() reports (256 for a command that exited with 1).  The shell and
// what it starts get the default SIGPIPE disposition, whatever ours is.
int RunShellCommand(const std::string& command);

// True when a raw status of RunShellCommand says that the command did not
// complete: the shell could not be started (-1), the shell was killed, the
// shell reports a command killed by a signal (exit codes 129 to 192 stand
// for signals 1 to 64), or the command could not be run (126, 127).  Any
// other status, 0 or not, is the command's own answer.
bool CommandDidNotComplete(int status);

// Sets the process up so that its output can never end the run: SIGPIPE is
// ignored (a write to a closed pipe fails instead), and every one of the
// descriptors 0, 1 and 2 that is closed is opened on /dev/null, so that no
// file opened later takes its place and receives messages, and no command
// inherits a closed descriptor.
void ProtectStandardStreams();

// True when a "/"-separated component of the path is "..": such a path
// built from a report value could lead out of the directory it is meant to
// stay in.
bool HasParentComponent(std::string_view path);

// True when a file of this mode and owner can be changed by a user other
// than root and the user with the id `user`: its world-write bit is set
// (sticky or not), or another user owns it.  Group write is allowed.
bool OthersCanWrite(unsigned mode, unsigned owner, unsigned user);

// True, after "Error: <path> is writable by other users; refusing to use
// it." at level 1, when the path exists and OthersCanWrite holds for it and
// the effective user, or its POSIX access ACL grants write to a named user
// (other than root and the effective user) or a named group, or cannot be
// read.  A path that does not exist is not refused here.
bool RefuseForeignPath(const char* path);

// The same for a file already open, tested by its descriptor, so that what
// was tested is what is read; `path` only names it.
bool RefuseForeignFile(int fd, const char* path);

// True when a file-status query on the path succeeds.  On failure, when
// reason is not null, it receives the system's error text.
bool PathExists(const char* path, const char** reason = nullptr);
