#pragma once
// Splitting a command line into arguments and finding the start-up switches.
//
//     kpl::string_array args = split_command_line("vorn.exe /lang \"0x40C\" a\"b c\"d");
//     // {"vorn.exe", "/lang", "0x40C", "ab cd"}
//     find_switch(args, "lang") == 1;   find_switch(args, "LANG") == -1;
//
// A space ends the current argument (an empty one too) and the spaces after it are skipped; a double
// quote starts a run taken literally up to the next double quote (or the end), both quotes dropped; quoted
// and unquoted runs join into one argument. There is no escape character and tabs are ordinary bytes. So
// a text starting with a space gives an empty first argument, and "" between spaces an empty argument.

#include "foundation/kpl/string_array.h"

kpl::string_array split_command_line(const char* text);

// Index of the first argument after element 0 that is "/" followed by exactly `name` (case-sensitive,
// whole text), or -1.
int find_switch(const kpl::string_array& args, const char* name);
