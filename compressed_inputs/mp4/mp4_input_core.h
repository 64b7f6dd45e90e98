#pragma once
// mp4_input_core: one opened MP4/M4A file as the MP4 input's decoder, info reader and info writer see it.
// It opens the file model (atomkit), picks the first audio track, decodes it through the packet decoder of
// its sample entry ("mp4a": AAC or MPEG audio by the "esds" object type; "alac": Apple Lossless), one sample
// per packet, trimmed to the gapless range and to the chosen chapter. Chapters are subsongs 1..n; subsong 0
// is the whole file.
//
//     mp4_input_core f;
//     f.open(file_stream_ref(), "file://C:\\a.m4a", input_open_decode, abort);
//     f.initialise(0, 0, abort);
//     while (f.decode_chunk(block, abort)) play(block);   // an iTunSMPB file: exactly its encoded samples
//     f.seek_seconds(3.0, abort);                          // the next block starts at sample round(3 x rate)
//
// A damaged sample is reported to the event sink ("Decoding error: ...") and skipped; a codec that cannot be
// set up at all (no AAC transform, no "esds" configuration, or one the codec fails every packet with: 8 failed
// packets before any decoded) ends decoding with its reason. atomkit's errors leave
// every operation as exception_io_data_atomkit (the tag operations too: their callers know only the program's
// own exceptions).

#include <cstdint>
#include <vector>

#include "compressed_inputs/mp4/atomkit/movie_file.h"
#include "compressed_inputs/mp4/atomkit/sample_index.h"
#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

// Tests replace the packet decoder: when set, open calls it instead of codec_packet_decoder_open.
typedef void (*mp4_packet_decoder_opener)(service_ptr<codec_packet_decoder>& out, const atomkit::track_record& track);
extern mp4_packet_decoder_opener mp4_packet_decoder_test_opener;

class mp4_input_core {
public:
    mp4_input_core();
    mp4_input_core(const mp4_input_core&) = delete;
    mp4_input_core& operator=(const mp4_input_core&) = delete;

    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort);
    uint32_t subsong_count() { return uint32_t(m_model.chapter_count()); }
    uint32_t subsong_id(uint32_t index) { return index + 1; }
    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort);
    file_stats get_file_stats(const abort_signal& abort);
    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort);
    void commit_info(const abort_signal& abort);

    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort);
    bool decode_chunk(audio_block& block, const abort_signal& abort);
    void seek_seconds(double seconds, const abort_signal& abort);
    bool can_seek() { return m_file->can_seek(); }
    void on_idle(const abort_signal& abort) { m_file->on_idle(abort); }
    void set_event_sink(decoder_event_sink* sink);

    const atomkit::movie_file& model() const { return m_model; }

private:
    void read_info(uint32_t subsong, track_info& info, const abort_signal& abort);
    void stage(uint32_t subsong, const track_info& info);
    void commit(const abort_signal& abort);
    void open_model(input_open_reason reason, const abort_signal& abort);
    void init_range(uint32_t subsong, uint32_t flags, const abort_signal& abort);
    bool decode_step(audio_block& block, const abort_signal& abort);
    void seek_to(double seconds);
    void read_sample(const atomkit::sample_info& info, const abort_signal& abort);
    void report(const char* text, uint32_t severity) { m_sink->report(text, severity); }
    void chapter_range(uint32_t subsong, double& start, double& end) const;

    file_stream_ref m_file;
    kpl::utf8_string_tight m_path;
    atomkit::movie_file m_model;
    size_t m_track_index = 0;
    service_ptr<codec_packet_decoder> m_decoder;
    service_ptr<decoder_event_sink> m_sink;
    uint32_t m_sample_rate = 0, m_channels = 0, m_bits_per_sample = 0;
    uint32_t m_time_scale = 0, m_frame_count = 0;
    uint64_t m_summary_bitrate = 0;
    bool m_setup_missing = false;
    bool m_decoded_any = false;
    uint32_t m_failures_in_row = 0;
    double m_tick_seconds = 0;
    double m_range_start = 0, m_range_end = 0;
    uint32_t m_current_frame = 0;
    atomkit::sample_cursor m_cursor;
    bool m_cursor_valid = false;
    uint32_t m_skip_samples = 0;
    uint64_t m_remaining_samples = 0;
    std::vector<uint8_t> m_frame_buffer;
    audio_block_store m_decoded;
    track_info_store m_decoder_info;
};
