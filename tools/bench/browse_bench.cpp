// browse_bench: what the tag view costs over a large library: building levels 0 (genres), 1 (artists),
// 2 (albums) and 3 (all songs), and one sorted track list of the whole library, next to sorting the same
// handles by "%title%" alone. Not a test; run it to follow the cost over time:
//
//     wine build/browse_bench.exe [tracks...]      # default: 10000 100000
//
// The tracks are synthetic handles with cached browse records (about 12 per album, 8 albums per artist,
// 20 genres, some multi-value texts).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "library/library_view_model.h"
#include "metadata/title_formatting/handle_title.h"
#include "shell/localization.h"
#include "tools/bench/bench_support.h"

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

struct quiet_host final : library_view_host {
    void on_items_changed() override {}
    void on_indexing_changed(bool) override {}
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

node_path levels(int n) {
    node_path p(static_cast<size_t>(n));
    if (n == 3) p[2].append(list_text(L"[songs from all albums]"));
    return p;
}

void run(uint32_t count) {
    bench_library library;
    make_tracks(library.tracks, count);
    quiet_host host;
    library_view_model view(host, node_path(), &library);
    std::printf("tracks %u\n", count);
    for (int level = 0; level <= 3; ++level) {
        const double start = bench_seconds();
        view.set_path(levels(level));
        std::printf("  level %d: %u items, %.1f ms\n", level, view.items().count(), (bench_seconds() - start) * 1000);
    }
    view.set_path(levels(2));
    double start = bench_seconds();
    track_list all;
    view.get_all_tracks(all);
    std::printf("  get_all_tracks (track sort script): %u tracks, %.1f ms\n", all.count(), (bench_seconds() - start) * 1000);
    track_list same;
    same.insert_from(library.tracks, 0);
    title_script_ref title = title_compile("%title%");
    start = bench_seconds();
    handle_list_sort(same, *title);
    std::printf("  handle_list_sort by %%title%%: %.1f ms\n", (bench_seconds() - start) * 1000);
}

}  // namespace

int main(int argc, char** argv) {
    service_registry::table().build(service_registration_list());
    load_language_table(0x409);
    std::vector<uint32_t> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    if (counts.empty()) counts = {10000, 100000};
    for (uint32_t c : counts) run(c);
    return 0;
}
