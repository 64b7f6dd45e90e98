// Sorting lists of track handles by a title script, on one thread and on several; the function "rand".
#include <doctest/doctest.h>

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "foundation/kpl/ref_list.h"
#include "foundation/tasks/thread.h"
#include "metadata/title_formatting/handle_title.h"
#include "metadata/title_formatting/title_script.h"
#include "metadata/track_handle.h"
#include "tests/metadata/title_formatting/title_fields.h"

namespace {

track_handle_ref handle_of(const std::string& path, uint32_t subsong = 0) {
    track_handle_ref h;
    track_handle_registry::get().get_handle(h, track_location(path.c_str(), subsong));
    return h;
}

void give_info(track_handle& h, const char* artist, const char* album, const std::string& title, const char* number,
               float length) {
    browse_fields_builder record;
    record.set(browse_artist, artist);
    record.set(browse_album, album);
    record.set(browse_title, title.c_str());
    record.set(browse_track_number, number);
    record.length = length;
    REQUIRE(h.set_info(record, 1, 0, true));
}

std::vector<track_handle*> items_of(const kpl::array_list<track_handle_ref>& list) {
    std::vector<track_handle*> items;
    for (uint32_t i = 0; i < list.count(); ++i) items.push_back(list.get_item(i).get());
    return items;
}

std::wstring wide(const std::string& text) {
    std::wstring out(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

// The order the sort must give, made independently on this thread: each handle's text formatted by
// format_title, a blank in front, StrCmpLogicalW, equal keys by position.
std::vector<track_handle*> reference_order(const kpl::array_list<track_handle_ref>& list, const title_script& script) {
    struct keyed {
        std::wstring key;
        uint32_t position;
        track_handle* handle;
    };
    std::vector<keyed> keys;
    kpl::utf8_string_pow2 text;
    for (uint32_t i = 0; i < list.count(); ++i) {
        track_handle_ref h = list.get_item(i);
        h->format_title(nullptr, text, script, nullptr);
        keys.push_back({L" " + wide(text.c_str()), i, h.get()});
    }
    std::sort(keys.begin(), keys.end(), [](const keyed& a, const keyed& b) {
        int c = StrCmpLogicalW(a.key.c_str(), b.key.c_str());
        return c != 0 ? c < 0 : a.position < b.position;
    });
    std::vector<track_handle*> order;
    for (const keyed& k : keys) order.push_back(k.handle);
    return order;
}

// A library of `count` tracks with many equal keys, numbers that sort logically and tracks without info.
std::vector<track_handle_ref> make_library(const std::string& folder, uint32_t count) {
    static const char* const artists[] = {"Abba", "abba", "Zappa", "", "The Band", "\xC3\x89" "dith"};
    std::vector<track_handle_ref> tracks;
    for (uint32_t i = 0; i < count; ++i) {
        // Positions interleave so the input order is far from sorted.
        const uint32_t n = (i * 7919u) % count;
        track_handle_ref h = handle_of("file://C:\\" + folder + "\\" + std::to_string(n) + ".flac", n % 3);
        if (n % 11 != 0) {
            const std::string number = std::to_string(n % 23 + 1);
            give_info(*h, artists[n % 6], n % 5 ? "Album 2" : "Album 10", "Track " + std::to_string(n % 37), number.c_str(),
                      static_cast<float>(n % 400));
        }
        tracks.push_back(h);
    }
    return tracks;
}

}  // namespace

TEST_CASE("handle sort: number of threads") {
    struct row {
        uint32_t count, processors, threads;
    } rows[] = {
        {0, 4, 1}, {2, 4, 1}, {255, 4, 1}, {256, 4, 2}, {256, 1, 1}, {383, 4, 2}, {384, 4, 3},
        {10000, 4, 4}, {10000, 128, 78}, {100000, 0, 1},
    };
    for (const row& r : rows) {
        CAPTURE(r.count);
        CAPTURE(r.processors);
        CHECK(handle_list_sort_thread_count(r.count, r.processors) == r.threads);
    }
}

TEST_CASE("handle sort: order by script text") {
    std::vector<track_handle_ref> tracks;
    const char* const titles[] = {"Track 10", "Track 2", "track 1", "", "Track 2"};
    for (int i = 0; i < 5; ++i) {
        tracks.push_back(handle_of("file://C:\\order\\" + std::to_string(i) + ".flac"));
        if (*titles[i]) give_info(*tracks.back(), "", "", titles[i], "", 0);
    }
    // Track 3 has no title: its file name "3" sorts first.
    kpl::array_list<track_handle_ref> list;
    for (const track_handle_ref& h : tracks) list.append(h);
    handle_list_sort(list, *title_compile("%title%"));
    std::vector<track_handle*> expected = {tracks[3].get(), tracks[2].get(), tracks[1].get(), tracks[4].get(),
                                           tracks[0].get()};
    CHECK(items_of(list) == expected);

    // Equal keys keep their order, on one thread and on several.
    std::vector<track_handle_ref> same;
    kpl::array_list<track_handle_ref> equal_list;
    for (int i = 0; i < 600; ++i) {
        same.push_back(handle_of("file://C:\\same\\" + std::to_string(i) + ".flac"));
        give_info(*same.back(), "A", "B", "same", "1", 1);
        equal_list.append(same.back());
    }
    const std::vector<track_handle*> before = items_of(equal_list);
    for (uint32_t threads : {1u, 4u}) {
        CAPTURE(threads);
        handle_list_sort_on_threads(equal_list, *title_compile("%title%"), threads);
        CHECK(items_of(equal_list) == before);
    }

    // Lists of one or no handles are left alone.
    kpl::array_list<track_handle_ref> empty;
    handle_list_sort(empty, *title_compile("%title%"));
    CHECK(empty.count() == 0);
}

TEST_CASE("handle sort: several threads give the reference order") {
    const std::vector<track_handle_ref> tracks = make_library("big", 12000);
    const char* const scripts[] = {
        "%artist%|%album%|%tracknumber%|%title%",
        "$if2(%artist%,zzz) [%tracknumber%] %length%",
        "%path_sort%",
        "$num(%length_seconds%,6)",
    };
    for (const char* text : scripts) {
        INFO(text);
        title_script_ref script = title_compile(text);
        kpl::array_list<track_handle_ref> list;
        for (const track_handle_ref& h : tracks) list.append(h);
        const std::vector<track_handle*> expected = reference_order(list, *script);
        for (uint32_t threads : {1u, 3u, 8u}) {
            CAPTURE(threads);
            kpl::array_list<track_handle_ref> copy;
            for (const track_handle_ref& h : tracks) copy.append(h);
            handle_list_sort_on_threads(copy, *script, threads);
            CHECK(items_of(copy) == expected);
        }
        handle_list_sort(list, *script);
        CHECK(items_of(list) == expected);
    }
}

TEST_CASE("handle sort: records replaced while the sort runs are read whole") {
    // A writer keeps replacing every listed handle's record; each record has the same text in its title
    // and its album. The key is "1" when the two agree and "0" when a record was read half old, half new,
    // so a torn read would move that handle to the front. With whole reads every key is "1" and the order,
    // ties by position, stays as it was.
    const uint32_t count = 10000;
    std::vector<track_handle_ref> tracks;
    kpl::array_list<track_handle_ref> list;
    for (uint32_t i = 0; i < count; ++i) {
        tracks.push_back(handle_of("file://C:\\churn\\" + std::to_string(i) + ".flac"));
        give_info(*tracks.back(), "A", "gen 0", "gen 0", "1", 1);
        list.append(tracks.back());
    }
    const std::vector<track_handle*> before = items_of(list);

    class writer final : public kpl::thread {
    public:
        explicit writer(const std::vector<track_handle_ref>& tracks) : m_tracks(tracks) {}
        ~writer() override { wait_and_close(); }
        volatile long stop = 0;
        volatile long rounds = 0;

    private:
        void body() override {
            for (uint32_t generation = 1; !__atomic_load_n(&stop, __ATOMIC_ACQUIRE); ++generation) {
                // Texts of changing lengths, so each replacement allocates a new block.
                const std::string text = "gen " + std::string(generation % 50, 'x') + std::to_string(generation);
                browse_fields_builder record;
                record.set(browse_artist, "A");
                record.set(browse_album, text.c_str());
                record.set(browse_title, text.c_str());
                record.set(browse_track_number, "1");
                record.length = 1;
                for (const track_handle_ref& h : m_tracks) h->set_info(record, 1, 0, true);
                __atomic_add_fetch(&rounds, 1, __ATOMIC_ACQ_REL);
            }
        }
        const std::vector<track_handle_ref>& m_tracks;
    } churn(tracks);
    churn.start();

    title_script_ref script = title_compile("$if($strcmp(%title%,%album%),1,0)");
    for (int pass = 0; pass < 6; ++pass) {
        CAPTURE(pass);
        handle_list_sort_on_threads(list, *script, 4);
        CHECK(items_of(list) == before);
    }
    __atomic_store_n(&churn.stop, 1, __ATOMIC_RELEASE);
    churn.wait_and_close();
    CHECK(churn.rounds > 0);
}

TEST_CASE("handle sort: the function rand") {
    title_rand_provider rand;
    struct row {
        const char* script;
        uint64_t below;  // 0: exactly 0
    } rows[] = {
        {"$rand(0)", 0}, {"$rand(10)", 10}, {"$RAND(1)", 1}, {"$rand(7abc)", 7}, {"$rand()", 4294967295u},
        {"$rand(1,2)", 4294967295u}, {"$rand(x)", 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.script);
        title_script_ref script = title_compile(r.script);
        std::set<uint64_t> seen;
        for (int i = 0; i < 50; ++i) {
            kpl::utf8_string_pow2 out;
            script->run(&rand, out, nullptr);
            REQUIRE_FALSE(out.is_empty());
            const uint64_t value = std::stoull(out.c_str());
            seen.insert(value);
            if (r.below == 0) {
                CHECK(value == 0);
            } else {
                CHECK(value < r.below);
            }
        }
        // Random, not a constant: 50 draws from 10 or more values give at least 5 different ones (all 50
        // the same, or four values only, has a chance below 1e-17).
        if (r.below >= 10) CHECK(seen.size() >= 5);
    }
    // rand is true, knows no fields, and other names stay unknown.
    title_test::text_fields none("");
    title_provider_chain chain(rand, none);
    kpl::utf8_string_pow2 out;
    title_compile("[$rand(1)x]%artist%$other()")->run(&chain, out, nullptr);
    CHECK(out == "0x?[UNKNOWN FUNCTION]");

    // A sort by $rand() keeps every handle once.
    std::vector<track_handle_ref> tracks;
    kpl::array_list<track_handle_ref> list;
    for (int i = 0; i < 300; ++i) {
        tracks.push_back(handle_of("file://C:\\shuffle\\" + std::to_string(i) + ".flac"));
        list.append(tracks.back());
    }
    handle_list_sort(list, *title_compile("$rand()"));
    std::vector<track_handle*> sorted = items_of(list), original;
    for (const track_handle_ref& h : tracks) original.push_back(h.get());
    std::sort(sorted.begin(), sorted.end());
    std::sort(original.begin(), original.end());
    CHECK(sorted == original);
}
