// Fixed-width text fields.
//
// Every record of the program holds its texts in arrays of a fixed size,
// and the size is behaviour: a value longer than the field is cut to fit,
// or refused where a cut value would mean something else.  FixedText is the
// one place that knows this.  It is a plain aggregate, so a
// record that holds FixedText members can be value-initialised (all texts
// empty) and copied like any C struct.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

template <std::size_t N>
struct FixedText {
  static_assert(N >= 1, "a text field needs room for its terminator");
  static constexpr std::size_t kCapacity = N - 1;

  char text[N];

  const char* c_str() const { return text; }
  char* data() { return text; }
  bool empty() const { return text[0] == '\0'; }
  std::size_t size() const { return strnlen(text, kCapacity); }
  std::string_view view() const { return {text, size()}; }
  void clear() { text[0] = '\0'; }

  // The two ways of filling a field, so that every call states its choice.
  //
  // Must fit: assign and append return false when the value does not fit
  // whole; the field then holds the part that fitted, which the caller must
  // not use as the value (a cut path names another file).
  [[nodiscard]] bool assign(std::string_view value) {
    std::size_t n = value.size() < kCapacity ? value.size() : kCapacity;
    std::memmove(text, value.data(), n);
    text[n] = '\0';
    return n == value.size();
  }
  [[nodiscard]] bool append(std::string_view value) {
    std::size_t used = size();
    std::size_t room = kCapacity - used;
    std::size_t n = value.size() < room ? value.size() : room;
    std::memmove(text + used, value.data(), n);
    text[used + n] = '\0';
    return n == value.size();
  }

  // Cut to fit: for fields whose width is behaviour, the value is cut to
  // what the field holds.
  void assign_cut(std::string_view value) { static_cast<void>(assign(value)); }
  void append_cut(std::string_view value) { static_cast<void>(append(value)); }

  bool starts_with(std::string_view prefix) const {
    return view().starts_with(prefix);
  }
  bool operator==(std::string_view other) const { return view() == other; }
};
