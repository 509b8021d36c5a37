#include "driver/base/text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "driver/base/print_debug.h"
#include "driver/base/process_exit.h"
#include "driver/base/return_codes.h"

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Converts a text of one to eight plain digits of the base, the common
// case, without strtoul: eight digits cannot overflow even a 32-bit
// unsigned long, so the result is the one strtoul would give.  False for
// anything else (blanks, a sign, a prefix, a longer number).
bool PlainDigits(const char* digits, int base, unsigned long* value) {
  unsigned long result = 0;
  int count = 0;
  for (; *digits != '\0'; ++digits, ++count) {
    int digit = DigitValue(*digits);
    if (digit >= base || count == 8) return false;
    result = result * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
  }
  *value = result;
  return count > 0;
}

}  // namespace

int string2int(char* text, int base) {
  size_t length = strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == ' '))
    text[--length] = '\0';
  if (length == 0) return -1;

  const char* digits = text;
  while (*digits == ' ') ++digits;
  bool negative = *digits == '-';
  digits = negative ? digits + 1 : text;

  unsigned long value = 0;
  if (!PlainDigits(digits, base, &value)) {
    char* end = nullptr;
    errno = 0;
    value = strtoul(digits, &end, base);
    if (errno != 0) {
      PrintStderrf("strtoul: %s\n", strerror(errno));
      EndProcess(RET_NUMBER_OUT_OF_RANGE);
    }
    if (*end != '\0') return -1;
  }
  // Unsigned arithmetic: the value is taken modulo the int width, and
  // negating the smallest int stays defined.
  unsigned int bits = static_cast<unsigned int>(value);
  if (negative) bits = 0u - bits;
  return static_cast<int>(bits);
}

char* cleanString(char* text) {
  static constexpr char kBlanked[] = "\"\t\n";
  char* c = text + strcspn(text, kBlanked);
  while (*c != '\0') {
    *c++ = ' ';
    c += strcspn(c, kBlanked);
  }
  while (c > text && c[-1] == ' ') *--c = '\0';  // c stands on the terminator
  while (*text == ' ') ++text;
  return text;
}
