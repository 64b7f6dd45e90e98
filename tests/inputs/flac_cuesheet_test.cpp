// FLAC CUESHEET blocks as cue sheet text.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "foundation/kpl/io_exceptions.h"
#include "inputs/flac/flac_cuesheet.h"

namespace {

struct track_entry {
    uint64_t offset;
    unsigned number;
    bool data;
    std::vector<std::pair<unsigned, uint64_t>> indices;  // number, offset within the track
};

// A block that owns its records for as long as the builder lives.
class block_builder {
public:
    explicit block_builder(const std::vector<track_entry>& entries) : m_entries(entries) {
        m_tracks.resize(entries.size());
        m_indices.resize(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            FLAC__StreamMetadata_CueSheet_Track& t = m_tracks[i];
            t = FLAC__StreamMetadata_CueSheet_Track();
            t.offset = entries[i].offset;
            t.number = static_cast<FLAC__byte>(entries[i].number);
            t.type = entries[i].data ? 1 : 0;
            for (const auto& ix : entries[i].indices) {
                FLAC__StreamMetadata_CueSheet_Index index = FLAC__StreamMetadata_CueSheet_Index();
                index.number = static_cast<FLAC__byte>(ix.first);
                index.offset = ix.second;
                m_indices[i].push_back(index);
            }
            t.num_indices = static_cast<FLAC__byte>(m_indices[i].size());
            t.indices = m_indices[i].empty() ? nullptr : m_indices[i].data();
        }
        m_block = FLAC__StreamMetadata_CueSheet();
        m_block.is_cd = true;
        m_block.num_tracks = static_cast<uint32_t>(m_tracks.size());
        m_block.tracks = m_tracks.empty() ? nullptr : m_tracks.data();
    }
    const FLAC__StreamMetadata_CueSheet& block() const { return m_block; }

private:
    std::vector<track_entry> m_entries;
    std::vector<FLAC__StreamMetadata_CueSheet_Track> m_tracks;
    std::vector<std::vector<FLAC__StreamMetadata_CueSheet_Index>> m_indices;
    FLAC__StreamMetadata_CueSheet m_block;
};

}  // namespace

TEST_CASE("flac cue sheets: a CUESHEET block as cue text") {
    // Three audio tracks, a data track and the lead-out; 588 samples are one frame of 1/75 s at 44100 Hz.
    block_builder cd({
        {0, 1, false, {{1, 0}}},
        {7938000, 2, false, {{0, 0}, {1, 88200}, {2, 441000}}},
        {17640000, 3, false, {}},
        {20000000, 4, true, {{1, 0}}},
        {26460000, 170, false, {}},
    });
    kpl::utf8_string_pow2 text("old");
    flac_cuesheet_text(cd.block(), 44100, 26460000, text);
    CHECK(std::string(text.c_str()) ==
          "FILE \"CDImage.wav\" WAVE\r\n"
          "  TRACK 01 AUDIO\r\n"
          "    INDEX 01 00:00:00\r\n"
          "  TRACK 02 AUDIO\r\n"
          "    INDEX 00 03:00:00\r\n"
          "    INDEX 01 03:02:00\r\n"
          "    INDEX 02 03:10:00\r\n"
          "  TRACK 03 AUDIO\r\n"
          "    INDEX 01 06:40:00\r\n");

    // An index 00 at the very start of the first track.
    block_builder pregap({{0, 1, false, {{0, 0}, {1, 88200}}}, {441000, 170, false, {}}});
    flac_cuesheet_text(pregap.block(), 44100, 441000, text);
    CHECK(std::string(text.c_str()) ==
          "FILE \"CDImage.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n");
}

TEST_CASE("flac cue sheets: blocks that give no cue text") {
    struct row {
        const char* name;
        std::vector<track_entry> tracks;
        uint32_t rate;
    } rows[] = {
        {"no track record", {}, 44100},
        {"no sample rate", {{0, 1, false, {}}}, 0},
        {"a track after the next record", {{1000, 1, false, {}}, {500, 2, false, {}}}, 44100},
        {"a track after the end of the stream", {{900000, 1, false, {}}}, 44100},
        {"only data tracks and the lead-out", {{0, 1, true, {}}, {1000, 170, false, {}}}, 44100},
        {"a track number used twice", {{0, 1, false, {}}, {588, 1, false, {}}}, 44100},
        {"indexes out of order", {{0, 1, false, {{1, 1176}, {2, 588}}}}, 44100},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        block_builder b(r.tracks);
        kpl::utf8_string_pow2 text("kept");
        CHECK_THROWS_AS(flac_cuesheet_text(b.block(), r.rate, 441000, text), ketrel_io::exception_io_data);
        CHECK(std::string(text.c_str()) == "kept");
    }
}
