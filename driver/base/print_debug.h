// Diagnostic output.  Every message of the program leaves through
// PrintDebug, which filters it by level and chooses the stream.
#pragma once

#include <cstdio>

#include "driver/base/settings.h"

// The rulers that frame the sections of the trace, 80 characters each: a
// '+' every tenth character, or a plain row of stars.
inline constexpr char kStarRuler[] =
    "*********+*********+*********+*********+*********+*********+*********+*********+";
inline constexpr char kDashRuler[] =
    "---------+---------+---------+---------+---------+---------+---------+---------+";
inline constexpr char kStarRow[] =
    "********************************************************************************";

// Prints the text unchanged (no line end added, no formatting) or drops it.
// Returns 1 when printed, 0 when dropped.  Works on at most 4095
// characters of the text.
int PrintDebug(int level, const char* text, FILE* file);

// True when a message of this level would reach the screen.  Hot loops
// test it before formatting a message at all.
inline bool PrintDebugShows(int level) {
  return PrintDebugOnScreen != 0 && (level <= VerboseLevel || level <= DebugLevel);
}

// Formats a message into a 6144-character buffer and hands it to
// PrintDebug with a null file.  A message that PrintDebug would drop is not
// formatted at all.
int PrintDebugf(int level, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The two messages that go straight to the standard error stream, whatever
// the levels: the number parser's range error and the conditions file's
// refusal of a cell.  Callers decide whether to print at all.
void PrintStderrf(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
