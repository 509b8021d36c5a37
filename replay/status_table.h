// The return-code table as the replay shows it: name and meaning of every
// status fcguard ends with.
#pragma once

struct StatusText {
  int value;
  const char* name;
  const char* meaning;
};

// The entry of a status, or null.
const StatusText* FindStatusText(int status);
