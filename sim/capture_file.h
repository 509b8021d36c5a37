// Reading a file of a capture, which may come from any server and hold
// anything: a file is looked at before it is opened (never a device, a FIFO,
// a socket or a link; never more than a size bound), and read only when
// it is a regular file.
#pragma once

#include <sys/types.h>

#include <string>

// Reports are a few kilobytes and a listing of half a million ports about
// 63 MB; a capture file beyond this is not one.
constexpr off_t kMaxCapturedBytes = 64 * 1024 * 1024;

enum class Opened { kOpen, kAbsent, kBroken };

// Opens PATH for reading when it is a regular file of at most max_bytes and
// not a symbolic link: kOpen with *fd.  kAbsent when nothing has that
// name; kBroken with a message naming the file otherwise.  The file is
// first opened as a path only (O_PATH | O_NOFOLLOW), which reads nothing
// and starts no device; only a regular file is then opened for reading,
// through /proc/self/fd, so that what is read is the file that was looked at.
Opened OpenCaptured(const std::string& path, off_t max_bytes, int* fd, std::string* message);

// Appends the rest of the file to *text; false with a message naming the
// path when it cannot be read or grows beyond max_bytes.
bool ReadCaptured(int fd, const std::string& path, off_t max_bytes, std::string* text,
                  std::string* message);

// The message for a capture file that cannot be read.
std::string CannotRead(const std::string& path, const std::string& reason);
