#pragma once
// Reader/writer locks on locations, so that nobody reads a media file while a tag writer rewrites it.
//
// A lock is named by a text key, the location the caller works on, compared byte by byte (letter case
// counts, nothing is canonicalised). Mode 0 is shared (readers), mode 1 exclusive (a writer). A request
// blocks until it is granted or the caller's abort signal fires. Writers come first: once a writer waits
// for a key, new readers of that key queue behind it, and when a writer leaves, the next writer goes before
// the queued readers. A writer that gives up (abort) lets the readers queued behind it in at once.
//
//   service_ref lock;
//   path_lock_manager::acquire_exclusive(lock, "file://C:\\Music\\a.flac", abort);   // waits for readers
//   rewrite_tags(...);
//   lock.release();                                                                    // the next one goes
//
// A long reader polls is_contended() to let a writer through:
//   if (lock.as<path_lock>()->is_contended()) { close_file(); lock.release(); reacquire_shared(); }
//
// Locks are not re-entrant: a thread holding a key that asks for it again in a conflicting mode waits for
// itself. Any thread may acquire and release.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"

// A held lock. Releasing the last reference releases the lock.
class path_lock : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xB2F0B2F8, 0x1CCF, 0x438E, {0xB9, 0x75, 0x9F, 0x5B, 0x75, 0x5A, 0xA3, 0x2E}};

    // True when somebody waits for this lock to go: a writer waiting on the key, or, for a writer's lock,
    // also a reader waiting.
    virtual bool is_contended() = 0;
};

class path_lock_manager : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xA808FE53, 0x0D36, 0x42FB, {0xAC, 0x02, 0x6A, 0xC8, 0x9C, 0xCB, 0x24, 0xBE}};
    enum : unsigned { mode_shared = 0, mode_exclusive = 1 };

    // Blocks until the lock on the key is granted in the mode and stores it (a path_lock) into out.
    // Throws ketrel_io::exception_aborted "User abort" when the abort signal is set first (the request is
    // withdrawn; holders are unaffected), exception_win32 when an event cannot be made or waited on.
    virtual void acquire(service_ref& out, const char* key, unsigned mode, const abort_signal& abort) = 0;

    // acquire on the process's manager in mode 0 or 1.
    static void acquire_shared(service_ref& out, const char* key, const abort_signal& abort);
    static void acquire_exclusive(service_ref& out, const char* key, const abort_signal& abort);
    // The process's manager (a static object, also registered as the service of class_guid).
    static path_lock_manager& instance();
    // How many requests of either mode wait on the key right now. Only for tests, which start requests on
    // threads of their own and must know they are queued before they release anything:
    //   requester writer("k", exclusive);  while (path_lock_manager::waiting_count("k") < 1) Sleep(1);
    static size_t waiting_count(const char* key);
};
