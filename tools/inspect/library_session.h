#pragma once
// What the library and browse commands of vorn-inspect share: a profile folder loaded as the player loads
// it, the library started with a listener, a main-thread pump and the wait until the library is settled.
//
//     const std::string profile = inspect_path(args.required(0, "PROFILE")).c_str();
//     const double watch = watch_seconds_option(args);      // --watch SECONDS, 0 when not given
//     open_profile(profile);                                 // makes the folder, loads config.dat
//     library_session session(&listener);                    // hidden window, library started and listening
//     wait_library_settled(listener);                        // monitors finished, caught up and quiet
//     pump_for(static_cast<DWORD>(watch * 1000));
//     // ~library_session: listener unregistered, library unloaded, queue drained, window gone
#include <windows.h>

#include <string>
#include <vector>

#include "library/media_library.h"
#include "tools/inspect/inspect_command.h"

// Throws "WHAT: TEXT" as an invalid-parameter exception.
[[noreturn]] void inspect_bad_argument(const char* what, const char* text);

// --watch SECONDS (0 to 86400; fractions allowed), or 0 when the option is missing.
double watch_seconds_option(const inspect_arguments& args);

// The values of every --NAME option, in the order given.
std::vector<std::string> option_values(const inspect_arguments& args, const char* name);

// Builds the service table when it is empty, makes the profile folder (and its missing parents), makes it
// the program's profile and loads its config.dat.
void open_profile(const std::string& profile);

// Dispatches waiting window messages and runs the main-thread queue once.
void pump_messages();
// Pumps for `ms` milliseconds.
void pump_for(DWORD ms);

// The tick of the last library report a listener saw (0 for none yet).
class library_activity {
public:
    virtual DWORD last_activity() const = 0;

protected:
    ~library_activity() = default;
};

// Pumps until the library is settled: every monitor finished, not busy and caught up with the disk, nothing
// queued, and no file read or library report for 0.2 seconds (1.5 seconds when a monitor cannot tell
// whether it caught up). Answers the tick of the last activity seen.
DWORD wait_library_settled(const library_activity& activity);

// The --events FILE of a command: lines appended as they happen (nothing when no file was named).
class event_file {
public:
    explicit event_file(const char* path);
    ~event_file();
    event_file(const event_file&) = delete;
    event_file& operator=(const event_file&) = delete;

    void append(const std::string& line);

private:
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

// The library as the player runs it, for the life of the object: the hidden window, the library started
// and `listener` registered (which loads it, as the first view does). The destructor unregisters the
// listener and unloads the library.
class library_session {
public:
    explicit library_session(library_change_listener* listener);
    ~library_session();
    library_session(const library_session&) = delete;
    library_session& operator=(const library_session&) = delete;

    media_library& library() { return *m_library; }

private:
    struct window_scope {
        window_scope();
        ~window_scope();
    } m_window;
    library_change_listener* m_listener;
    service_ptr<media_library> m_library;
};
