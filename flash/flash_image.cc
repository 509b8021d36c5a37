// Finding a firmware or BIOS image in a firmware directory by its name
// pattern: a name prefix, or "*.ext" for an extension.
#include "flash/flash_image.h"

#include <dirent.h>

#include <string_view>

#include "driver/base/print_debug.h"
#include "driver/base/return_codes.h"

namespace {

// Flashing appends the output of every command to this file in the image
// directory; it is never an image, whatever the pattern.
constexpr std::string_view kTraceFileName = "FWtrace.out";

// "*.prg" matches a.prg and a.prg2 (the part of the name from its last '.'
// begins with ".prg"), not a.PRG, a.prg.bak or prg.
bool MatchesExtension(std::string_view name, std::string_view extension) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  return name.substr(dot).starts_with(extension);
}

bool Matches(std::string_view name, std::string_view pattern) {
  if (pattern.starts_with("*.")) return MatchesExtension(name, pattern.substr(pattern.find('.')));
  return name.starts_with(pattern);
}

}  // namespace

int FindFlashImage(const char* directory, PathText* image, const char* pattern) {
  image->clear();
  std::string_view wanted = pattern;
  if (wanted.empty()) return RET_FW_NOT_AVAILABLE;
  DIR* listing = opendir(directory);
  if (listing == nullptr) return RET_FW_NOT_AVAILABLE;

  int result = RET_FW_NOT_AVAILABLE;
  // Entries in listing order, unsorted: the first that matches is taken.
  while (const dirent* entry = readdir(listing)) {
    std::string_view name = entry->d_name;
    if (name.starts_with('.') || name == kTraceFileName) continue;
    if (!Matches(name, wanted)) continue;
    // A cut path would name another file: refuse it rather than flash it.
    if (!image->assign(directory) || !image->append(name)) {
      image->clear();
      PrintDebugf(1, "Error: Image path is longer than %zu characters: %s%s\n\n",
                  PathText::kCapacity, directory, entry->d_name);
      break;
    }
    result = RET_OK;
    break;
  }
  closedir(listing);
  return result;
}
