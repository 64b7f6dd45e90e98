// The EBML reader, the scan and the records: the strict rules and the layouts common tools do not write.

#include <doctest/doctest.h>

#include <string>

#include "compressed_inputs/matroska/matroska_file.h"
#include "foundation/kpl/io_exceptions.h"
#include "metadata/audio_block.h"
#include "tests/compressed_inputs/compressed_test_support.h"
#include "tests/compressed_inputs/matroska/ebml_builder.h"

using namespace mkv;

namespace {

// "ok" or the open's error text.
std::string open_result(const bytes& file, input_open_reason reason = input_open_info) {
    compressed_test::services_built();
    Matroska::matroska_file f;
    try {
        f.open(compressed_test::memory_file_with(file), "memory://a.mka", reason, abort_never);
        return "ok";
    } catch (const ketrel_io::exception_io_data& e) {
        const std::string text = e.what();
        // The default text (its language-table lookup may give "" in the test program).
        if (text.empty() || text == "Unsupported format or corrupted file") return "corrupt";
        return "data: " + text;
    } catch (const std::exception& e) {
        return std::string("other: ") + e.what();
    }
}

const std::string corrupt = "corrupt";

bytes seek_entry(uint32_t stored, uint64_t position) {
    return el(id::seek, {el(id::seek_id, id_bytes(stored)), el(id::seek_position, u(position))});
}

Matroska::matroska_index scan(const bytes& file) {
    Matroska::matroska_index index;
    Matroska::ebml_reader r(compressed_test::memory_file_with(file), abort_never);
    Matroska::matroska_scan(index, r);
    return index;
}

}  // namespace

TEST_CASE("Matroska reader: what opens and what is refused, with its message") {
    const bytes good_content = cat({info(1000), pcm_tracks(), cluster(0, {block(1, 0, ramp(0, 8))})});
    const bytes good = el(id::segment, good_content);
    const bytes whole = file_of(good);
    track_spec unknown_codec;
    unknown_codec.codec = "A_NONE";
    track_spec no_audio_element;
    no_audio_element.type = 1;
    track_spec vorbis_padded;
    vorbis_padded.codec = std::string("A_VORBIS\0\0", 10);
    track_spec bad_codec;
    bad_codec.codec = "A_PCM\x7F";
    track_spec scope4;
    scope4.extra = el(id::content_encodings, {el(id::content_encoding, {el(id::content_encoding_scope, u(4))})});
    track_spec zlib;
    zlib.extra = el(id::content_encodings, {el(id::content_encoding, {el(id::content_compression, {el(id::content_comp_algo, u(0))})})});
    struct row {
        const char* what;
        bytes file;
        std::string expected;
    };
    const row rows[] = {
        {"plain", file_of(good), "ok"},
        {"junk before the header", cat({str("junk\x01\x02"), file_of(good)}), "ok"},
        {"webm", file_of(good, "webm"), "ok"},
        {"no 0x1A byte", str("no header here at all"), corrupt},
        {"DocType Matroska", file_of(good, "Matroska"), "data: Unsupported document type: \"Matroska\""},
        {"no Segment", ebml_header(), corrupt},
        {"unknown Segment size", cat({ebml_header(), id_bytes(id::segment), {0xFF}, good_content}),
         corrupt},
        {"Segment runs past the end", bytes(whole.begin(), whole.end() - 3), corrupt},
        {"a zero byte after the Segment", cat({file_of(good), {0x00}}), corrupt},
        {"a Void after the Segment", cat({file_of(good), el(id::void_element, bytes(3))}), "ok"},
        {"two Segments", cat({file_of(good), good}), corrupt},
        {"EBMLReadVersion 2", cat({el(id::ebml, {el(id::ebml_read_version, u(2)), el(id::doc_type, str("matroska"))}), good}),
         corrupt},
        {"no TimecodeScale", file_of(segment({el(id::info, el(id::duration, f64(1))), pcm_tracks()})), corrupt},
        {"10-byte Duration",
         file_of(segment({el(id::info, {el(id::timecode_scale, u(1000000)), el(id::duration, bytes(10))}), pcm_tracks()})),
         corrupt},
        {"empty TrackNumber",
         file_of(segment({info(), el(id::tracks, el(id::track_entry, {el(id::track_number, bytes()), el(id::track_uid, u(1)),
                                                                       el(id::track_type, u(1))}))})),
         corrupt},
        {"no TrackUID", file_of(segment({info(), el(id::tracks, el(id::track_entry, el(id::track_type, u(1))))})), corrupt},
        {"Tracks without TrackEntry", file_of(segment({info(), el(id::tracks, bytes())})), corrupt},
        {"audio track without Audio",
         file_of(segment({info(), el(id::tracks, el(id::track_entry, {el(id::track_uid, u(1)), el(id::track_type, u(2))}))})),
         corrupt},
        {"two Info", file_of(segment({info(), info(), pcm_tracks()})), corrupt},
        {"no Tracks", file_of(segment({info()})), corrupt},
        {"CodecID with 0x7F", file_of(segment({info(), tracks({bad_codec})})), corrupt},
        {"CodecID padded with zeros", file_of(segment({info(), tracks({vorbis_padded})})), "ok"},
        {"ContentEncodingScope 4", file_of(segment({info(), tracks({scope4})})), corrupt},
        {"zlib-compressed track, info", file_of(segment({info(), tracks({zlib}), cluster(0, {block(1, 0, ramp(0, 4))})})),
         "ok"},
        {"video only, info", file_of(segment({info(), tracks({no_audio_element})})), "ok"},
        {"video only, decode", file_of(segment({info(), tracks({no_audio_element})})), "data: File contains no audio tracks"},
        {"unknown codec, decode", file_of(segment({info(), tracks({unknown_codec})})),
         "data: Unsupported audio track format"},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        const input_open_reason reason = std::string(r.what).find("decode") != std::string::npos ? input_open_decode
                                                                                              : input_open_info;
        CHECK(open_result(r.file, reason) == r.expected);
    }
}

TEST_CASE("Matroska reader: SeekHead chains, a Cluster before the SeekHead, and the SeekPosition limit") {
    // SeekHead 1 at the start names SeekHead 2 at the end, which names the Cues.
    const bytes tracks_el = pcm_tracks(), info_el = info(), clus = cluster(0, {block(1, 0, ramp(0, 4))});
    const bytes cues_el = el(id::cues, el(id::cue_point, {el(id::cue_time, u(0)),
                                                          el(id::cue_track_positions, {el(id::cue_track, u(1)),
                                                                                       el(id::cue_cluster_position, u(0))})}));
    // Sizes are fixed by padding the first SeekHead to 40 bytes with a Void.
    auto build = [&](uint64_t second_at) {
        bytes head1 = el(id::seek_head, cat({seek_entry(id::info, 40), seek_entry(id::seek_head, second_at)}));
        head1 = cat({head1, el(id::void_element, bytes(40 - head1.size() - 2))});
        return head1;
    };
    bytes head1 = build(0);
    const uint64_t second_at = 40 + info_el.size() + tracks_el.size() + clus.size() + cues_el.size();
    head1 = build(second_at);
    REQUIRE(head1.size() == 40);
    const uint64_t cues_at = second_at - cues_el.size();
    const bytes head2 = el(id::seek_head, seek_entry(id::cues, cues_at));
    const bytes file = file_of(segment({head1, info_el, tracks_el, clus, cues_el, head2}));
    Matroska::matroska_index index = scan(file);
    const uint64_t base = index.segment_data_start;
    CHECK(index.positions[id::seek_head] == std::set<uint64_t>{base, base + second_at});
    CHECK(index.positions[id::cues] == std::set<uint64_t>{base + cues_at});
    CHECK(index.positions[id::info] == std::set<uint64_t>{base + 40});
    CHECK(index.seekheads_parsed.size() == 2);

    // A Cluster first: stepped over by its size, the SeekHead behind it still found.
    const bytes late_head = el(id::seek_head, {seek_entry(id::tracks, clus.size() + 40), seek_entry(id::info, 0)});
    REQUIRE(late_head.size() < 40);
    index = scan(file_of(segment({clus, late_head, el(id::void_element, bytes(40 - late_head.size() - 2)), tracks_el})));
    CHECK(index.has(id::tracks));
    CHECK(index.has(id::info));

    // SeekPosition equal to the Segment size.
    const bytes seg_content = cat({el(id::seek_head, seek_entry(id::cluster, 0)), info_el, tracks_el});
    const uint64_t seg_size = seg_content.size() + 0;  // the entry's value below is made to equal it
    bytes wrong = el(id::seek_head, seek_entry(id::cluster, seg_size));
    const bytes seg2 = cat({info_el, tracks_el, wrong});
    wrong = el(id::seek_head, seek_entry(id::cluster, seg2.size()));
    REQUIRE(cat({info_el, tracks_el, wrong}).size() == seg2.size());
    CHECK(open_result(file_of(segment({info_el, tracks_el, wrong}))) == corrupt);
    wrong = el(id::seek_head, seek_entry(id::cluster, seg2.size() - 1));
    CHECK(open_result(file_of(segment({info_el, tracks_el, wrong}))) == "ok");
}

TEST_CASE("Matroska reader: track flags, header stripping, chapters, cues and attachments") {
    compressed_test::services_built();
    track_spec stripped;
    stripped.codec = "A_WHATEVER";
    stripped.extra = cat({el(id::codec_private, str("DEF")),
                          el(id::content_encodings,
                             el(id::content_encoding, {el(id::content_encoding_scope, u(2)),
                                                       el(id::content_compression, {el(id::content_comp_algo, u(3)),
                                                                                    el(id::content_comp_settings, str("ABC"))})}))});
    auto chapter = [](uint64_t uid, uint64_t start, std::initializer_list<bytes> more) {
        return el(id::chapter_atom, cat({el(id::chapter_uid, u(uid)), el(id::chapter_time_start, u(start)), cat(more)}));
    };
    const bytes chapters = el(id::chapters, {
        el(id::edition_entry, {el(id::edition_flag_hidden, u(1)), chapter(9, 0, {})}),
        el(id::edition_entry, {chapter(1, 0, {el(id::chapter_display, el(id::chap_string, str("First"))),
                                              el(id::chapter_display, el(id::chap_string, str("Second")))}),
                               chapter(2, 500000000, {el(id::chapter_time_end, u(900000000))})}),
    });
    const bytes file = file_of(segment({info(), tracks({stripped}), chapters}));
    Matroska::matroska_file f;
    f.open(compressed_test::memory_file_with(file), "memory://a.mka", input_open_info, abort_never);
    REQUIRE(f.chapters().size() == 2);
    CHECK(f.chapters()[0].title == "First");
    CHECK(f.chapters()[0].uid == 1);
    CHECK(f.chapters()[1].end == 900000000);
    CHECK(f.subsong_count() == 2);
    CHECK(f.subsong_id(1) == 2);
    track_info_store ti;
    CHECK_THROWS_AS(f.get_info(0, ti, abort_never), ketrel_io::exception_io_data);
    CHECK_THROWS_AS(f.get_info(3, ti, abort_never), ketrel_io::exception_io_data);
    f.get_info(2, ti, abort_never);
    CHECK(ti.get_length() == doctest::Approx(0.4));

    // Header stripping on CodecPrivate, seen by the tracks reader.
    std::vector<Matroska::matroska_track> list;
    Matroska::tracks_handler handler(list);
    Matroska::ebml_reader r(compressed_test::memory_file_with(tracks({stripped})), abort_never);
    Matroska::ebml_read_element(r, id::tracks, handler);
    REQUIRE(list.size() == 1);
    CHECK(std::string(list[0].codec_private.begin(), list[0].codec_private.end()) == "ABCDEF");
    CHECK_FALSE(list[0].is_default);

    // A chapter end not after its start; only a hidden edition.
    const bytes bad = el(id::chapters, el(id::edition_entry, chapter(1, 10, {el(id::chapter_time_end, u(10))})));
    CHECK(open_result(file_of(segment({info(), pcm_tracks(), bad}))) == corrupt);
    const bytes hidden = el(id::chapters, el(id::edition_entry, {el(id::edition_flag_hidden, u(1)), chapter(1, 0, {})}));
    Matroska::matroska_file h;
    h.open(compressed_test::memory_file_with(file_of(segment({info(), pcm_tracks(), hidden}))), "memory://a.mka",
           input_open_info, abort_never);
    CHECK(h.subsong_count() == 1);

    // Cues: the second CuePoint of one time wins; other tracks add nothing.
    auto point = [](uint64_t time, uint64_t track, uint64_t position) {
        return el(id::cue_point, {el(id::cue_time, u(time)),
                                  el(id::cue_track_positions, {el(id::cue_track, u(track)), el(id::cue_cluster_position, u(position))})});
    };
    std::map<uint64_t, uint64_t> cue_map;
    Matroska::cues_handler cues(cue_map, 1);
    Matroska::ebml_reader cr(compressed_test::memory_file_with(el(id::cues, {point(5, 1, 100), point(5, 1, 200), point(7, 2, 300)})),
                             abort_never);
    Matroska::ebml_read_element(cr, id::cues, cues);
    CHECK(cue_map == std::map<uint64_t, uint64_t>{{5, 200}});

    // Attachments: an empty MIME type is refused; FileData is located, not read.
    auto attached = [](const std::string& name, const std::string& type) {
        return el(id::attached_file, {el(id::file_name, str(name)), el(id::file_mime_type, str(type)), el(id::file_data, str("DATA"))});
    };
    std::vector<Matroska::matroska_attachment> files;
    Matroska::attachments_handler ah(files);
    Matroska::ebml_reader ar(compressed_test::memory_file_with(el(id::attachments, attached("cover.jpg", "image/jpeg"))),
                             abort_never);
    Matroska::ebml_read_element(ar, id::attachments, ah);
    REQUIRE(files.size() == 1);
    CHECK(files[0].data_size == 4);
    std::vector<Matroska::matroska_attachment> none;
    Matroska::attachments_handler empty_type(none);
    Matroska::ebml_reader er(compressed_test::memory_file_with(el(id::attachments, attached("cover.jpg", ""))), abort_never);
    CHECK_THROWS_AS(Matroska::ebml_read_element(er, id::attachments, empty_type), ketrel_io::exception_io_data);
}
