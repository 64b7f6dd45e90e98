#pragma once
// The info-change broadcast: tells every info_change_notify service (registry order) and then every
// registered info_change_callback (pointer order) which tracks changed. Main thread.
//
//     info_broadcast(changed, 0);     // {b, a, b} arrives as {a, b} (sorted by handle identity, no repeats)
//     info_broadcast(empty, 0);       // sends nothing
//
// The callbacks are walked over a copy of the set, so a callback may register or unregister callbacks
// (itself included) while it is called; one unregistered meanwhile is still called this time. An exception
// escaping a receiver ends the process through the crash path (crash_from_callback).

#include <cstdint>

#include "metadata/info_change_notify.h"

void info_broadcast(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag);

// The callback set (a set of pointers: registering twice keeps one entry).
void info_callback_register(info_change_callback* callback);
void info_callback_unregister(info_change_callback* callback);
