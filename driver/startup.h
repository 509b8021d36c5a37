// The start of the run: output levels, command line, mode, temporary
// directory, the directories of the run and the conditions file.
#pragma once

#include "driver/run_state.h"

// Runs the whole start of the run, in order.  Ends the process on a
// refused command line (3), on help and the other listings (0), and on a
// conditions file that cannot be loaded (15, 54, 55) or that others can
// change (55).
void StartUp(int argc, char** argv, run_state* state);

// The steps of StartUp after the command line.

// TEMPDIR_BUFFER from TMPDIR (cut to fit), or "/tmp"; reported at level 3.
void SettleTempDir();

// The conditions, firmware and working directories.  Without --conpath the
// directory of the start word is used, or the current directory when the
// word has no "/".  Then "/" is appended to all three and the conditions
// file's name to the conditions path.  Refuses (3) a directory that would
// not fit the path buffers.
void SettleDirectories(const char* start_word);

// Reads the conditions file; ends the process with 15, 54 or 55 when that
// fails.  Before it is read it ends the process with 55 when the file or
// the directory that holds it (the working and firmware directory) can be
// changed by a user other than root and the one running us (mode, owner or
// access ACL): a planted file or link there would decide what is allowed,
// what is flashed and which file the reports overwrite.  The file is
// tested as opened, then read through the same descriptor.
void LoadConditions(const run_state& state);

// The allowed controller and storage combinations, at level 4.
void PrintConditionsListing();
