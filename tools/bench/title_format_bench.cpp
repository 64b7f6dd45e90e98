// title_format_bench: how many tracks per second a typical list script formats through their track handles
// (artist, album, track number, title and length, as one line of the library's list), and what that costs
// for a library of 100,000 tracks. Not a test; run it to follow the cost over time:
//
//     wine build/title_format_bench.exe [tracks]
//
// The tracks are synthetic handles with cached records; each is formatted with format_title on one
// thread, taking the track-info lock as the list does.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "metadata/browse_fields.h"
#include "metadata/title_formatting/title_script.h"
#include "metadata/track_handle.h"
#include "tools/bench/bench_support.h"

namespace {

const char* const list_script = "[%artist% - ]%album% - [%tracknumber%. ]%title% '['%length%']'";

std::vector<track_handle_ref> make_tracks(uint32_t count) {
    static const char* const artists[] = {"Nina Simone", "The Beatles; George Martin", "", "Miles Davis",
                                          "Bj\xC3\xB6rk"};
    std::vector<track_handle_ref> tracks;
    tracks.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string path = "file://C:\\Music\\Album " + std::to_string(i / 12) + "\\" +
                                 std::to_string(i % 12 + 1) + " Track.flac";
        track_handle_ref h;
        track_handle_registry::get().get_handle(h, track_location(path.c_str()));
        browse_fields_builder record;
        record.set(browse_artist, artists[i % 5]);
        record.set(browse_album, ("Album " + std::to_string(i / 12)).c_str());
        record.set(browse_title, ("Title of track number " + std::to_string(i)).c_str());
        record.set(browse_track_number, std::to_string(i % 12 + 1).c_str());
        record.set(browse_date, "1999");
        record.length = 120.0f + static_cast<float>(i % 300);
        h->set_info(record, 1, 0, true);
        tracks.push_back(h);
    }
    return tracks;
}

}  // namespace

int main(int argc, char** argv) {
    const uint32_t count = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 20000;
    if (count == 0) {
        std::fprintf(stderr, "usage: title_format_bench [tracks, at least 1]\n");
        return 2;
    }
    service_registry::table().build(service_registration_list());
    const std::vector<track_handle_ref> tracks = make_tracks(count);
    title_script_ref script = title_compile(list_script);

    kpl::utf8_string_pow2 line;
    size_t bytes = 0;
    for (const track_handle_ref& h : tracks) h->format_title(nullptr, line, *script, nullptr);  // warm up

    uint64_t formatted = 0;
    const double start = bench_seconds();
    double elapsed = 0;
    do {
        for (const track_handle_ref& h : tracks) {
            h->format_title(nullptr, line, *script, nullptr);
            bytes += line.length();
        }
        formatted += tracks.size();
        elapsed = bench_seconds() - start;
    } while (elapsed < 1.0);

    const double per_second = static_cast<double>(formatted) / elapsed;
    std::printf("script: %s\n", list_script);
    std::printf("example: %s\n", line.c_str());
    std::printf("tracks per second: %.0f\n", per_second);
    std::printf("100000 tracks: %.1f ms (%.0f bytes per line)\n", 100000.0 / per_second * 1000.0,
                static_cast<double>(bytes) / static_cast<double>(formatted));
    return 0;
}
