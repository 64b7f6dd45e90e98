#pragma once
// Playing what is selected in a browse view: the three play modes, the random order and the start.
//
//     play_list list;
//     crypt_random_source random;
//     if (!make_play_list(view, selected, 0, random, list)) MessageBeep(0);   // nothing to play
//     else start_play_list(list, *order, *controller);
//
// Mode 0 (Enter, "Start playback here"): with nothing selected, or one row that cannot be opened (a
//   track), the whole level (create_track_list) starting at the first track of the selection's own list
//   (found in the level's list by handle; no start when nothing is selected or it is not found); else
//   the selection's list (create_item_track_list), no start.
// Mode 1 ("Play this"): the selection's list, no start.
// Mode 2 ("Play this in random order"): the selected rows in a random order, each row's own list
//   (create_item_track_list of that row alone) kept in its order, joined; no start. Every order of the
//   rows is equally likely: Fisher-Yates, each draw uniform without modulo bias.
// A list with no items is refused (false): the caller beeps.
// Main thread only.

#include <cstdint>
#include <vector>

#include "library/library_node.h"
#include "playback/item_list.h"

class play_order_manager;
class playback_controller;

// 32-bit random numbers.
class random_source {
public:
    virtual uint32_t next() = 0;

protected:
    ~random_source() = default;
};

// CryptGenRandom (PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT); a failure throws the Win32 error.
class crypt_random_source final : public random_source {
public:
    crypt_random_source();
    ~crypt_random_source();
    crypt_random_source(const crypt_random_source&) = delete;
    crypt_random_source& operator=(const crypt_random_source&) = delete;
    uint32_t next() override;

private:
    uintptr_t m_provider = 0;
};

// A number uniform in 0 .. bound - 1 (bound > 0): draws above the largest multiple of bound are drawn
// again.
uint32_t random_below(random_source& random, uint32_t bound);
// Fisher-Yates: for i from n-1 down to 1, swap i with random_below(i + 1).
void shuffle_texts(std::vector<list_text>& texts, random_source& random);

struct play_list {
    item_enumerator_ref list;
    // Null: start at the list's first item.
    item_cursor_ref start;
};

// False when the list is empty.
bool make_play_list(library_node& view, const key_list& selected, int mode, random_source& random, play_list& out);
// The play order gets the list, then the start (null included); the controller starts with command 1.
void start_play_list(const play_list& list, play_order_manager& order, playback_controller& controller);
