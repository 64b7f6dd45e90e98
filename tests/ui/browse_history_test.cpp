// The browsing history: Back and Forward over pushed places, what a new place drops, and the list state
// saved into the entry being left.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "ui/browse_history.h"

namespace {

// A place named by one key at one level, kind 0.
view_path place(const wchar_t* name) {
    view_path out;
    out.path.resize(1);
    out.path[0].append(list_text(name));
    return out;
}

std::wstring current_name(const browse_history& h) {
    const history_entry* e = h.current();
    return e ? std::wstring(e->location[0].front().text()) : L"-";
}

key_list keys(std::initializer_list<const wchar_t*> texts) {
    key_list out;
    for (const wchar_t* t : texts) out.append(list_text(t));
    return out;
}

}  // namespace

TEST_CASE("history: each step's current entry and whether Back and Forward can go") {
    browse_history h;
    CHECK(h.current() == nullptr);
    CHECK_FALSE(h.back());
    CHECK_FALSE(h.forward());
    h.save(keys({L"x"}), keys({}), 1, 2);  // nothing to save into: no effect, no fault

    // op: 'p' push name, 'b' back, 'f' forward.
    struct step {
        char op;
        const wchar_t* name;
        bool result;
        const wchar_t* current;
        bool can_back, can_forward;
        size_t size;
    };
    const step steps[] = {
        {'p', L"albums", true, L"albums", false, false, 1},
        {'b', nullptr, false, L"albums", false, false, 1},
        {'p', L"abbey", true, L"abbey", true, false, 2},
        {'p', L"songs", true, L"songs", true, false, 3},
        {'b', nullptr, true, L"abbey", true, true, 3},
        {'b', nullptr, true, L"albums", false, true, 3},
        {'b', nullptr, false, L"albums", false, true, 3},
        {'f', nullptr, true, L"abbey", true, true, 3},
        // A new place after going back drops what followed the current entry.
        {'p', L"music", true, L"music", true, false, 3},
        {'f', nullptr, false, L"music", true, false, 3},
        {'b', nullptr, true, L"abbey", true, true, 3},
        {'b', nullptr, true, L"albums", false, true, 3},
        {'p', L"genres", true, L"genres", true, false, 2},
    };
    for (const step& s : steps) {
        CAPTURE(s.op);
        bool result = true;
        if (s.op == 'p')
            h.push(place(s.name));
        else if (s.op == 'b')
            result = h.back();
        else
            result = h.forward();
        CHECK(result == s.result);
        CHECK(current_name(h) == s.current);
        CHECK(h.can_back() == s.can_back);
        CHECK(h.can_forward() == s.can_forward);
        CHECK(h.size() == s.size);
    }
}

TEST_CASE("history: the state saved on leaving an entry comes back with it; new entries start clear") {
    browse_history h;
    view_path albums = place(L"albums");
    albums.kind = 0;
    h.push(albums);
    h.save(keys({L"Abbey Road [1969]", L"Help! [1965]"}), keys({L"Help! [1965]"}), 0, 340);
    view_path folder = place(L"C:");
    folder.kind = 1;
    h.push(folder);
    CHECK(h.current()->kind == 1);
    CHECK(h.current()->selected.empty());
    CHECK(h.current()->focused.empty());
    CHECK(h.current()->scroll_y == 0);
    h.save(keys({L"a.flac"}), keys({}), 5, 6);

    REQUIRE(h.back());
    const history_entry& e = *h.current();
    CHECK(e.kind == 0);
    CHECK(e.location == albums.path);
    CHECK(e.selected == keys({L"Abbey Road [1969]", L"Help! [1965]"}));
    CHECK(e.focused == keys({L"Help! [1965]"}));
    CHECK(e.scroll_x == 0);
    CHECK(e.scroll_y == 340);
    // Saving again replaces the old state, and the later entry keeps its own.
    h.save(keys({}), keys({}), 0, 0);
    CHECK(h.current()->selected.empty());
    REQUIRE(h.forward());
    CHECK(h.current()->selected == keys({L"a.flac"}));
    CHECK(h.current()->scroll_x == 5);
}

TEST_CASE("history: no size limit") {
    browse_history h;
    for (int i = 0; i < 5000; ++i) h.push(place(std::to_wstring(i).c_str()));
    int backs = 0;
    while (h.back()) ++backs;
    CHECK(backs == 4999);
    CHECK(current_name(h) == L"0");
}
