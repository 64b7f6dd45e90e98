// properties_bench: what the properties dialog spends on a large selection: building the field list and
// the Details rows for 5,000 tracks of 20 fields each, against copying the same store (what every
// finished operation does anyway). Not a test; run it to follow the cost over time:
//
//     wine build/properties_bench.exe [tracks]
//
// Prints milliseconds per step (best of five rounds) and each step's ratio to the store copy.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"
#include "properties/details_tab.h"
#include "properties/field_model.h"
#include "properties/loaded_info_store.h"
#include "shell/localization.h"
#include "tools/bench/bench_support.h"

namespace {

const char* const field_names[20] = {"ARTIST",  "TITLE",      "ALBUM",       "DATE",       "GENRE",
                                     "COMPOSER", "PERFORMER", "ALBUM ARTIST", "TRACKNUMBER", "TOTALTRACKS",
                                     "DISCNUMBER", "TOTALDISCS", "PUBLISHER", "COMMENT",    "MOOD",
                                     "LANGUAGE", "ISRC",      "BARCODE",     "LABEL",      "ENCODER"};

}  // namespace

int main(int argc, char** argv) {
    const uint32_t count = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 5000;
    if (count == 0) {
        std::fprintf(stderr, "usage: properties_bench [tracks, at least 1]\n");
        return 2;
    }
    service_registry::table().build(service_registration_list());
    load_language_table(0x409);

    std::vector<track_handle_ref> tracks;
    loaded_info_store_ptr store = loaded_info_store::create(nullptr);
    for (uint32_t i = 0; i < count; ++i) {
        track_handle_ref h;
        const std::string path = "file://C:\\Music\\Album " + std::to_string(i / 12) + "\\" + std::to_string(i % 12 + 1) + ".flac";
        track_handle_registry::get().get_handle(h, track_location(path.c_str()));
        track_info_store info;
        info.set_length(180.0 + i % 60);
        for (uint32_t f = 0; f < 20; ++f) {
            const std::string value = f % 5 == 0 ? "Shared value " + std::to_string(f) : "Value " + std::to_string(i * 20 + f);
            info.meta_add(field_names[f], track_info::npos, value.c_str(), track_info::npos);
        }
        info.info_set("codec", track_info::npos, "FLAC", track_info::npos);
        info.info_set("samplerate", track_info::npos, i % 4 ? "44100" : "48000", track_info::npos);
        info.info_set("channels", track_info::npos, "2", track_info::npos);
        info.info_set("bitspersample", track_info::npos, "16", track_info::npos);
        info.info_set("bitrate", track_info::npos, std::to_string(800 + i % 300).c_str(), track_info::npos);
        file_stats stats;
        stats.size = 20000000 + i;
        store->on_info(h, info, stats);
        tracks.push_back(h);
    }

    size_t rows = 0;
    const double copy_ms = best_ms([&] {
        loaded_info_store_ptr copy = loaded_info_store::create(store.get());
        rows += copy->count();
    });
    properties_field_list fields;
    const double list_ms = best_ms([&] {
        properties_build_field_list(fields, count, [&](uint32_t i) {
            const track_info* info = nullptr;
            return store->get_info(tracks[i].get(), info) ? info : nullptr;
        });
    });
    std::string shown;
    const double display_ms = best_ms([&] {
        for (const properties_field_model& field : fields) shown = field.display_text();
    });
    size_t detail_rows = 0;
    const double details_ms = best_ms([&] {
        details_row_collector collector;
        collector.collect(tracks, store->lookup());
        detail_rows = 0;
        for (const details_group& group : collector.groups()) detail_rows += group.rows.size();
    });

    std::printf("tracks: %u, fields per track: 20, field rows: %u, details rows: %u\n", count,
                static_cast<unsigned>(fields.size()), static_cast<unsigned>(detail_rows));
    std::printf("store copy     %8.2f ms\n", copy_ms);
    std::printf("field list     %8.2f ms  (%.2f x store copy)\n", list_ms, list_ms / copy_ms);
    std::printf("display texts  %8.2f ms  (%.2f x store copy)\n", display_ms, display_ms / copy_ms);
    std::printf("details rows   %8.2f ms  (%.2f x store copy)\n", details_ms, details_ms / copy_ms);
    return rows ? 0 : 1;
}
