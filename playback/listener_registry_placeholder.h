#pragma once
// Stand-in for the playback listener registry until the playback controller exists: it keeps the
// registered listeners in order and tells them nothing. The query below is the stand-in's own, for
// tests that check who is registered.
//
//     uint32_t mask = 0;
//     if (playback_listener_registered(&bar, &mask)) ...   // mask as given to register_listener

#include <cstdint>

#include "playback/playback_listener.h"

// True when the listener is registered; `mask` (optional) receives its event mask.
bool playback_listener_registered(const playback_listener* listener, uint32_t* mask = nullptr);
