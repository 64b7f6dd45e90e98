#pragma once
// matroska_file: one opened Matroska or WebM file as the Matroska input's decoder, info reader and info writer see
// it. Opening scans the file, reads Tracks, Info, Chapters (and, for decoding, Cues), chooses one audio track and
// opens its packet decoder; decoding reads one Cluster at a time, splits laced blocks, puts stripped headers back
// and trims decoded audio to the seek target and the chapter's end:
//
//     Matroska::matroska_file f;
//     f.open(file_stream_ref(), "file://C:\\a.mka", input_open_decode, abort);
//     f.initialise(f.subsong_id(0), 0, abort);    // subsong 0, or chapter 1 when the file has chapters
//     audio_block_store block;
//     while (f.decode(block, abort)) play(block);
//     f.seek(10.0, abort);                        // the last cue at or before 10 s less the decoder's pre-roll
//
// Track choice: the first audio track with FlagForced, else with FlagDefault, else the first audio track; a track no
// packet decoder takes is dropped and the choice made again. No audio track: "File contains no audio tracks";
// none taken: "Unsupported audio track format" (both exception_io_data; an info or write open goes on without a
// track). Opus (and any track with CodecDelay) starts at the end of the codec delay and drops DiscardPadding at
// the end, so the first samples are the stream's own.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "compressed_inputs/matroska/matroska_index.h"
#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

namespace Matroska {

// One frame of a (laced) block, its bytes in a buffer of the caller's.
struct matroska_frame {
    int16_t timecode = 0;
    bool has_timecode = false;
    bool invisible = false;
    size_t offset = 0, size = 0;
    int64_t discard_padding = 0;  // nanoseconds to drop at the end (last frame of a BlockGroup)
};

// Splits the block bytes after the track number (timecode, flags, lacing, frames) into frames appended to `out`,
// their offsets relative to `base`. Bad lacing or frames larger than the block: exception_io_data.
//     EBML lacing of 3 frames of 100, 90 and the rest: sizes 100 (81 64), then the delta -10 (5F F5 ... as 2 bytes)
void matroska_split_block(const uint8_t* data, size_t size, size_t base, std::vector<matroska_frame>& out);

class matroska_file {
public:
    matroska_file();
    ~matroska_file();
    matroska_file(const matroska_file&) = delete;
    matroska_file& operator=(const matroska_file&) = delete;

    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort);
    uint32_t subsong_count();
    uint32_t subsong_id(uint32_t index);
    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort);
    file_stats get_file_stats(const abort_signal& abort);
    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort);
    void commit_info(const abort_signal& abort);

    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort);
    bool decode(audio_block& block, const abort_signal& abort);
    void seek(double seconds, const abort_signal& abort);
    void on_idle(const abort_signal& abort);
    void set_event_sink(decoder_event_sink* sink);

    // For tests and the tool.
    const matroska_index& index() const { return m_index; }
    const std::vector<matroska_chapter>& chapters() const { return m_chapters; }
    const matroska_track* track() const { return m_has_track ? &m_track : nullptr; }
    uint64_t bitrate() const { return m_bitrate; }
    // The subsong's key for its tags: 0 for the whole file, the ChapterUID of a chapter.
    uint64_t subsong_key(uint32_t subsong) const;

private:
    void choose_track(bool decoding, const abort_signal& abort);
    void select_subsong(uint32_t subsong);
    bool next_frame(matroska_frame& frame, const uint8_t*& data, const abort_signal& abort);
    bool read_next_cluster(const abort_signal& abort);
    double round_to_sample(double seconds) const;
    void load_tags(const abort_signal& abort);

    file_stream_ref m_file;
    input_open_reason m_reason = input_open_info;
    matroska_index m_index;
    std::vector<matroska_track> m_tracks;
    matroska_track m_track;
    bool m_has_track = false;
    uint64_t m_timecode_scale = 0;
    double m_duration = 0;
    std::vector<matroska_chapter> m_chapters;
    std::map<uint64_t, uint64_t> m_cue_map;

    std::vector<matroska_frame> m_frames;
    size_t m_next_frame = 0;
    std::vector<uint8_t> m_bytes;
    uint64_t m_cluster_time = 0;
    uint64_t m_next_cluster_offset = 0;

    service_ptr<codec_packet_decoder> m_decoder;
    service_ptr<decoder_event_sink> m_sink;
    uint64_t m_bitrate = 0;
    double m_sample_rate = 0;
    double m_position = 0, m_target = 0;
    double m_seconds_per_tick = 0;
    double m_codec_delay = 0;
    double m_subsong_start = 0, m_subsong_length = 0;
    bool m_subsong_has_end = false;
    bool m_initialised = false;

    // Tags (matroska_tags.cpp).
    bool m_tags_loaded = false;
    std::map<uint64_t, track_info_store> m_tag_cache;
    std::map<uint64_t, track_info_packed> m_staged;
};

}  // namespace Matroska
