#include "driver/base/shell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "driver/base/access_acl.h"
#include "driver/base/print_debug.h"

namespace {

bool IsSafeShellChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
    return true;
  return std::strchr("_./:@%+=,-", c) != nullptr && c != '\0';
}

}  // namespace

std::string ShellQuote(std::string_view value) {
  bool safe = true;
  for (char c : value) safe = safe && IsSafeShellChar(c);
  if (safe) return std::string(value);
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  quoted += '\'';
  return quoted;
}

int RunShellCommand(const std::string& command) {
  // system() forks with our dispositions.  While it runs we only wait, so
  // the default SIGPIPE is ours for that time and the command's for good.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  struct sigaction saved {};
  bool swapped = sigaction(SIGPIPE, &default_action, &saved) == 0;
  int status = std::system(command.c_str());
  if (swapped) sigaction(SIGPIPE, &saved, nullptr);
  return status;
}

bool CommandDidNotComplete(int status) {
  // -1: no shell was started; otherwise only a shell that exited has
  // told how its command ended.
  if (status == -1 || !WIFEXITED(status)) return true;
  int code = WEXITSTATUS(status);
  return code == 126 || code == 127 || (code >= 129 && code <= 192);
}

void ProtectStandardStreams() {
  std::signal(SIGPIPE, SIG_IGN);
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // Without /dev/null the descriptor stays closed and writes to it fail.
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd < 0 || null_fd == fd) continue;
    dup2(null_fd, fd);
    close(null_fd);
  }
}

bool OthersCanWrite(unsigned mode, unsigned owner, unsigned user) {
  if ((mode & S_IWOTH) != 0) return true;
  return owner != 0 && owner != user;
}

namespace {

// The mode and owner tell first; then the access ACL, which is refused
// when it grants others write or cannot be read.
bool Refuse(const struct stat& status, AclWrite acl, const char* path) {
  if (!OthersCanWrite(status.st_mode, status.st_uid, geteuid()) && acl == AclWrite::kNone)
    return false;
  PrintDebugf(1, "Error: %s is writable by other users; refusing to use it.\n", path);
  return true;
}

}  // namespace

bool RefuseForeignPath(const char* path) {
  struct stat status;
  if (stat(path, &status) != 0) return false;
  return Refuse(status, PathAccessAcl(path, geteuid()), path);
}

bool RefuseForeignFile(int fd, const char* path) {
  struct stat status;
  if (fstat(fd, &status) != 0) {
    PrintDebugf(1, "Error: %s is writable by other users; refusing to use it.\n", path);
    return true;
  }
  return Refuse(status, FileAccessAcl(fd, geteuid()), path);
}

bool HasParentComponent(std::string_view path) {
  for (;;) {
    std::size_t slash = path.find('/');
    if (path.substr(0, slash) == "..") return true;
    if (slash == std::string_view::npos) return false;
    path.remove_prefix(slash + 1);
  }
}

bool PathExists(const char* path, const char** reason) {
  struct stat status;
  if (stat(path, &status) == 0) return true;
  if (reason != nullptr) *reason = std::strerror(errno);
  return false;
}
