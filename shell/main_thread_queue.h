#pragma once
// The main-thread queue: how any thread hands work to the main thread.
//
//     class refresh_call : public service_counted<main_thread_callback> {
//         void run() override { ... }          // later, on the main thread
//     };
//     refresh_call* call = new refresh_call;   // count 1
//     main_thread_queue::post(call);           // from any thread; the queue takes its own reference
//     call->release();
//
// Each add appends the callback (the queue keeps its own reference) under the queue's lock and posts the
// wake-up message 1201 (WM_USER + 177, wParam 0xE976E5FE, lParam 0x3704AEC1) to the hidden main-thread
// window. The window's handler drains as many callbacks as were queued when it looked, so a callback
// queued by a running callback runs on the next wake-up, never in the same drain, and no callback runs
// twice or is lost while the hidden window exists. Added while no hidden window exists, a callback waits
// for the next drain; callbacks that never ran are released without running at process exit.

#include <windows.h>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

// The wake-up message and its two fixed words.
constexpr UINT main_thread_queue_message = WM_USER + 177;
constexpr WPARAM main_thread_queue_wparam = 0xE976E5FE;
constexpr LPARAM main_thread_queue_lparam = static_cast<LPARAM>(0x3704AEC1);

// A reference-counted callback run on the main thread; query answers this interface's GUID.
class main_thread_callback : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x87D2C583, 0x7AFB, 0x4E58, {0xB2, 0x1E, 0xFB, 0xD3, 0xE6, 0xE8, 0xF5, 0xE7}};

    virtual void run() = 0;
};

// The queue service (one static object).
class main_thread_queue : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x1131D64B, 0x04CB, 0x43EE, {0x95, 0xEB, 0x24, 0xD1, 0x8B, 0x75, 0x32, 0x48}};

    // Any thread: appends the callback (taking a reference of the queue's own) and posts the wake-up.
    // Allocation failure throws "bad allocation" and queues nothing.
    virtual void add(main_thread_callback* callback) = 0;

    // add on the program's queue service.
    static void post(main_thread_callback* callback);
    // Main thread: runs queued callbacks outside the lock. Without `all`, at most the callbacks present at
    // entry run; with `all`, until the queue is empty. An exception from a callback's run leaves the drain
    // (that callback released, the ones behind it still queued) and propagates.
    static void drain(bool all);
    // Number of callbacks waiting.
    static uint32_t pending() noexcept;
};
