// What the fuzz targets share: quiet screen streams, output levels chosen
// by the input, the input as a stream, and the reset of every global after
// one input (the tests' own, tests/support/process_state.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "tests/support/process_state.h"

// Points the program's stdout and stderr streams at /dev/null, so that
// printing still runs but costs nothing.  libFuzzer and the sanitizers
// keep writing their reports to descriptor 2.
void QuietScreenStreams();

// Sets the output levels as the command line would: '0' to '6' (the three
// low bits of the byte) give that verbose level, '7' gives debug level 6,
// which switches screen output off.
void SetLevelsFromByte(uint8_t byte);

// The bytes as a read-only stream; the caller closes it.  Ends the fuzzer
// when the stream cannot be had: that is no finding.
FILE* OpenInput(const uint8_t* data, size_t size);

struct hba_info;

// A port record of the inventory with the ids of one simulated FCoE port
// (WWN, MAC, serial number, PCI function) and the given port type.
hba_info* NewFuzzPort(const char* type);

// One input of a target whose first byte chooses the output levels (see
// SetLevelsFromByte) and whose other bytes are the content to read: calls
// read(stream, first byte) with the content as a stream, closes the stream
// and puts every global back.  An empty input is not read.
template <typename Read>
void ReadAfterLevelByte(const uint8_t* data, size_t size, Read read) {
  if (size == 0) return;
  SetLevelsFromByte(data[0]);
  FILE* file = OpenInput(data + 1, size - 1);
  read(file, data[0]);
  std::fclose(file);
  test_support::ResetProcessState();
}

// Ends the fuzzer with a report on stderr's descriptor when a property of
// the program's result does not hold.
[[noreturn]] void PropertyFailed(const char* what);
