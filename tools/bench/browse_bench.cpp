// browse_bench: what the tag view costs over a large library: building level 0 (genres), then opening level 1
// (all artists), level 2 (all albums) and level 3 (all songs) one step at a time, and one sorted track list of
// the whole library (the track sort script), next to sorting the same handles by "%title%" alone in the same
// run. Not a test; run it to follow the cost over time:
//
//     tools/bench/browse_bench.sh                            # the library benchmark's files, then 100,000
//     wine build/browse_bench.exe [--profile DIR] [TRACKS...]
//
// --profile DIR: the library stored in that profile folder (its database.dat, as library_bench.sh leaves
// it), loaded without rescanning or watching its folders. TRACKS: sets of synthetic handles with cached
// browse records (about 12 per album, 8 albums per artist, 20 genres, some multi-value texts); default
// 100000 with a profile, else 10000 and 100000.
//
// Output per set (N counts, T milliseconds):
//     tracks N (generated | profile DIR)
//       level 0: N items, T ms             the constructor: genres
//       level 1: N items, T ms             then each open alone: all artists, all albums, all songs
//       level 2: N items, T ms
//       level 3: N items, T ms
//       get_all_tracks (track sort script): N tracks, T ms      at level 2, the whole library
//       handle_list_sort by %title%: N tracks, T ms
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/services/config_store.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "library/library_view_model.h"
#include "metadata/title_formatting/handle_title.h"
#include "shell/hidden_window.h"
#include "shell/localization.h"
#include "shell/main_thread_queue.h"
#include "tools/bench/bench_support.h"
#include "tools/bench/library_bench_support.h"

namespace {

class bench_library final : public media_library {
public:
    track_list tracks;
    uint32_t release() override { return 1; }
    uint32_t add_ref() override { return 1; }
    bool query(service_ref&, const kpl::guid&) override { return false; }
    bool contains(const track_handle_ref&) override { return false; }
    void enumerate(library_enum_callback&) override {}
    void list_all(library_track_list& out) override {
        kpl::list_remove_all(out);
        out.insert_from(tracks, 0);
    }
    void show_preferences() override {}
    void register_listener(library_change_listener*) override {}
    void unregister_listener(library_change_listener*) override {}
    bool is_indexing() override { return false; }
};

void make_tracks(track_list& out, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t album = i / 12, artist = album / 8;
        const std::string path = "file://C:\\Bench\\" + std::to_string(count) + "\\" + std::to_string(album) + "\\" +
                                 std::to_string(i % 12 + 1) + ".flac";
        track_handle_ref h;
        track_handle_registry::get().get_handle(h, track_location(path.c_str()));
        browse_fields_builder r;
        r.set(browse_title, ("Song " + std::to_string(i)).c_str());
        r.set(browse_artist, ("Artist " + std::to_string(artist) + (i % 17 == 0 ? "; Guest" : "")).c_str());
        r.set(browse_genre, ("Genre " + std::to_string(artist % 20) + (i % 5 == 0 ? "; Mixed" : "")).c_str());
        r.set(browse_album, ("Album " + std::to_string(album)).c_str());
        r.set(browse_track_number, std::to_string(i % 12 + 1).c_str());
        r.set(browse_date, std::to_string(1960 + album % 60).c_str());
        h->set_info(r, 1, 0, true);
        out.append(h);
    }
}

key_list one_key(const wchar_t* text) {
    key_list keys;
    keys.append(list_text(text));
    return keys;
}

double milliseconds_since(double start) { return (bench_seconds() - start) * 1000; }

// The four level builds, the whole library's sorted list and the %title% sort of the same handles.
void measure(media_library& library, const char* name) {
    track_list same;
    library.list_all(same);
    std::printf("tracks %u (%s)\n", same.count(), name);
    quiet_host host;
    double start = bench_seconds();
    library_view_model view(host, node_path(), &library);
    std::printf("  level 0: %u items, %.1f ms\n", view.items().count(), milliseconds_since(start));
    // No genre, no artist: all artists, then all albums; the summary item of the albums: all songs.
    const key_list steps[] = {key_list(), key_list(), one_key(L"[songs from all albums]")};
    for (int level = 1; level <= 3; ++level) {
        start = bench_seconds();
        view.open(steps[level - 1]);
        std::printf("  level %d: %u items, %.1f ms\n", level, view.items().count(), milliseconds_since(start));
    }
    view.go_up();  // level 2 sorts by the track sort script; level 3 of several albums by %title%
    start = bench_seconds();
    track_list all;
    view.get_all_tracks(all);
    std::printf("  get_all_tracks (track sort script): %u tracks, %.1f ms\n", all.count(), milliseconds_since(start));
    title_script_ref title = title_compile("%title%");
    start = bench_seconds();
    handle_list_sort(same, *title);
    std::printf("  handle_list_sort by %%title%%: %u tracks, %.1f ms\n", same.count(), milliseconds_since(start));
}

void run_generated(uint32_t count) {
    bench_library library;
    make_tracks(library.tracks, count);
    measure(library, "generated");
}

// The library stored in `profile` (a Windows path), loaded from its database.dat only: the monitors neither
// rescan nor watch, so the figures are the view model's alone.
void run_profile(const std::string& profile) {
    service_ptr<media_library> library = stored_library(profile);
    quiet_listener listener;
    library->register_listener(&listener);  // loads database.dat
    pump();
    track_list all;
    library->list_all(all);
    if (all.count() == 0) {
        std::fprintf(stderr, "browse_bench: no tracks stored in %s (run tools/bench/library_bench.sh first)\n",
                     profile.c_str());
    } else {
        measure(*library, ("profile " + profile).c_str());
    }
    library->unregister_listener(&listener);
    media_library::unload();
    main_thread_queue::drain(true);
    hidden_window_destroy();
}

}  // namespace

int main(int argc, char** argv) {
    service_registry::table().build(service_registration_list());
    load_language_table(0x409);
    std::string profile;
    std::vector<uint32_t> counts;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--profile") == 0 && i + 1 < argc)
            profile = argv[++i];
        else
            counts.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    }
    if (counts.empty()) counts = profile.empty() ? std::vector<uint32_t>{10000, 100000} : std::vector<uint32_t>{100000};
    try {
        if (!profile.empty()) run_profile(profile);
        for (uint32_t c : counts) run_generated(c);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "browse_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
