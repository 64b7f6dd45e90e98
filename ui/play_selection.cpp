// Play modes over a browse view, the random row order and the start of playback.
#include "ui/play_selection.h"

#include <windows.h>
#include <wincrypt.h>

#include "foundation/kpl/win32_errors.h"
#include "playback/play_order.h"
#include "playback/playback_controller.h"

crypt_random_source::crypt_random_source() {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        exception_win32::throw_last_error();
    m_provider = provider;
}

crypt_random_source::~crypt_random_source() {
    if (m_provider) CryptReleaseContext(static_cast<HCRYPTPROV>(m_provider), 0);
}

uint32_t crypt_random_source::next() {
    uint32_t value = 0;
    if (!CryptGenRandom(static_cast<HCRYPTPROV>(m_provider), sizeof value, reinterpret_cast<BYTE*>(&value)))
        exception_win32::throw_last_error();
    return value;
}

uint32_t random_below(random_source& random, uint32_t bound) {
    // 2^32 mod bound draws at the top are drawn again, so that every remainder is left as often.
    const uint32_t excess = (0xFFFFFFFFu % bound + 1) % bound;
    const uint32_t limit = 0u - excess;  // 2^32 - excess; unused when excess is 0
    for (;;) {
        const uint32_t value = random.next();
        if (excess == 0 || value < limit) return value % bound;
    }
}

void shuffle_texts(std::vector<list_text>& texts, random_source& random) {
    for (size_t i = texts.size(); i > 1; --i) {
        const size_t j = random_below(random, static_cast<uint32_t>(i));
        if (j != i - 1) std::swap(texts[i - 1], texts[j]);
    }
}

bool make_play_list(library_node& view, const key_list& selected, int mode, random_source& random, play_list& out) {
    out = play_list();
    if (mode == 0 && (selected.empty() || (selected.count() == 1 && !view.can_open(selected)))) {
        out.list = view.create_track_list();
        if (!selected.empty() && out.list) {
            item_enumerator_ref own = view.create_item_track_list(selected);
            item_cursor_ref first;
            if (own) own->first(first);
            if (first) {
                track_handle_ref handle;
                first->get_handle(handle);
                out.list->find(out.start, handle.get());
            }
        }
    } else if (mode == 2) {
        std::vector<list_text> rows;
        for (const list_text& row : selected) rows.push_back(row);
        shuffle_texts(rows, random);
        std::vector<item_enumerator_ref> members;
        for (const list_text& row : rows) {
            key_list one;
            one.append(row);
            members.push_back(view.create_item_track_list(one));
        }
        out.list = track_list_chain(members);
    } else {
        out.list = view.create_item_track_list(selected);
    }
    item_cursor_ref first;
    if (out.list) out.list->first(first);
    if (!first) {
        out = play_list();
        return false;
    }
    return true;
}

void start_play_list(const play_list& list, play_order_manager& order, playback_controller& controller) {
    order.set_list(list.list.get());
    order.set_current(list.start.get());
    controller.start(1, false);
}
