#include "sim/capture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string CannotRead(const std::string& path, const std::string& reason) {
  return "hbacmd-sim: cannot read capture file " + path + ": " + reason;
}

namespace {

std::string TooLarge(off_t max_bytes) {
  return "larger than " + std::to_string(max_bytes) + " bytes";
}

// What keeps the file from being read, or null.
const char* Refusal(const struct stat& status) {
  if (S_ISLNK(status.st_mode)) return "a symbolic link";
  if (S_ISDIR(status.st_mode)) return "a directory";
  if (S_ISFIFO(status.st_mode)) return "a FIFO";
  if (S_ISSOCK(status.st_mode)) return "a socket";
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return "a device";
  if (!S_ISREG(status.st_mode)) return "not a regular file";
  return nullptr;
}

}  // namespace

Opened OpenCaptured(const std::string& path, off_t max_bytes, int* fd, std::string* message) {
  *fd = -1;
  int probe = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (probe < 0) {
    if (errno == ENOENT) return Opened::kAbsent;
    *message = CannotRead(path, std::strerror(errno));
    return Opened::kBroken;
  }
  struct stat looked;
  std::string reason;
  if (fstat(probe, &looked) != 0) reason = std::strerror(errno);
  else if (const char* refusal = Refusal(looked)) reason = refusal;
  else if (looked.st_size > max_bytes) reason = TooLarge(max_bytes);
  if (reason.empty()) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", probe);
    // O_NONBLOCK and O_NOCTTY: harmless on the regular file it must be.
    *fd = open(self, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat opened;
    if (*fd < 0)
      reason = std::string("cannot reopen it through /proc/self/fd: ") + std::strerror(errno);
    else if (fstat(*fd, &opened) != 0 || opened.st_dev != looked.st_dev ||
             opened.st_ino != looked.st_ino || !S_ISREG(opened.st_mode))
      reason = "it changed while it was opened";
  }
  close(probe);
  if (reason.empty()) return Opened::kOpen;
  if (*fd >= 0) close(*fd);
  *fd = -1;
  *message = CannotRead(path, reason);
  return Opened::kBroken;
}

bool ReadCaptured(int fd, const std::string& path, off_t max_bytes, std::string* text,
                  std::string* message) {
  char buffer[65536];
  const std::size_t start = text->size();
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *message = CannotRead(path, std::strerror(errno));
      return false;
    }
    if (text->size() - start + static_cast<std::size_t>(n) > static_cast<std::size_t>(max_bytes)) {
      *message = CannotRead(path, TooLarge(max_bytes));
      return false;
    }
    text->append(buffer, static_cast<std::size_t>(n));
  }
}
