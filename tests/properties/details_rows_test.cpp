// The Details tab's rows over a store made here: location rows, sizes, time stamp, duration with samples,
// the format summary with shares, ReplayGain, the "Other" group and the order of groups and rows.
#include <doctest/doctest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "metadata/browse_fields.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"
#include "properties/details_tab.h"
#include "shell/localization.h"

namespace {

void english() {
    static bool loaded = false;
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    if (!loaded) load_language_table(0x409);
    loaded = true;
}

// A lookup over infos and stats given by the test.
class fake_store final : public service_counted<loaded_info_lookup> {
public:
    struct entry {
        track_info_store info;
        file_stats stats;
    };
    std::map<const track_handle*, entry> entries;

    bool get_stats(const track_handle* track, file_stats& out) override {
        auto found = entries.find(track);
        if (found == entries.end()) return false;
        out = found->second.stats;
        return true;
    }
    bool get_info(const track_handle* track, const track_info*& out) override {
        auto found = entries.find(track);
        if (found == entries.end()) return false;
        out = &found->second.info;
        return true;
    }
};

track_handle_ref handle(const char* path, uint32_t subsong, float cached_length = 0, uint64_t stamp = 0) {
    track_handle_ref out;
    track_handle_registry::get().get_handle(out, track_location(path, subsong));
    if (cached_length > 0 || stamp) {
        browse_fields_builder record;
        track_info_store info;
        info.set_length(cached_length);
        record.fill_from_info(info);
        out->set_info(record, stamp, 0, true);
    }
    return out;
}

track_info_store audio(double length, const char* rate, const char* channels, const char* codec = "FLAC") {
    track_info_store info;
    info.set_length(length);
    info.info_set("codec", track_info::npos, codec, track_info::npos);
    info.info_set("samplerate", track_info::npos, rate, track_info::npos);
    info.info_set("channels", track_info::npos, channels, track_info::npos);
    return info;
}

// "group|label|value" per row, in display order.
std::vector<std::string> rows_of(const std::vector<track_handle_ref>& tracks, fake_store& store) {
    details_row_collector rows;
    details_standard_source().build_rows(tracks, &store, rows);
    rows.add_other_fields(tracks, &store);
    std::vector<std::string> out;
    for (const details_group& group : rows.groups())
        for (const details_row& row : group.rows) out.push_back(group.name + "|" + row.label + "|" + row.value);
    return out;
}

std::string value_of(const std::vector<std::string>& rows, const std::string& label) {
    for (const std::string& row : rows) {
        const size_t first = row.find('|');
        const size_t second = row.find('|', first + 1);
        if (row.substr(first + 1, second - first - 1) == label) return row.substr(second + 1);
    }
    return "(none)";
}

}  // namespace

TEST_CASE("Details: one track of a file gives every location row but no subsong; other fields in their group") {
    english();
    FILETIME stamp_time;
    SYSTEMTIME local = {2024, 3, 0, 5, 14, 7, 9, 0};
    FILETIME local_time;
    REQUIRE(SystemTimeToFileTime(&local, &local_time));
    REQUIRE(LocalFileTimeToFileTime(&local_time, &stamp_time));
    const uint64_t stamp = (static_cast<uint64_t>(stamp_time.dwHighDateTime) << 32) | stamp_time.dwLowDateTime;

    fake_store store;
    track_handle_ref track = handle("file://C:\\Music\\Album\\song.flac", 0, 3.0f, stamp);
    auto& e = store.entries[track.get()];
    e.info = audio(125.5, "44100", "2");
    e.info.info_set("bitspersample", track_info::npos, "16", track_info::npos);
    e.info.info_set("bitrate", track_info::npos, "900", track_info::npos);
    e.info.info_set("md5", track_info::npos, "ABCDEF", track_info::npos);
    e.info.info_set("tool", track_info::npos, "libFLAC 1.4.2", track_info::npos);
    e.info.info_set("tagtype", track_info::npos, "vorbiscomment", track_info::npos);
    e.info.info_set("encoding", track_info::npos, "lossless", track_info::npos);
    e.info.info_set("decoder_note", track_info::npos, "kept", track_info::npos);
    replaygain_values rg;
    rg.track_gain = -3.2f;
    e.info.set_replaygain(rg);
    e.stats.size = 1536;

    const std::vector<std::string> rows = rows_of({track}, store);
    const std::vector<std::string> expected = {
        "Location|File name|song.flac",
        "Location|Folder name|C:\\Music\\Album",
        "Location|File path|C:\\Music\\Album\\song.flac",
        "Location|File size|1.5KB (1 536 bytes)",
        "Location|Last modified|2024-03-05 14:07:09",
        // The info's exact length, not the handle's cached 3 s.
        "General|Duration|2:05.500 (5 534 550 samples)",
        "General|Format|FLAC / lossless / 900 kbps / stereo / 44100 Hz / 16-bit / vorbiscomment",
        "General|Creator|libFLAC 1.4.2",
        "General|MD5|ABCDEF",
        "ReplayGain|Track|-3.20 dB",
        "Other|<DECODER_NOTE>|kept",
    };
    // The samples suffix groups no digits: compare it apart.
    CHECK(value_of(rows, "Duration") == "2:05.500 (5534550 samples)");
    std::vector<std::string> without_duration;
    for (const std::string& row : rows)
        if (row.find("|Duration|") == std::string::npos) without_duration.push_back(row);
    std::vector<std::string> expected_without;
    for (const std::string& row : expected)
        if (row.find("|Duration|") == std::string::npos) expected_without.push_back(row);
    CHECK(without_duration == expected_without);
    CHECK(details_format_timestamp(~0ull) == "<invalid timestamp>");
}

TEST_CASE("Details: several tracks summarise; shares by duration, sizes once per file, missing sizes hide the row") {
    english();
    fake_store store;
    track_handle_ref a = handle("file://C:\\Music\\x.flac", 1, 300.0f);
    track_handle_ref b = handle("file://C:\\Music\\x.flac", 2, 100.0f);
    track_handle_ref c = handle("file://C:\\Music\\x.flac", 3);
    store.entries[a.get()].info = audio(300, "44100", "2");
    store.entries[b.get()].info = audio(100, "48000", "6");
    store.entries[c.get()].info = audio(0, "48000", "6", "Vorbis");
    for (auto& entry : store.entries) entry.second.stats.size = 1000;

    std::vector<std::string> rows = rows_of({a, b, c}, store);
    CHECK(value_of(rows, "File path") == "C:\\Music\\x.flac");
    CHECK(value_of(rows, "Subsong index") == "1, 2, 3");
    CHECK(value_of(rows, "File name") == "x.flac");
    CHECK(value_of(rows, "Total size") == "1000B");  // one file, counted once, below 1024 bytes
    CHECK(value_of(rows, "Duration") == "6:40.000");  // differing rates: no samples
    CHECK(value_of(rows, "Format") == "FLAC / 2 (75.0%); 6 (25.0%) ch / 44100 Hz (75.0%); 48000 Hz (25.0%)");
    CHECK(value_of(rows, "<CODEC>") == "(none)");  // several tracks: no "Other" group

    // Without lengths the shares count tracks; a missing size hides the total.
    fake_store counted;
    track_handle_ref d = handle("file://C:\\Music\\d.flac", 0);
    track_handle_ref e = handle("file://C:\\Other\\e.flac", 0);
    counted.entries[d.get()].info = audio(0, "44100", "2");
    counted.entries[e.get()].info = audio(0, "44100", "6");
    counted.entries[d.get()].stats.size = 5;
    rows = rows_of({d, e}, counted);
    CHECK(value_of(rows, "Format") == "FLAC / 2 (50.0%); 6 (50.0%) ch / 44100 Hz");
    CHECK(value_of(rows, "Total size") == "(none)");
    CHECK(value_of(rows, "File names") == "d.flac, e.flac");
    CHECK(value_of(rows, "Folder names") == "C:\\Music, C:\\Other");
    CHECK(value_of(rows, "File path") == "(none)");
    CHECK(value_of(rows, "Duration") == "(none)");

    // A track without info: no shares at all, and the ReplayGain rows go.
    track_handle_ref f = handle("file://C:\\x\\f.flac", 0);
    rows = rows_of({d, f}, counted);
    CHECK(value_of(rows, "Format") == "");

    // More than 100 characters of names end in " ..." after the last one that fitted.
    std::vector<track_handle_ref> many;
    fake_store empty;
    for (int i = 0; i < 12; ++i)
        many.push_back(handle(("file://C:\\M\\long-file-name-" + std::to_string(i) + ".flac").c_str(), 0));
    rows = rows_of(many, empty);
    const std::string names = value_of(rows, "File names");
    CHECK(names.substr(names.size() - 4) == " ...");
    CHECK(names.find("long-file-name-4.flac ...") != std::string::npos);  // 113 characters, then the cut
    CHECK(names.find("long-file-name-5.flac") == std::string::npos);
}

TEST_CASE("Details list: rows replace equal keys, groups in their order, copy text") {
    english();
    details_row_collector rows;
    rows.add_row("Zebra", 0, "z", "1");
    rows.add_row("General", 1, "b", "2");
    rows.add_row("alpha", 0, "a", "3");
    rows.add_row("General", 0, "c", "4");
    rows.add_row("General", 1, "B", "5");  // same priority and name (case-insensitive): replaces
    rows.add_row("Location", 0, "l", "6");
    const auto groups = rows.groups();
    std::vector<std::string> names;
    for (const auto& g : groups) names.push_back(g.name);
    CHECK(names == std::vector<std::string>{"Location", "General", "alpha", "Zebra"});
    REQUIRE(groups[1].rows.size() == 2);
    CHECK(groups[1].rows[0].label == "c");
    CHECK(groups[1].rows[1].value == "5");

    details_row empty{0, "Empty", ""};
    CHECK(details_copy_text({&groups[1].rows[0], &empty, &groups[1].rows[1]}) == "c : 4\r\nb : 5");
}
