// Finding commands by GUID: the finder's maps over the main-menu and context-menu command sets.
#include "foundation/kpl/maps.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/persistent_state.h"
#include "foundation/services/service_registry.h"
#include "shell/command_model.h"

namespace {

// Where a command was when the map was built: its set object and its index there.
struct command_place {
    service_ref set;
    uint32_t index = 0;
};

using command_map = kpl::guid_map<command_place>;

// Every set of the class in class order, each command's GUID mapped to its place; later sets replace
// earlier ones on a shared GUID. Built once, while the services run.
template <class Set>
void build_map(command_map& map) {
    service_iterator it(Set::class_guid);
    service_ref each;
    while (it.next(each)) {
        Set* set = each.as<Set>();
        uint32_t count = set->get_count();
        for (uint32_t i = 0; i < count; ++i) {
            command_place place;
            place.set = each;
            place.index = i;
            map.set(set->get_guid(i), std::move(place));
        }
    }
}

// The index of the command in the set, or -1. Reads the count first, so a set that changed is never asked
// about an index it no longer has.
template <class Set>
int64_t index_in(Set* set, const kpl::guid& command) {
    uint32_t count = set->get_count();
    for (uint32_t i = 0; i < count; ++i) {
        if (set->get_guid(i) == command) return i;
    }
    return -1;
}

template <class Set>
bool still_there(Set* set, uint32_t index, const kpl::guid& command) {
    return index < set->get_count() && set->get_guid(index) == command;
}

class finder final : public service_static<main_menu_command_finder> {
public:
    bool find_main_command(const kpl::guid& command, service_ptr<main_menu_command_set>& set,
                           uint32_t& index) override {
        main_thread::assert_current();
        ensure_maps();
        if (const command_place* place = m_main.find_value(command)) {
            main_menu_command_set* known = place->set.as<main_menu_command_set>();
            if (still_there(known, place->index, command)) {
                set.assign(known);
                index = place->index;
                return true;
            }
            int64_t moved = index_in(known, command);
            if (moved >= 0) {
                set.assign(known);
                index = static_cast<uint32_t>(moved);
                return true;
            }
        }
        // Sets whose commands change at run time: scan them all.
        service_iterator it(main_menu_command_set::class_guid);
        service_ref each;
        while (it.next(each)) {
            int64_t at = index_in(each.as<main_menu_command_set>(), command);
            if (at >= 0) {
                set.assign(each.as<main_menu_command_set>());
                index = static_cast<uint32_t>(at);
                return true;
            }
        }
        return false;
    }

    bool find_context_command(const kpl::guid& command, service_ptr<context_menu_command_set>& set,
                              uint32_t& index) override {
        main_thread::assert_current();
        ensure_maps();
        const command_place* place = m_context.find_value(command);
        if (!place) return false;
        context_menu_command_set* known = place->set.as<context_menu_command_set>();
        // A set that shrank or changed since the map was built no longer has the command there.
        if (!still_there(known, place->index, command)) return false;
        set.assign(known);
        index = place->index;
        return true;
    }

    // The maps describe one build of the service table; a new build (start-up) starts them afresh.
    void forget_maps() {
        m_main.clear();
        m_context.clear();
        m_built = false;
    }

private:
    void ensure_maps() {
        if (m_built || !service_registry::is_running()) return;
        build_map<main_menu_command_set>(m_main);
        build_map<context_menu_command_set>(m_context);
        m_built = true;
    }

    command_map m_main;
    command_map m_context;
    bool m_built = false;
};

service_factory_single<finder, main_menu_command_finder> g_finder;

// Each start of the services makes the finder build its maps again on first use.
class finder_reset final : public service_static<persistent_state> {
public:
    void on_startup() override { g_finder.instance().forget_maps(); }
    void on_shutdown(bool) override {}
};

service_factory_single<finder_reset, persistent_state> g_finder_reset;

}  // namespace

main_menu_command_finder& main_menu_command_finder::get() { return g_finder.instance(); }

bool main_menu_command_finder::run_by_guid(const kpl::guid& command) {
    service_ptr<main_menu_command_set> set;
    uint32_t index = 0;
    if (!get().find_main_command(command, set, index)) return false;
    set->execute(index, nullptr);
    return true;
}

bool main_menu_command_finder::run_by_guid_ex(const kpl::guid& command, const kpl::guid& caller,
                                              const track_handle_list& tracks, service_object* extra) {
    if (tracks.count() == 0) return false;
    service_ptr<context_menu_command_set> set;
    uint32_t index = 0;
    if (!get().find_context_command(command, set, index)) return false;
    set->execute_for_caller(index, caller, tracks, extra);
    return true;
}
