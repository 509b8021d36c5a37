// Finding a firmware or BIOS image in a firmware directory by its name
// pattern.
#pragma once

#include "driver/base/settings.h"

// Looks the pattern up in the directory (which ends in "/"): a name prefix,
// or "*.ext" for an extension.  0 with the directory text plus the name in
// image, or 20.
int FindFlashImage(const char* directory, PathText* image, const char* pattern);
