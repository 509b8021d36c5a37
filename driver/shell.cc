#include "driver/shell.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

int RunShellCommand(const std::string& command) { return std::system(command.c_str()); }

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
