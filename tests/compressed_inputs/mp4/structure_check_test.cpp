// The structure check of whole files built in the test, and the removal of a trailing ID3v1 block.

#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "compressed_inputs/mp4/atomkit/structure_check.h"
#include "tests/compressed_inputs/mp4/atomkit_test_support.h"

using namespace atomkit_test;
using strings = std::vector<std::string>;

namespace {

const bytes ftyp = box("ftyp", bytes{'M', '4', 'A', ' ', 0, 0, 2, 0, 'M', '4', 'A', ' ', 'm', 'p', '4', '2'});  // 24
const bytes moov = box("moov", box("mvhd", filler(100)));                                                       // 116
const bytes mdat = box("mdat", filler(50));                                                                     // 58
const bytes good = cat({ftyp, moov, mdat});                                                                     // 198

bytes id3v1() {
    bytes b = {'T', 'A', 'G', 'M', 'y', ' ', 'S', 'o', 'n', 'g'};
    b.resize(128, 0);
    return b;
}

bytes cut(bytes b, size_t n) {
    b.resize(b.size() - n);
    return b;
}

strings check(const bytes& data, uint64_t& garbage_start, bool report_size = true) {
    memory_file file(data, report_size);
    atomkit::structure_report report;
    garbage_start = atomkit::unknown_size;
    atomkit::check_structure(file, report, garbage_start);
    return report.messages;
}

const char* const no_moov = "No MOOV boxes found, the file is unplayable.";
const char* const no_mdat = "No MDAT box found, the file does not contain valid media data to play.";
const char* const no_ftyp = "No FTYP atom found, the file is invalid.";
const char* const garbage = "File is corrupted, garbage found at the end.";

}  // namespace

TEST_CASE("check_structure reports the first problem, then what is missing") {
    struct row {
        const char* what;
        bytes data;
        strings messages;
        uint64_t garbage_start;
    };
    bytes huge_free = cat({raw_header(1, "free"), bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}});
    const row rows[] = {
        {"a sound file", good, {}, atomkit::unknown_size},
        {"64-bit sizes", cat({ftyp, moov, box64("mdat", filler(9))}), {}, atomkit::unknown_size},
        {"an empty file", {}, {no_moov, no_mdat, no_ftyp}, atomkit::unknown_size},
        {"no ftyp", cat({moov, mdat}), {no_ftyp}, atomkit::unknown_size},
        {"two movie boxes", cat({ftyp, moov, moov, mdat}), {"Invalid file, multiple MOOV boxes found."},
         atomkit::unknown_size},
        {"cut inside mdat", cut(good, 10),
         {"Object \"mdat\" at 140 bytes is truncated.",
          "Media data is truncated, the file may not be playable completely."},
         atomkit::unknown_size},
        {"cut inside a 64-bit mdat", cut(cat({ftyp, moov, box64("mdat", filler(9))}), 1),
         {"Object \"mdat\" at 140 bytes is truncated.",
          "Media data is truncated, the file may not be playable completely."},
         atomkit::unknown_size},
        {"cut inside moov", cat({ftyp, cut(moov, 1)}), {"Object \"moov\" at 24 bytes is truncated.", no_mdat},
         atomkit::unknown_size},
        {"an ID3v1 block at the end", cat({good, id3v1()}), {"File is corrupted, apparent ID3 tag found at the end."},
         198},
        {"\"TAG\" not at the end is read as a box", cat({ftyp, id3v1(), filler(1)}),
         {"Object \"y So\" at 24 bytes is truncated.", no_moov, no_mdat}, atomkit::unknown_size},
        {"5 stray bytes at the end", cat({good, filler(5)}), {garbage}, atomkit::unknown_size},
        {"a largesize cut off", cat({good, raw_header(1, "free"), filler(3)}), {garbage}, atomkit::unknown_size},
        {"size 0 (to the end)", cat({ftyp, moov, raw_header(0, "mdat"), filler(50)}),
         {"Invalid box header found at 140 bytes, giving up.", no_mdat}, atomkit::unknown_size},
        {"a largesize below 16", cat({good, raw_header(1, "free"), bytes{0, 0, 0, 0, 0, 0, 0, 15}}),
         {"Invalid box header found at 198 bytes, giving up."}, atomkit::unknown_size},
        {"a size that runs past 2^64", cat({good, huge_free}), {"Invalid box header found at 198 bytes, giving up."},
         atomkit::unknown_size},
        {"a type byte below 0x20", cat({ftyp, raw_header(116, "mo\x01v"), filler(108), mdat}),
         {"Invalid box header found at 24 bytes, giving up.", no_moov, no_mdat}, atomkit::unknown_size},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        uint64_t garbage_start = 0;
        CHECK(check(r.data, garbage_start) == r.messages);
        CHECK(garbage_start == r.garbage_start);
    }
}

TEST_CASE("check_structure reads headers only") {
    // ftyp, moov, a 64-bit mdat: three 8-byte headers, one largesize, and the final empty read.
    memory_file file(cat({ftyp, moov, box64("mdat", filler(1000))}));
    atomkit::structure_report report;
    uint64_t garbage_start = atomkit::unknown_size;
    atomkit::check_structure(file, report, garbage_start);
    CHECK(report.messages.empty());
    CHECK(file.bytes_read == 8 * 3 + 8);
}

TEST_CASE("remove_trailing_garbage removes exactly a trailing ID3v1 block") {
    SUBCASE("the block goes") {
        memory_file file(cat({good, id3v1()}));
        atomkit::structure_report report;
        atomkit::remove_trailing_garbage(file, report);
        CHECK(report.messages == strings{"File is corrupted, apparent ID3 tag found at the end.",
                                         "Removed 128 bytes of trailing garbage."});
        CHECK(file.data() == good);

        atomkit::structure_report again;
        atomkit::remove_trailing_garbage(file, again);
        CHECK(again.messages.empty());
        CHECK(file.data() == good);
    }
    SUBCASE("every other finding is only reported") {
        const bytes cases[] = {cat({good, filler(5)}), cut(good, 10), cat({good, moov}), cat({ftyp, id3v1(), mdat})};
        for (const bytes& data : cases) {
            memory_file file(data);
            atomkit::structure_report report;
            atomkit::remove_trailing_garbage(file, report);
            CHECK_FALSE(report.messages.empty());
            CHECK(file.data() == data);
        }
    }
}
