#include "playback/listener_registry.h"

#include <cstdlib>
#include <cstring>

#include "foundation/kpl/exceptions.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "playback/playback_controller.h"

namespace {

void check_may_change() noexcept {
    main_thread::assert_current();
    if (playback_listener_dispatch_active) kpl::crash();
}

playback_listener_list g_list;
bool g_static_collected = false;

class listener_registry final : public service_static<playback_listener_registry> {
public:
    void register_listener(playback_listener* listener, uint32_t mask, bool replay) override {
        check_may_change();
        g_list.append(playback_listener_entry{listener, mask});
        if (replay) playback_controller_replay(listener, mask);
    }

    void unregister_listener(playback_listener* listener) override {
        check_may_change();
        g_list.remove(listener);
    }
};

service_factory_single<listener_registry, playback_listener_registry> g_registry;

}  // namespace

playback_listener_list::~playback_listener_list() { std::free(m_overflow); }

void playback_listener_list::resize_overflow(uint32_t capacity) {
    if (capacity == 0) {
        std::free(m_overflow);
        m_overflow = nullptr;
        m_capacity = 0;
        return;
    }
    void* p = std::realloc(m_overflow, sizeof(playback_listener_entry) * capacity);
    if (!p) kpl::throw_bad_alloc();
    m_overflow = static_cast<playback_listener_entry*>(p);
    m_capacity = capacity;
}

void playback_listener_list::append(const playback_listener_entry& entry) {
    if (m_count >= inline_count) {
        const uint32_t used = m_count - inline_count;
        if (used == m_capacity) resize_overflow(m_capacity ? m_capacity * 2 : 1);
    }
    at(m_count) = entry;
    ++m_count;
}

bool playback_listener_list::remove(const playback_listener* listener) {
    for (uint32_t i = 0; i < m_count; ++i) {
        if (at(i).listener != listener) continue;
        for (uint32_t j = i + 1; j < m_count; ++j) at(j - 1) = at(j);
        --m_count;
        const uint32_t used = m_count > inline_count ? m_count - inline_count : 0;
        if (m_capacity > 0 && used * 4 < m_capacity) resize_overflow(m_capacity / 2 > used ? m_capacity / 2 : used);
        return true;
    }
    return false;
}

playback_listener_list& playback_listeners() { return g_list; }

void playback_listeners_collect_static(uint32_t bit) {
    if (g_static_collected || !(bit & (playback_event_starting | playback_event_volume))) return;
    g_static_collected = true;
    if (!service_class::find(playback_listener_service::class_guid)) return;
    service_iterator it(playback_listener_service::class_guid);
    service_ref each;
    while (it.next(each)) {
        playback_listener_service* s = each.as<playback_listener_service>();
        g_list.append(playback_listener_entry{s->get_listener(), s->get_event_mask()});
    }
}

bool playback_listener_registered(const playback_listener* listener, uint32_t* mask) {
    for (uint32_t i = 0; i < g_list.count(); ++i) {
        if (g_list[i].listener != listener) continue;
        if (mask) *mask = g_list[i].mask;
        return true;
    }
    return false;
}

playback_dispatch_scope::playback_dispatch_scope() : m_saved(playback_listener_dispatch_active) {
    playback_listener_dispatch_active = true;
}

playback_dispatch_scope::~playback_dispatch_scope() { playback_listener_dispatch_active = m_saved; }
