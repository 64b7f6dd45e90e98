// startup_bench: the in-process half of the start-up benchmark (tools/bench/startup_bench.sh runs the player
// itself for the start-up figures). Not a test.
//
//     wine build/startup_bench.exe make PROFILE FOLDER TRACKS
//         writes PROFILE\database.dat holding one watched folder, FOLDER (the key of the effective folder
//         list, as config.dat names it), with TRACKS generated tracks and their browse records: artist
//         folders of 8 albums, 12 songs an album, 20 genres, some multi-value texts. The stored state is
//         what the folder's monitor reads at load; with monitoring off nothing is read from disk.
//     wine build/startup_bench.exe views PROFILE
//         loads the library stored in PROFILE (monitoring off) and times the albums level and the
//         "All songs" level of the tag view: opening each, then rebuilding it as a library change does
//         (best of five).
//
// Output of views (N counts, T milliseconds):
//     tracks N loaded in T ms
//     albums level: N items, open T ms, rebuild T ms
//     all songs level: N items, open T ms, rebuild T ms
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/memory_sink.h"
#include "foundation/fs/stream_forms.h"
#include "foundation/services/config_store.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "library/library_store.h"
#include "library/library_view_model.h"
#include "metadata/browse_fields.h"
#include "shell/hidden_window.h"
#include "shell/localization.h"
#include "shell/main_thread_queue.h"
#include "tools/bench/bench_support.h"
#include "tools/bench/library_bench_support.h"

namespace {

// The chunk of a monitor's stored state that holds its folder tree, and the state's end mark.
constexpr kpl::guid tree_chunk = {0xA5CA0AD0, 0xEA5D, 0x4E04, {0xAA, 0x2C, 0xDD, 0x0A, 0x45, 0x02, 0x36, 0x6E}};
constexpr kpl::guid state_end = {0x9BEA8494, 0x6045, 0x4945, {0x9A, 0xBC, 0x0B, 0x38, 0xAE, 0xC3, 0x91, 0x6A}};
constexpr uint64_t file_stamp = 0x01D9000000000000ull;

std::string padded(uint32_t value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", width, value);
    return text;
}

void write_name(stream_writer& out, const std::string& name) {
    out.write_uint32(static_cast<uint32_t>(name.size()));
    out.write(name.data(), name.size());
}

// The folder tree: root -> "Artist NNNNN" -> "Album NNNNNN" -> "NN.flac", every name in byte order.
void write_tree(stream_writer& out, uint32_t tracks) {
    const uint32_t albums = (tracks + 11) / 12, artists = (albums + 7) / 8;
    out.write_uint32(0);  // no files in the root
    out.write_uint32(artists);
    for (uint32_t artist = 0; artist < artists; ++artist) {
        write_name(out, "Artist " + padded(artist, 5));
        out.write_uint32(0);
        const uint32_t first_album = artist * 8, end_album = std::min(albums, first_album + 8);
        out.write_uint32(end_album - first_album);
        for (uint32_t album = first_album; album < end_album; ++album) {
            write_name(out, "Album " + padded(album, 6));
            const uint32_t first = album * 12, end = std::min(tracks, first + 12);
            out.write_uint32(end - first);
            for (uint32_t i = first; i < end; ++i) {
                write_name(out, padded(i - first + 1, 2) + ".flac");
                uint8_t stamp[8];
                for (int b = 0; b < 8; ++b) stamp[b] = static_cast<uint8_t>(file_stamp >> (8 * b));
                out.write(stamp, 8);
                out.write_uint32(1);  // one track, subsong 0, with its record
                out.write_uint32(0);
                out.write_uint32(1);
                browse_fields_builder record;
                record.length = 180.0f + static_cast<float>(i % 120);
                record.set(browse_title, ("Song " + std::to_string(i)).c_str());
                record.set(browse_artist,
                           ("Artist " + std::to_string(artist) + (i % 17 == 0 ? "; Guest" : "")).c_str());
                record.set(browse_genre,
                           ("Genre " + std::to_string(artist % 20) + (i % 5 == 0 ? "; Mixed" : "")).c_str());
                record.set(browse_album, ("Album " + std::to_string(album)).c_str());
                record.set(browse_track_number, std::to_string(i - first + 1).c_str());
                record.set(browse_date, std::to_string(1960 + album % 60).c_str());
                record.write(out.sink(), out.abort());
            }
            out.write_uint32(0);  // no subfolders in an album
        }
    }
}

int make(const std::string& profile, const std::string& folder, uint32_t tracks) {
    memory_sink tree;
    {
        stream_writer out(tree, abort_never);
        write_tree(out, tracks);
    }
    library_store::record record;
    record.key = folder;
    record.save_state = [&tree](byte_sink& sink, const abort_signal& abort) {
        stream_writer out(sink, abort);
        out.write_guid(tree_chunk);
        out.write_uint32(tree.size());
        out.write(tree.data(), tree.size());
        out.write_guid(state_end);
    };
    const std::string location = "file://" + profile + "\\database.dat";
    if (!library_store::save(location.c_str(), {record})) {
        std::fprintf(stderr, "startup_bench: %s could not be written\n", location.c_str());
        return 1;
    }
    std::printf("database.dat: %u tracks, %u bytes of folder state\n", tracks, tree.size());
    return 0;
}

double ms_since(double start) { return (bench_seconds() - start) * 1000; }

int views(const std::string& profile) {
    service_ptr<media_library> library = stored_library(profile);
    quiet_listener listener;
    double start = bench_seconds();
    library->register_listener(&listener);  // loads database.dat
    pump();
    track_list all;
    library->list_all(all);
    std::printf("tracks %u loaded in %.1f ms\n", all.count(), ms_since(start));
    int result = 0;
    if (all.count() == 0) {
        std::fprintf(stderr, "startup_bench: no tracks stored in %s\n", profile.c_str());
        result = 1;
    } else {
        quiet_host host;
        library_view_model view(host, node_path(), library.get());
        view.open(key_list());  // all artists
        start = bench_seconds();
        view.open(key_list());  // all albums
        double opened = ms_since(start);
        const track_list none;
        double rebuilt = best_ms([&] { view.on_items_modified(none); });
        std::printf("albums level: %u items, open %.1f ms, rebuild %.1f ms\n", view.items().count(), opened, rebuilt);
        key_list summary;
        summary.append(list_text(L"[songs from all albums]"));
        start = bench_seconds();
        view.open(summary);
        opened = ms_since(start);
        rebuilt = best_ms([&] { view.on_items_modified(none); });
        std::printf("all songs level: %u items, open %.1f ms, rebuild %.1f ms\n", view.items().count(), opened,
                    rebuilt);
    }
    library->unregister_listener(&listener);
    media_library::unload();
    main_thread_queue::drain(true);
    hidden_window_destroy();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    service_registry::table().build(service_registration_list());
    load_language_table(0x409);
    try {
        if (argc == 5 && std::strcmp(argv[1], "make") == 0)
            return make(argv[2], argv[3], static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10)));
        if (argc == 3 && std::strcmp(argv[1], "views") == 0) return views(argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "startup_bench: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: startup_bench make PROFILE FOLDER TRACKS | startup_bench views PROFILE\n");
    return 2;
}
