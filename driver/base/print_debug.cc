#include "driver/base/print_debug.h"

#include <cstdarg>
#include <cstring>

#include "driver/base/settings.h"

namespace {

constexpr size_t kCopySize = 4096;      // PrintDebug's copy of the text
constexpr size_t kMessageSize = 6144;   // the callers' message buffer

FILE* ChooseStream(FILE* file) {
  if (PrintDebugOnScreen == 1 && VerboseLevel != 0) return stdout;
  if (PrintDebugOnScreen == 1 && DebugLevel != 0) return stderr;
  return file;
}

// Without a file the screen rule of PrintDebugShows decides; a given file
// takes whatever passes the level filter.
bool Dropped(int level, FILE* file) {
  if (file == nullptr) return !PrintDebugShows(level);
  return level > VerboseLevel && level > DebugLevel;
}

}  // namespace

int PrintDebug(int level, const char* text, FILE* file) {
  if (Dropped(level, file)) return 0;
  FILE* stream = ChooseStream(file);
  if (stream == nullptr) return 0;
  size_t length = strnlen(text, kCopySize - 1);
  fwrite(text, 1, length, stream);
  return 1;
}

int PrintDebugf(int level, const char* format, ...) {
  if (!PrintDebugShows(level)) return 0;
  char message[kMessageSize];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  return PrintDebug(level, message, nullptr);
}

void PrintStderrf(const char* format, ...) {
  char message[kMessageSize];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  fputs(message, stderr);
}
