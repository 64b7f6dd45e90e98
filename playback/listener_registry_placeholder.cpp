// Stand-in for the playback listener registry: registration and removal with the checks of the real
// one (main thread, never inside a notification), no notifications. A replay asked for on registration
// tells nothing, since nothing ever plays here.
#include "playback/listener_registry_placeholder.h"

#include "foundation/kpl/array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "playback/playback_controller.h"

namespace {

struct listener_entry {
    playback_listener* listener;
    uint32_t mask;
};

void check_may_change() noexcept {
    main_thread::assert_current();
    if (playback_listener_dispatch_active) kpl::crash();
}

class listener_registry final : public service_static<playback_listener_registry> {
public:
    void register_listener(playback_listener* listener, uint32_t mask, bool) override {
        check_may_change();
        m_entries.append(listener_entry{listener, mask});
    }

    void unregister_listener(playback_listener* listener) override {
        check_may_change();
        for (uint32_t i = 0; i < m_entries.count(); ++i) {
            if (m_entries[i].listener == listener) {
                m_entries.remove_at(i);
                return;
            }
        }
    }

    bool find(const playback_listener* listener, uint32_t* mask) const {
        for (uint32_t i = 0; i < m_entries.count(); ++i) {
            if (m_entries[i].listener != listener) continue;
            if (mask) *mask = m_entries[i].mask;
            return true;
        }
        return false;
    }

private:
    kpl::array<listener_entry> m_entries;
};

service_factory_single<listener_registry, playback_listener_registry> g_registry;

}  // namespace

bool playback_listener_registered(const playback_listener* listener, uint32_t* mask) {
    return g_registry.instance().find(listener, mask);
}
