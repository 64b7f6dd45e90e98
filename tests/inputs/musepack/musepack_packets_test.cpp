// The version-8 packet walk of the Musepack writers on a stream built here: chapter tags replace every old
// "CT" packet and stand right before "SE"; ReplayGain goes into the "RG" packet in place.
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/musepack/musepack_gain.h"
#include "inputs/musepack/musepack_packets.h"
#include "inputs/musepack/musepack_writer.h"
#include "metadata/tags/ape_tag.h"
#include "metadata/track_info.h"
#include "tests/inputs/input_test_support.h"

namespace {

using bytes = std::vector<uint8_t>;

void add_packet(bytes& out, const char* key, const bytes& payload) {
    kpl::array<uint8_t> p = musepack_packet(key, payload.data(), static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), p.data(), p.data() + p.count());
}

// key + payload of each packet from behind "MPCK" to "SE".
std::vector<std::pair<std::string, bytes>> packets_of(const bytes& file) {
    std::vector<std::pair<std::string, bytes>> out;
    size_t at = 4;
    while (at + 2 < file.size()) {
        std::string key(reinterpret_cast<const char*>(&file[at]), 2);
        size_t size = 0, n = 0;
        for (;;) {
            uint8_t b = file[at + 2 + n++];
            size = size << 7 | (b & 0x7F);
            if (!(b & 0x80)) break;
        }
        out.emplace_back(key, bytes(file.begin() + at + 2 + n, file.begin() + at + size));
        at += size;
        if (key == "SE") break;
    }
    return out;
}

std::string keys_of(const bytes& file) {
    std::string out;
    for (const auto& p : packets_of(file)) out += (out.empty() ? "" : " ") + p.first;
    return out;
}

}  // namespace

TEST_CASE("Chapter tags replace the old CT packets and stand right before the stream end") {
    input_test::services_built();
    input_test::scratch_folder folder(L"vorn-mpc-packets");
    bytes stream = {'M', 'P', 'C', 'K'};
    add_packet(stream, "SH", bytes(12, 0x11));
    add_packet(stream, "RG", {1, 0, 0, 0, 0, 0, 0, 0, 0});
    add_packet(stream, "CT", {0x00, 0, 0, 0, 0});  // an old chapter in front of the audio
    add_packet(stream, "AP", bytes(40, 0xAA));
    add_packet(stream, "CT", {0x05, 0, 0, 0, 0});
    add_packet(stream, "AP", bytes(40, 0xBB));
    add_packet(stream, "SE", {});
    const std::wstring path = folder.path(L"a.mpc");
    input_test::write_file(path, stream);
    const std::string location = folder.location(L"a.mpc");

    track_info_store one, two;
    one.meta_set("title", track_info::npos, "One", track_info::npos);
    two.meta_set("title", track_info::npos, "Two", track_info::npos);
    replaygain_values rg;
    rg.album_gain = -6.5f;
    for (track_info_store* info : {&one, &two}) {
        info->meta_set("album", track_info::npos, "Same", track_info::npos);
        info->set_replaygain(rg);
    }
    file_stream_ref file;
    filesystem_open_mode(file, location.c_str(), 2, abort_never);
    musepack_write_chapters(file, location.c_str(), {{0, &one}, {4410, &two}}, 44100, abort_never);
    file.reset();

    const bytes written = input_test::read_file(path);
    CHECK(keys_of(written) == "SH RG AP AP CT CT SE");
    const auto packets = packets_of(written);
    const bytes& first = packets[4].second;
    const bytes& second = packets[5].second;
    CHECK(first[0] == 0x00);                       // start sample 0
    CHECK(second[0] == 0xA2);                      // 4410 = 34 << 7 | 58, most significant group first
    CHECK(second[1] == 0x3A);
    ape_item_list items;
    ape_body_parse(second.data() + 6, static_cast<uint32_t>(second.size() - 6), items);
    REQUIRE(items.first_node() != nullptr);
    CHECK(std::string(items.first_node()->key.c_str()) == "Title");
    CHECK(std::string(reinterpret_cast<const char*>(items.first_node()->value.data()), items.first_node()->value.count()) == "Two");
    // The album gain both chapters share went into the "RG" packet, in place.
    const bytes& gain = packets[1].second;
    REQUIRE(gain.size() == 9);
    CHECK((gain[5] << 8 | gain[6]) == musepack_sv8_gain(-6.5f));
    // The audio packets are unchanged; the common album went to the file's trailing tag.
    CHECK(packets[2].second == bytes(40, 0xAA));
    CHECK(packets[3].second == bytes(40, 0xBB));
    CHECK(folder.files().size() == 1);

    // A stream without its end packet is refused and left as it was.
    bytes cut = stream;
    cut.resize(cut.size() - 2);
    input_test::write_file(path, cut);
    filesystem_open_mode(file, location.c_str(), 2, abort_never);
    CHECK_THROWS_AS(musepack_write_chapters(file, location.c_str(), {{0, &one}, {4410, &two}}, 44100, abort_never),
                    ketrel_io::exception_io_data);
    file.reset();
    CHECK(input_test::read_file(path) == cut);
    CHECK(folder.files().size() == 1);
}

TEST_CASE("A seek table of no entries is found in the header or where the header points") {
    // The decoding library indexes an empty table at -1 when it seeks (a read before the table); the input
    // refuses such a stream, so the check must see the table wherever the header puts it.
    input_test::services_built();
    input_test::scratch_folder folder(L"vorn-mpc-seek-table");
    struct row {
        const char* name;
        bool header_table;        // "ST" among the header packets
        bool pointed_table;       // "SO" in the header pointing at an "ST" behind the audio
        uint8_t entries;          // the table's declared entry count
        bool magic;               // the stream starts with "MPCK"
        bool cut;                 // the file ends two bytes into the pointed-at table
        bool empty;
    } const rows[] = {
        {"table in the header, no entries", true, false, 0, true, false, true},
        {"table in the header, three entries", true, false, 3, true, false, false},
        {"table behind the audio, no entries", false, true, 0, true, false, true},
        {"table behind the audio, two entries", false, true, 2, true, false, false},
        {"table behind the audio, cut after its key", false, true, 2, true, true, true},
        {"no table", false, false, 0, true, false, false},
        {"not a version-8 stream", true, false, 0, false, false, false},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        bytes stream = {'M', 'P', 'C', r.magic ? uint8_t('K') : uint8_t('X')};
        add_packet(stream, "SH", bytes(12, 0x11));
        const bytes table = {r.entries, 0x05, 0x10, 0x20};
        size_t so_at = 0;
        if (r.header_table) add_packet(stream, "ST", table);
        if (r.pointed_table) {
            so_at = stream.size();
            add_packet(stream, "SO", {0x00});   // offset filled in below
        }
        add_packet(stream, "AP", bytes(40, 0xAA));
        if (r.pointed_table) {
            stream[so_at + 3] = static_cast<uint8_t>(stream.size() - so_at);
            add_packet(stream, "ST", table);
            if (r.cut) stream.resize(stream.size() - table.size() - 1);
        }
        if (!r.cut) add_packet(stream, "SE", {});
        input_test::write_file(folder.path(L"t.mpc"), stream);
        file_stream_ref file;
        filesystem_open_mode(file, folder.location(L"t.mpc").c_str(), 0, abort_never);
        CHECK(sv8_stream_refused(*file, 0, abort_never) == r.empty);
    }
}

TEST_CASE("Chapter packets too short for their fields are found wherever the library reads chapters") {
    // A chapter packet holds its first sample (a number), gain and peak (16 bits each), then its tag. The
    // decoding library copies "the rest" of a shorter packet with a negative length; the input refuses it.
    input_test::services_built();
    input_test::scratch_folder folder(L"vorn-mpc-chapters");
    const bytes whole = {0x00, 0x00, 0x00, 0x00, 0x00};            // sample 0, gain, peak, no tag
    const bytes tagged = {0x82, 0x2C, 0x00, 0x00, 0x00, 0x00, 'A'}; // sample 300, gain, peak, one tag byte
    const bytes short_one = {0x05, 0x00, 0x00};                       // sample 5 and three bytes
    const bytes long_number = bytes(10, 0x81);                         // a number that never ends
    struct row {
        const char* name;
        bool pointed;                  // the header's "SO" packet points at the seek table
        std::vector<bytes> before_se;  // chapter packets right before "SE"
        std::vector<bytes> behind_st;  // chapter packets right behind the seek table
        bool hidden;                   // that table and its chapters lie inside an audio packet's payload
        bool damaged;
    } const rows[] = {
        {"no chapters", true, {}, {}, false, false},
        {"two whole chapters before the end", false, {whole, tagged}, {}, false, false},
        {"a whole chapter behind the seek table", true, {}, {tagged}, false, false},
        {"a chapter of four payload bytes", false, {whole, short_one}, {}, false, true},
        {"a chapter of no payload", false, {bytes()}, {}, false, true},
        {"a chapter whose number does not end", false, {long_number}, {}, false, true},
        {"a short chapter behind the seek table", true, {}, {whole, short_one}, false, true},
        {"a short chapter behind a table the walk never meets", true, {}, {short_one}, true, true},
        {"a whole chapter behind a table the walk never meets", true, {}, {whole}, true, false},
        // With a pointed-at table the library reads chapters behind it only, never the rest of the stream.
        {"a short chapter before the end of a stream with a pointed-at table", true, {short_one}, {whole}, false, false},
        {"a short chapter behind a table nothing points at", false, {}, {short_one}, false, true},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        bytes stream = {'M', 'P', 'C', 'K'};
        add_packet(stream, "SH", bytes(12, 0x11));
        const size_t so_at = stream.size();
        if (r.pointed) add_packet(stream, "SO", {0x00});   // offset filled in below
        add_packet(stream, "AP", bytes(40, 0xAA));
        bytes table;
        add_packet(table, "ST", {0x02, 0x05, 0x10, 0x20});
        for (const bytes& c : r.behind_st) add_packet(table, "CT", c);
        if (r.hidden) {
            add_packet(table, "AP", bytes(4, 0xCC));
            if (r.pointed) stream[so_at + 3] = static_cast<uint8_t>(stream.size() + 3 - so_at);   // behind the outer key and size
            add_packet(stream, "AP", table);
        } else {
            if (r.pointed) stream[so_at + 3] = static_cast<uint8_t>(stream.size() - so_at);
            stream.insert(stream.end(), table.begin(), table.end());
        }
        add_packet(stream, "AP", bytes(40, 0xBB));
        for (const bytes& c : r.before_se) add_packet(stream, "CT", c);
        add_packet(stream, "SE", {});
        input_test::write_file(folder.path(L"t.mpc"), stream);
        file_stream_ref file;
        filesystem_open_mode(file, folder.location(L"t.mpc").c_str(), 0, abort_never);
        CHECK(sv8_stream_refused(*file, 0, abort_never) == r.damaged);
    }
}
