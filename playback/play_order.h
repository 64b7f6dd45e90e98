#pragma once
// The play order: the list playback was started from, the current item, the item last handed out and the
// repeat switch. The caller that starts playback from a list hands it the list and the start item, then
// starts the controller; the controller asks for one item per queued track and tells which became audible.
//
//     service_ptr<play_order_manager> order;
//     service_class::get_single(order);
//     order->set_list(list.get());                 // list: a, b, c
//     item_cursor_ref at;
//     list->find(at, b.get());
//     order->set_current(at.get());                // start item b
//     controller->start(1, ...);                   // command 1: the controller plays b
//
//     item_cursor_ref p;
//     order->next(play_order_continue, p);         // c: follows the item last handed out
//     order->next(play_order_continue, p);         // false, p null: the list ended (no repeat)
//
// Commands of next (p is the cursor handed out; pending becomes p, null included, for commands 0-3):
//     0 continue   from pending, else current, else the list's first item: that item's next; past the end
//                  the first item when repeat is on
//     1 current    current; the first item when there is none
//     2 next       the first item without current; else current's next, the first item past the end with
//                  repeat
//     3 previous   the last item without current; else current's previous, the last item before the start
//                  with repeat
//     other        false; pending unchanged
// next and previous count from current, which the controller moves to the audible item (set_playing).
//
// One static object answers both interfaces below (release and add_ref answer 1). Main thread only.

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "playback/item_list.h"

enum : int {
    play_order_continue = 0,
    play_order_current = 1,
    play_order_next = 2,
    play_order_previous = 3,
};

// The play order (static object). Operations in slot order after release, add_ref and query.
class play_order_manager : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xD8D51855, 0xD79D, 0x49B8, {0x97, 0xA8, 0x06, 0x57, 0x85, 0xFA, 0x24, 0x26}};

    // A new reference to the list (never null: an empty list before any set_list).
    virtual void get_list(item_enumerator_ref& out) = 0;
    // Replaces the list (null: an empty list); current and pending stay as they are.
    virtual void set_list(item_enumerator* list) = 0;
    // A new reference to current, or null.
    virtual void get_current(item_cursor_ref& out) = 0;
    // current = cursor (null allowed).
    virtual void set_current(item_cursor* cursor) = 0;
    virtual bool get_repeat() = 0;
    // Off at every program start; not stored.
    virtual void set_repeat(bool repeat) = 0;
    // The item of a command into `out` (the table above); false when there is none.
    virtual bool next(int command, item_cursor_ref& out) = 0;
};

// The play order's extension, answered by query on the play order's object.
class play_order_manager_ext : public play_order_manager {
public:
    static constexpr kpl::guid class_guid = {0x9C2F91D8, 0xAAAF, 0x4E0B, {0xB5, 0xD5, 0x4C, 0xD4, 0x97, 0xDB, 0xE4, 0xE4}};
    using parent_interface = play_order_manager;

    // current = cursor: the controller calls it when the item became audible.
    virtual void set_playing(item_cursor* cursor) = 0;
    // Empties the play list (a new empty list) and releases current and pending. At shut-down, and as the
    // undo of a failed playback start-up.
    virtual void shut_down() = 0;
};
