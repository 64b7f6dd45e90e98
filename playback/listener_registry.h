#pragma once
// The playback listener registry as the controller uses it: the entries in registration order, and
// announcing one event to every entry whose mask has its bit.
//
//     playback_listeners_announce(playback_event_seek, [&](playback_listener* l) { l->on_seek(12.5); });
//
// An announcement counts the entries once, then calls each listener whose mask has the bit, in order,
// with the dispatch mark (playback_listener_dispatch_active) set around each single call and restored
// afterwards. The first announcement of the starting or the volume event first appends the static
// listeners (services of class playback_listener_service), once.
//
// Storage: the first 32 entries inline; further ones in an overflow array that doubles when full and halves
// when less than a quarter of it is used. Removal keeps the order of the others.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "playback/playback_listener.h"

// A listener registered as a service (none in this program; the lookup stays).
class playback_listener_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x8E4EED7A, 0xC6B8, 0x49C7, {0x99, 0xFE, 0x97, 0xE0, 0x4A, 0xAA, 0x63, 0xA8}};

    virtual uint32_t get_event_mask() = 0;
    virtual playback_listener* get_listener() = 0;
};

struct playback_listener_entry {
    playback_listener* listener;
    uint32_t mask;
};

// The entries in order (inline, then overflow).
class playback_listener_list {
public:
    enum : uint32_t { inline_count = 32 };

    ~playback_listener_list();
    uint32_t count() const { return m_count; }
    const playback_listener_entry& operator[](uint32_t index) const {
        return index < inline_count ? m_inline[index] : m_overflow[index - inline_count];
    }
    void append(const playback_listener_entry& entry);
    // Removes the first entry of the listener; false when there is none.
    bool remove(const playback_listener* listener);
    // Capacity of the overflow array (tests).
    uint32_t overflow_capacity() const { return m_capacity; }

private:
    playback_listener_entry& at(uint32_t index) {
        return index < inline_count ? m_inline[index] : m_overflow[index - inline_count];
    }
    void resize_overflow(uint32_t capacity);

    playback_listener_entry m_inline[inline_count] = {};
    playback_listener_entry* m_overflow = nullptr;
    uint32_t m_capacity = 0;
    uint32_t m_count = 0;
};

// Calls `call(listener)` for every entry whose mask has `bit` (see above).
template <class Call>
void playback_listeners_announce(uint32_t bit, Call call);

// The registry's entries (main thread).
playback_listener_list& playback_listeners();
// Appends the static listeners on the first starting or volume announcement.
void playback_listeners_collect_static(uint32_t bit);

// True when the listener is registered; `mask` (optional) receives its event mask.
bool playback_listener_registered(const playback_listener* listener, uint32_t* mask = nullptr);

// The controller's replay of the present state to a new listener (defined with the controller).
void playback_controller_replay(playback_listener* listener, uint32_t mask);

// The dispatch mark around one listener call.
class playback_dispatch_scope {
public:
    playback_dispatch_scope();
    ~playback_dispatch_scope();

private:
    bool m_saved;
};

template <class Call>
void playback_listeners_announce(uint32_t bit, Call call) {
    playback_listeners_collect_static(bit);
    playback_listener_list& list = playback_listeners();
    const uint32_t n = list.count();
    for (uint32_t i = 0; i < n && i < list.count(); ++i) {
        const playback_listener_entry entry = list[i];
        if (!(entry.mask & bit)) continue;
        playback_dispatch_scope scope;
        call(entry.listener);
    }
}
