#pragma once
// One instance per profile folder, the program's own command line and the media keys.
//
//     instance_record instance;
//     if (!single_instance_acquire(instance))            // another instance runs and took our command line
//         throw exception_shutdownrequest("Another instance is already running");
//     ...
//     process_own_command_line(instance);               // like a forwarded command line
//     ...
//     single_instance_release(instance);                // shut-down
//
// The instance of a profile holds the mutex "VORN_%08X" (the profile hash: CRC-32 of the profile folder
// text, "file://" included, lower-cased character by character) for the rest of the process, and a hidden
// window of class "{75D55AF6-03A2-457a-9933-D4EC2CB25684}" titled "uninteresting" that answers WM_USER with
// the profile hash. A later start finds that window and sends it WM_COPYDATA:
//   kind 1: the command line (UTF-8), a zero byte, the sender's current folder (UTF-8), a zero byte;
//   kind 2: a UTF-16 path (no terminator), answered 1 when it is this program's path (any case).
// A kind-1 block is answered 1 once it is queued: it is handled from a posted message (WM_USER + 1) as soon
// as the services run, so a command line that arrives while the instance is starting waits for them. While
// the instance is shutting down it is answered 0 and not kept: the sender then waits for the instance to end
// and starts as the instance itself. The message's wParam carries the sender's token, one number for all of
// its attempts (0: none): a send that timed out is still delivered when the instance gets to it, so a block
// whose token was taken before is answered 1 and not kept again, and the command line is handled once. The sender gives up after 301 attempts 100 ms apart or 30 seconds
// (a hung instance answers no message within 5 seconds and counts as not found), and ends then as if it had
// forwarded its command line.

#include <windows.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "foundation/kpl/string.h"

struct forwarded_block {
    uint32_t kind;
    std::vector<char> bytes;
};

struct instance_record {
    // The process's command line as UTF-8 (empty: GetCommandLineW); forwarded to a running instance, or
    // handled by process_own_command_line.
    kpl::utf8_string_tight command_line;
    HWND window = nullptr;
    uint32_t profile_hash = 0;
    // Blocks received and not yet handled.
    std::vector<forwarded_block> queue;
    // The tokens of the blocks taken recently, with the tick count when each came.
    std::vector<std::pair<uintptr_t, DWORD>> taken_tokens;
};

// The class name of the instance window.
extern const wchar_t instance_window_class[];

// True when this process is now the instance of its profile folder; false when another instance runs
// (this command line has then been forwarded to it, or could not be within the time allowed).
bool single_instance_acquire(instance_record& record);
// Destroys the instance window, unregisters its class and frees the queued command lines. The mutex stays
// until the process ends.
void single_instance_release(instance_record& record);
// Handles the program's own arguments like a forwarded command line, then the command lines that arrived
// before the services ran.
void process_own_command_line(instance_record& record);

// The profile hash of a profile folder text.
uint32_t profile_hash(const char* profile_folder);
// "VORN_" + the hash as 8 upper-case hex digits.
kpl::utf8_string_pow2 single_instance_mutex_name(uint32_t hash);
// A kind-1 block: the command line and the base folder, or false when the block is malformed (empty, or
// not exactly two zero bytes).
bool parse_forwarded_block(const std::vector<char>& bytes, kpl::utf8_string& command_line, kpl::utf8_string& base);

// A media key (the shell hook's HSHELL_APPCOMMAND lParam); true for the eight keys the player handles
// (next, previous, stop, play/pause, play, pause, fast forward, rewind), also when it ignores one as a
// repeat: the same key again less than 50 ms after the last one.
bool handle_app_command(LPARAM lparam);
// The same at a given tick count (tests).
bool handle_app_command_at(LPARAM lparam, DWORD now);
