// The program's fixed texts: usage, tool info, version and the list of
// return codes, and the routines that print them at level 1.
#pragma once

// Usage text in three parts, each filled with the program name.
extern const char helpMessage_1[];
extern const char helpMessage_2[];
extern const char helpMessage_3[];
// Tool-info line, filled with the program name and the four version parts.
extern const char ToolInfoMessagePRELIMINARY[];
// Version line, filled with the four version parts.
extern const char versionMessagePRELIMINARY[];
// The table of return codes, printed under a heading.
extern const char returnMessage[];

// The help: the tool-info line, then the three usage parts.
void PrintHelp(const char* program_name);
void PrintToolInfo(const char* program_name);
void PrintVersion();
void PrintReturnCodes();
