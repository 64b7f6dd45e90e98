#pragma once
// Track lists as playback walks them: an item_enumerator is an ordered list of track handles, an
// item_cursor one position in it. Any browsing source can hand its items to playback through these two
// interfaces; item_enumerator::create makes the plain list over an array of handles.
//
//     kpl::ref_array handles;                    // track handles a, b, c
//     item_enumerator_ref list = item_enumerator::create(handles);
//     item_cursor_ref at;
//     list->first(at);                           // on a
//     item_cursor_ref after;
//     at->next(after);                           // on b; `at` still on a (cursors never move)
//     list->find(at, c.get());                   // on c: the same handle object, not an equal path
//     at->next(after);                           // null: c is the last item
//     track_handle_ref h;
//     at->get_handle(h);                         // c
//
// Lists and cursors are reference counted; a cursor keeps its list alive. The plain list copies the
// array it is made from, so changing the caller's array later does not change the list. Lists and
// cursors are read from the main thread; the plain ones never change after creation and may be read from
// any thread.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/ref_array.h"
#include "foundation/services/service_base.h"
#include "metadata/track_handle.h"

class item_cursor;
class item_enumerator;
using item_cursor_ref = service_ptr<item_cursor>;
using item_enumerator_ref = service_ptr<item_enumerator>;

// One position in a list. Operations after release, add_ref and query, in this order.
class item_cursor : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xC24EEAE5, 0x1C5D, 0x49F3, {0xAE, 0x82, 0x77, 0xF4, 0x0E, 0xE8, 0x5E, 0x4E}};

    // A new reference to the item's track handle into `out`.
    virtual void get_handle(track_handle_ref& out) = 0;
    // A new cursor on the item before this one into `out`; null at the first item.
    virtual void previous(item_cursor_ref& out) = 0;
    // A new cursor on the item after this one into `out`; null at the last item.
    virtual void next(item_cursor_ref& out) = 0;
};

// An ordered list of track handles. Operations after release, add_ref and query, in this order.
class item_enumerator : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xDAC255D5, 0xF6E3, 0x463D, {0x80, 0x5C, 0xB4, 0x3F, 0x49, 0xAC, 0x5F, 0x66}};

    // Cursor on the first item into `out`; null when the list is empty.
    virtual void first(item_cursor_ref& out) = 0;
    // Cursor on the last item into `out`; null when the list is empty.
    virtual void last(item_cursor_ref& out) = 0;
    // Cursor on the first item whose handle is the object `handle` (identity of the shared handle) into
    // `out`; null when no item holds it (or `handle` is null). This default walks first and next, so lists
    // that build their items lazily may keep it.
    virtual void find(item_cursor_ref& out, const track_handle* handle);

    // The plain list over a copy of `handles` (each element a track handle).
    static item_enumerator_ref create(const kpl::ref_array& handles);
    // The plain list with no items.
    static item_enumerator_ref create_from_list();
};
