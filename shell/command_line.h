#pragma once
// Command lines: splitting, the start-up switches, and handing switches and locations on.
//
//     kpl::string_array args = split_command_line("vorn.exe /lang \"0x40C\" a\"b c\"d");
//     // {"vorn.exe", "/lang", "0x40C", "ab cd"}
//     find_switch(args, "lang") == 1;   find_switch(args, "LANG") == -1;
//
//     process_command_line("vorn.exe /next song.flac", false, "C:\\Music");
//     // "/next" runs the Next command; "C:\Music\song.flac" goes to the main window
//
// Splitting: a space ends the current argument (an empty one too) and the spaces after it are skipped; a
// double quote starts a run taken literally up to the next double quote (or the end), both quotes dropped;
// quoted and unquoted runs join into one argument. There is no escape character and tabs are ordinary bytes.
// So a text starting with a space gives an empty first argument, and "" between spaces an empty argument.
//
// Dispatching (element 0 is the program and is skipped; empty arguments are skipped):
//   - an argument starting with "/" or "-" is a switch. "/quiet" and "/makereadonly" (any case) are
//     accepted and do nothing; "/help" and "/?" are offered to the handlers but nothing follows. Any other
//     switch goes to the command_line_switch_handler services in order until one takes it; a handler that
//     answers 2 becomes pending and takes the plain arguments that follow, until the next switch. A switch
//     no handler takes shows the popup notice "unknown commandline parameter: " + switch, titled "Error".
//   - any other argument is made absolute against the base folder; then "://" in it: a location; a folder:
//     the folder (or, for a pending handler that takes no folders, its files: folder\*); "*" or "?" in
//     it: the matching files, and matching sub-folders not starting with "."; else a location.
// Locations go to the pending handler, else to the location list, in the file-system layer's canonical
// form ("file://" + the full path).

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"
#include "foundation/services/service_base.h"

kpl::string_array split_command_line(const char* text);

// Index of the first argument after element 0 that is "/" followed by exactly `name` (case-sensitive,
// whole text), or -1.
int find_switch(const kpl::string_array& args, const char* name);

// The argument as an absolute path against `base` (a folder, "file://" allowed):
//     "a.flac", "C:\\M"     -> "C:\\M\\a.flac"        "\\x\\y", "file://D:\\M" -> "D:\\x\\y"
//     "E:", _               -> "E:\\"                  "http://h/a", _           -> "http://h/a"
//     "\\\\?\\C:\\a", _     -> "C:\\a"                 "\\\\srv\\share", _       -> "\\\\srv\\share"
//     "sub/a.flac", "C:\\M\\" -> "C:\\M\\sub\\a.flac"
kpl::utf8_string_pow2 make_absolute_path(const char* argument, const char* base);

// Takes switches of the command line (service class; every implementation is asked in enumeration order).
class command_line_switch_handler : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x550B3A19, 0x42A4, 0x4C0F, {0x91, 0xF2, 0x90, 0x55, 0x01, 0x89, 0xCB, 0xFF}};

    enum : uint32_t { not_mine = 0, handled = 1, handled_with_arguments = 2 };

    // The switch as written ("/next"); not_mine, handled, or handled_with_arguments (the plain arguments
    // that follow come to take_argument, then arguments_done).
    virtual uint32_t handle_switch(const char* text) = 0;
    virtual void take_argument(const char* location) = 0;
    virtual void arguments_done() = 0;
    // Whether folders come to take_argument as folders (else as the files in them).
    virtual bool accepts_folders() = 0;
};

enum : uint32_t {
    // No plain argument was given.
    command_line_no_arguments = 1,
};

// Offers the switches to the handlers and collects the locations (see above). `flags` receives
// command_line_no_arguments when no plain argument was counted.
void dispatch_command_line(const kpl::string_array& args, kpl::string_array& locations, uint32_t& flags,
                           const char* base);

// While the services run: splits and dispatches the text; a forwarded command line (own false) without
// arguments, or any locations, restore the main window; locations then go to the main window.
void process_command_line(const char* text, bool own, const char* base);
