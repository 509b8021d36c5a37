#include "sim/call_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string EscapeCall(int argc, const char* const* argv) {
  static const char kHex[] = "0123456789abcdef";
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i) line.push_back(' ');
    for (const char* p = argv[i]; *p; ++p) {
      unsigned char c = static_cast<unsigned char>(*p);
      switch (c) {
        case '\\': line += "\\\\"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        case '\t': line += "\\t"; break;
        default:
          if (c < 0x20 || c >= 0x7f) {
            line += "\\x";
            line.push_back(kHex[c >> 4]);
            line.push_back(kHex[c & 0xf]);
          } else {
            line.push_back(static_cast<char>(c));
          }
      }
    }
  }
  return line;
}

bool AppendCallLog(const char* path, std::string_view line, std::string* reason) {
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  std::string text(line);
  text.push_back('\n');
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *reason = std::strerror(errno);
      close(fd);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0) {
    *reason = std::strerror(errno);
    return false;
  }
  return true;
}
