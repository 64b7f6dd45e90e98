// track_info::set_cue_index_points: the one way every reader of cue data states where a track lies.
#include <doctest/doctest.h>

#include <string>

#include "metadata/track_info.h"

namespace {

std::string info_of(const track_info& info, const char* name) {
    const char* value = info.info_get_by_name(name);
    return value ? value : "-";
}

}  // namespace

TEST_CASE("cue index points: offset, pregap and further indexes; stale fields removed") {
    struct row {
        double i00, i01, i02, i03;
        const char *offset, *pregap, *index02, *index03;
    };
    const row rows[] = {
        {1.0, 3.0, 5.0, 0, "00:03:00", "00:02:00", "00:02:00", "-"},
        {0, 0, 0, 0, "-", "-", "-", "-"},
        {3.0, 3.0, 2.0, 63.5, "00:03:00", "-", "-", "01:00:38"},
        {-2.0, 0, 0, 0, "-", "00:02:00", "-", "-"},  // INDEX 00 before the start of the file
    };
    for (const row& r : rows) {
        CAPTURE(r.i01);
        track_info_store info;
        // Fields of an earlier state, all to be replaced or removed.
        for (const char* name : {"pregap", "index 00", "index 01", "index 02", "index 03", "index 99"})
            info.info_set(name, track_info::npos, "stale", track_info::npos);
        info.info_set("codec", track_info::npos, "FLAC", track_info::npos);
        double points[100] = {};
        points[0] = r.i00;
        points[1] = r.i01;
        points[2] = r.i02;
        points[3] = r.i03;
        info.set_cue_index_points(points);
        CHECK(info_of(info, "referenced_offset") == r.offset);
        CHECK(info_of(info, "pregap") == r.pregap);
        CHECK(info_of(info, "index 02") == r.index02);
        CHECK(info_of(info, "index 03") == r.index03);
        CHECK(info_of(info, "index 00") == "-");
        CHECK(info_of(info, "index 01") == "-");
        CHECK(info_of(info, "index 99") == "-");
        CHECK(info_of(info, "codec") == "FLAC");
    }
}
