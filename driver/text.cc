#include "driver/text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "driver/print_debug.h"
#include "driver/process_exit.h"
#include "driver/return_codes.h"

int string2int(char* text, int base) {
  size_t length = strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == ' '))
    text[--length] = '\0';
  if (length == 0) return -1;

  const char* digits = text;
  while (*digits == ' ') ++digits;
  bool negative = *digits == '-';
  digits = negative ? digits + 1 : text;

  char* end = nullptr;
  errno = 0;
  unsigned long value = strtoul(digits, &end, base);
  if (errno != 0) {
    PrintStderrf("strtoul: %s\n", strerror(errno));
    EndProcess(RET_NUMBER_OUT_OF_RANGE);
  }
  if (*end != '\0') return -1;
  // Unsigned arithmetic: the value is taken modulo the int width, and
  // negating the smallest int stays defined.
  unsigned int bits = static_cast<unsigned int>(value);
  if (negative) bits = 0u - bits;
  return static_cast<int>(bits);
}

char* cleanString(char* text) {
  for (char* c = text; *c != '\0'; ++c)
    if (*c == '"' || *c == '\t' || *c == '\n') *c = ' ';
  size_t length = strlen(text);
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
  while (*text == ' ') ++text;
  return text;
}
