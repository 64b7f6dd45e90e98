#pragma once
// mpeg_stream: one opened MPEG audio file (MP1, MP2, MP3) as the MPEG input's decoder, info reader and info
// writer see it. It finds the stream's frames, reads the VBR header frame and the gapless information, reads
// and writes the tags by the tag scheme, and decodes through the packet decoder of the frames' layer, trimming
// the encoder and decoder delay and seeking by frame arithmetic over the process's seek-table cache.
//
//     mpeg_stream s;
//     s.open(file_stream_ref(), "file://C:\\a.mp3", input_open_decode, abort);
//     s.initialise(0, 0, abort);                   // analyses the file once, opens the Layer III decoder
//     audio_block_store block;
//     while (s.decode_chunk(block, abort)) ...     // a LAME-tagged file: exactly the encoded samples
//     s.seek_seconds(3.0, abort);                  // the next block starts at sample round(3 x rate)
//
// Damage inside the audio never ends decoding: it is reported to the event sink ("MPEG stream error at N
// bytes", "MPEG stream resync successful at M", "ID3 tag garbage inside MPEG stream at N bytes", "MPEG frame
// checksum mismatch.", "MP3 decoding failure: ...") at severity 2, and thrown as ketrel_io::exception_io_data
// instead only when initialise got the fail-on-damage flag (8) and no sink was set. A codec that cannot be set
// up at all ends decoding with its reason.

#include <cstdint>
#include <vector>

#include "compressed_inputs/mpeg/mpeg_frame.h"
#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

// What the analysis found, as get_info reports it.
struct mpeg_stream_info {
    int32_t enc_delay = -1, enc_padding = -1;   // LAME's values as stored
    int32_t bitrate = -1;                       // kbit/s
    int32_t layer = -1, channels = -1, sample_rate = -1, channel_mode = -1;
    bool accurate_length = false;
    double length = 0;                          // seconds; -1 when the file cannot seek
    kpl::utf8_string_pow2 tool, profile;
};

// Samples a seek decodes and drops before its target, at most (the decoder runs in over them).
constexpr uint64_t mpeg_preroll_samples = 11520;

// Tests replace the packet decoder: when set, initialise calls it instead of codec_packet_decoder_open.
typedef void (*mpeg_packet_decoder_opener)(service_ptr<codec_packet_decoder>& out, int layer);
extern mpeg_packet_decoder_opener mpeg_packet_decoder_test_opener;

class mpeg_stream {
public:
    mpeg_stream();
    ~mpeg_stream();
    mpeg_stream(const mpeg_stream&) = delete;
    mpeg_stream& operator=(const mpeg_stream&) = delete;

    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort);
    uint32_t subsong_count() { return 1; }
    uint32_t subsong_id(uint32_t) { return 0; }
    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort);
    file_stats get_file_stats(const abort_signal& abort);
    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort);
    void commit_info(const abort_signal&) {}

    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort);
    bool decode_chunk(audio_block& block, const abort_signal& abort);
    void seek_seconds(double seconds, const abort_signal& abort);
    bool can_seek();
    void on_idle(const abort_signal& abort);
    void set_event_sink(decoder_event_sink* sink);

    // The analysis (run once); for tests and the tool.
    void analyse(const abort_signal& abort);
    const mpeg_stream_info& stream_info() const { return m_info; }
    int64_t total_samples() const { return m_total_samples; }
    int64_t total_frames() const { return m_total_frames; }
    uint32_t start_trim() const { return m_start_trim; }
    uint64_t audio_start() const { return m_audio_start; }
    int64_t audio_bytes() const { return m_audio_bytes; }
    uint64_t frames_read() const { return m_frames_read; }
    uint64_t skip_remaining() const { return m_skip_remaining; }

private:
    // Frame search.
    // The position of the first frame whose successor is compatible, with its header word; -1 for none.
    int64_t find_first_frame(uint8_t word[4], const abort_signal& abort);
    int64_t find_stream_end(uint64_t first, const mpeg_frame_header& header, const abort_signal& abort);
    bool read_itunes_gapless(const abort_signal& abort);
    // The next frame into m_frame (its body only when wanted); its size, 0 at the end.
    uint32_t read_frame(bool want_body, const abort_signal& abort);
    // Reads through the bytes given back first (a stream that cannot seek goes back this way only).
    size_t read_stream(uint8_t* out, size_t n, const abort_signal& abort);
    void unread(const uint8_t* bytes, size_t n);
    uint64_t stream_position(const abort_signal& abort);
    void report_error(const char* text);
    void message(const char* text, uint32_t level);
    void seek_to_sample(double seconds, const abort_signal& abort);
    int seek_table_handle();

    kpl::utf8_string_tight m_path;
    bool m_opened_by_input = false;
    bool m_analysed = false;
    uint64_t m_timestamp = 0;
    uint8_t m_frame[16384];
    file_stream_ref m_file;
    bool m_seekable = false;
    uint32_t m_flags = 0;
    uint64_t m_id3v2_bytes = 0;
    int m_layer = 0;
    uint32_t m_start_trim = 0;
    uint64_t m_audio_start = 0;
    int64_t m_total_frames = -1;
    int64_t m_audio_bytes = -1;
    uint64_t m_frames_read = 0;
    int64_t m_total_samples = 0;
    uint32_t m_sample_rate = 0, m_samples_per_frame = 0, m_channels = 0;
    service_ptr<decoder_event_sink> m_sink;
    bool m_has_sink = false;
    bool m_crc_mismatch_reported = false;
    mpeg_stream_info m_info;

    // Decoding.
    service_ptr<codec_packet_decoder> m_decoder;
    audio_block_store_pow2 m_work;
    bool m_initialised = false;
    bool m_end_reached = false;
    uint64_t m_skip_remaining = 0;
    uint64_t m_decoded_position = 0;
    int m_seek_table_handle = -1;
    std::vector<uint8_t> m_pushback;
};
