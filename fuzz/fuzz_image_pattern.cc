// The image look-up with any pattern, in a fixed firmware directory made
// once: a.prg, a.prg2, a.PRG, fw.ufi, FWtrace.out, .hidden and the
// sub-directory sub.  The whole input is the pattern (up to its first NUL
// byte, as a C text).  An image found must be one of the visible entries
// and, for a name pattern, begin with it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "flash/flash_image.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr const char* kFiles[] = {"a.prg", "a.prg2", "a.PRG", "fw.ufi", "FWtrace.out", ".hidden"};
constexpr const char* kSubDirectory = "sub";

std::string directory;  // ends with "/"

void RemoveDirectory() {
  for (const char* name : kFiles) unlink((directory + name).c_str());
  rmdir((directory + kSubDirectory).c_str());
  rmdir(directory.c_str());
}

void MakeDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/fcguard-fuzz-images.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) PropertyFailed("mkdtemp failed");
  directory = pattern + "/";
  for (const char* name : kFiles) {
    FILE* file = std::fopen((directory + name).c_str(), "w");
    if (file == nullptr) PropertyFailed("an image file cannot be made");
    std::fclose(file);
  }
  if (mkdir((directory + kSubDirectory).c_str(), 0700) != 0)
    PropertyFailed("the sub-directory cannot be made");
  std::atexit(RemoveDirectory);
}

bool Visible(std::string_view name) {
  if (name == kSubDirectory) return true;
  for (const char* file : kFiles)
    if (name == file) return name[0] != '.';
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietScreenStreams();
  MakeDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string pattern(reinterpret_cast<const char*>(data), size);
  PathText image;
  int result = FindFlashImage(directory.c_str(), &image, pattern.c_str());

  std::string_view wanted = pattern.c_str();
  std::string_view found = image.view();
  if (result != RET_OK) {
    if (result != RET_FW_NOT_AVAILABLE) PropertyFailed("neither found nor not available");
    if (!found.empty()) PropertyFailed("an image path without an image");
  } else {
    if (wanted.empty()) PropertyFailed("an empty pattern found an image");
    if (!found.starts_with(directory)) PropertyFailed("the image is not in the directory");
    std::string_view name = found.substr(directory.size());
    if (!Visible(name)) PropertyFailed("the image is not a visible entry");
    if (!wanted.starts_with("*.") && !name.starts_with(wanted))
      PropertyFailed("the image does not begin with the name pattern");
  }
  test_support::ResetProcessState();
  return 0;
}
