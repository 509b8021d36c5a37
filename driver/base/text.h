// Text helpers shared by every parser.
#pragma once

// Parses the text as a number in the base (10 for levels, 16 for PCI ids).
// Trailing blanks and line feeds are cut off the caller's text in place.
// Returns -1 for an empty text or one that is not wholly a number; a
// leading "-" negates.  A number too large for an unsigned long ends the
// process with status 1.  The value is taken modulo the int width.
int string2int(char* text, int base);

// Turns double quotes, tabs and line feeds into blanks, cuts trailing
// blanks in place and returns the first character that is not a blank.
char* cleanString(char* text);
