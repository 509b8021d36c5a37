// The command line on any words: the input split at NUL bytes, the first
// word the program name.  The output levels start at their defaults, as in
// the program; the words themselves may change them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/base/process_exit.h"
#include "driver/options.h"
#include "driver/run_state.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each word gets an allocation of its own, so that reading past a
  // word's end is caught.
  std::vector<std::unique_ptr<char[]>> words;
  const uint8_t* end = data + size;
  for (const uint8_t* word = data;; ++word) {
    const uint8_t* stop = std::find(word, end, '\0');
    size_t length = static_cast<size_t>(stop - word);
    words.push_back(std::make_unique<char[]>(length + 1));
    std::memcpy(words.back().get(), word, length);
    words.back()[length] = '\0';
    if (stop == end) break;
    word = stop;
  }
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.get());
  argv.push_back(nullptr);

  run_state state{};
  try {
    ParseCommandLine(static_cast<int>(words.size()), argv.data(), &state);
  } catch (const ProcessExit&) {
    // Help, listings and refusals end the run: defined outcomes.
  }
  test_support::ResetProcessState();
  return 0;
}
