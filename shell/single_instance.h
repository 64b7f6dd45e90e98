#pragma once
// One instance per profile folder, the program's own command line and the media keys.
//
//     instance_record instance;
//     if (!single_instance_acquire(instance))            // another instance runs and got our command line
//         throw exception_shutdownrequest("Another instance is already running");
//     ...
//     process_own_command_line(instance);               // like a forwarded command line
//     ...
//     single_instance_release(instance);                // shut-down

#include <windows.h>

#include <cstdint>

struct instance_record {
    HWND window = nullptr;
    uint32_t profile_hash = 0;
};

// True when this process is now the instance of its profile folder; false when another instance runs
// (this command line has then been forwarded to it).
bool single_instance_acquire(instance_record& record);
// Destroys the instance window, unregisters its class and frees the queued command lines.
void single_instance_release(instance_record& record);
// Handles the program's own arguments like a forwarded command line.
void process_own_command_line(instance_record& record);
// A media key (the shell hook's HSHELL_APPCOMMAND lParam); true when handled.
bool handle_app_command(LPARAM lparam);
