#pragma once
// The index of a Matroska Segment's level-1 elements and the records read from Info, Tracks, Chapters, Cues
// and Attachments.
//
// matroska_scan finds the EBML header (after any junk before the first 0x1A byte), checks it, and records where
// each level-1 element of the Segment starts, from the Segment's own children up to the first SeekHead (or until
// Tracks, Info, Chapters and Cues are all seen) and from every SeekHead, following chains. Clusters are stepped
// over by their sizes, never read:
//
//     Matroska::matroska_index index;
//     Matroska::ebml_reader r(file, abort);
//     Matroska::matroska_scan(index, r);                  // DocType "Matroska": "Unsupported document type: \"Matroska\""
//     Matroska::matroska_info info;
//     Matroska::matroska_read_single(index, r, Matroska::id::info, handler);  // absent or repeated: exception_io_data
//
// The record readers apply the strict rules: no TimecodeScale, a TrackEntry without TrackUID or TrackType, an
// audio track without Audio, a content encoding of scope above 3, encryption or compression other than header
// stripping, a ChapterAtom without UID or start or with an end not after its start, a CueTrackPositions without
// track or position, an AttachedFile without name or data, an empty name or MIME type: all
// ketrel_io::exception_io_data.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "compressed_inputs/matroska/ebml_ids.h"
#include "compressed_inputs/matroska/ebml_reader.h"

namespace Matroska {

struct matroska_index {
    uint64_t segment_data_start = 0;
    uint64_t segment_size = 0;
    uint64_t segment_position = 0;
    std::map<uint32_t, std::set<uint64_t>> positions;
    std::set<uint64_t> seekheads_parsed;
    std::string doctype;

    bool has(uint32_t element) const {
        auto it = positions.find(element);
        return it != positions.end() && !it->second.empty();
    }
    uint64_t segment_end() const { return segment_data_start + segment_size; }
};

struct matroska_content_encoding {
    uint64_t order = 0, scope = 1, type = 0, algorithm = 0;
    std::vector<uint8_t> settings;
};

struct matroska_track {
    uint64_t uid = 0;
    int64_t type = -1;
    int64_t number = -1;
    bool enabled = false, is_default = false, forced = false;
    std::string codec_id;
    std::vector<uint8_t> codec_private;
    double sample_rate = 0.0, output_sample_rate = 0.0;
    uint32_t bits_per_sample = 0, channels = 0;
    bool audio_seen = false;
    // CodecDelay in nanoseconds (0 when absent).
    uint64_t codec_delay = 0;
    std::map<uint64_t, matroska_content_encoding> encodings;
};

constexpr uint64_t matroska_absent = ~uint64_t(0);

struct matroska_chapter {
    uint64_t start = matroska_absent, end = matroska_absent;  // nanoseconds
    uint64_t uid = matroska_absent;
    bool hidden = false, enabled = true;
    std::string title;
};

struct matroska_attachment {
    std::string name, mime_type;
    uint64_t data_position = matroska_absent, data_size = matroska_absent;
};

struct matroska_info {
    uint64_t timecode_scale = 0;
    double duration = 0.0;
};

// Builds the index of the file (run once per open).
void matroska_scan(matroska_index& index, ebml_reader& reader);
// Reads the one element of this ID with the handler; its total size. Absent or repeated: exception_io_data.
uint64_t matroska_read_single(matroska_index& index, ebml_reader& reader, uint32_t element,
                              ebml_element_handler& handler);
// Reads every element of this ID in position order; their total size. Absent: exception_io_data.
uint64_t matroska_read_all(matroska_index& index, ebml_reader& reader, uint32_t element,
                           ebml_element_handler& handler);

// Handlers that fill the records (each for one element; matroska_read_single/all run them).
class info_handler final : public ebml_element_handler {
public:
    explicit info_handler(matroska_info& out) : m_out(out) {}
    void child(uint32_t id, uint64_t size, ebml_reader& reader) override;
    void end() override;

private:
    matroska_info& m_out;
};

class tracks_handler final : public ebml_element_handler {
public:
    explicit tracks_handler(std::vector<matroska_track>& out) : m_out(out) {}
    void child(uint32_t id, uint64_t size, ebml_reader& reader) override;
    void end() override;

private:
    std::vector<matroska_track>& m_out;
    bool m_any = false;
};

class chapters_handler final : public ebml_element_handler {
public:
    explicit chapters_handler(std::vector<matroska_chapter>& out) : m_out(out) {}
    void child(uint32_t id, uint64_t size, ebml_reader& reader) override;
    void end() override;

private:
    std::vector<matroska_chapter>& m_out;
    std::vector<std::vector<matroska_chapter>> m_visible;
};

class cues_handler final : public ebml_element_handler {
public:
    cues_handler(std::map<uint64_t, uint64_t>& out, int64_t track_number) : m_out(out), m_track(track_number) {}
    void child(uint32_t id, uint64_t size, ebml_reader& reader) override;

private:
    std::map<uint64_t, uint64_t>& m_out;
    int64_t m_track;
};

class attachments_handler final : public ebml_element_handler {
public:
    explicit attachments_handler(std::vector<matroska_attachment>& out) : m_out(out) {}
    void child(uint32_t id, uint64_t size, ebml_reader& reader) override;

private:
    std::vector<matroska_attachment>& m_out;
};

// A handler that keeps nothing (steps over an element).
class skip_handler final : public ebml_element_handler {
public:
    void child(uint32_t, uint64_t, ebml_reader&) override {}
};

// Applies the track's encodings of one scope bit (1 frames, 2 CodecPrivate) to the bytes: header stripping puts
// the settings in front; encryption and any other compression are exception_io_data.
void matroska_apply_encodings(const matroska_track& track, uint64_t scope_bit, std::vector<uint8_t>& data);
// Whether the track has encodings of this scope bit (frames need no work otherwise).
bool matroska_has_encodings(const matroska_track& track, uint64_t scope_bit);

}  // namespace Matroska
