#pragma once
// wavpack_stream: one libwavpack stream over a main file and, for a hybrid stream, its correction file. The
// library reads both through a stream-reader table of 64-bit positions; a correction file is looked for
// only once the stream's first block with samples proves hybrid.
//
//     wavpack_stream s;
//     s.open(file, "file://C:\\a.wv", abort);      // finds C:\a.wvc when a.wv is hybrid
//     track_info_store info;
//     s.read_full_info(info, abort);               // "codec" "WavPack", "codec_profile" "normal, hybrid", ...
//     while (s.decode(block, abort)) play(block);  // 4096 samples per channel per block
//
// Decoding reports CRC errors to an event sink as "CRC mismatch" (severity 2); with flag 8 of the
// initialise flags and no sink set, they stop decoding with "File is corrupted (CRC mismatch)". A damaged
// block that gives no samples at all, or a stream that ends before its stated length, is "File is corrupted"
// rather than a quiet early end.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

struct WavpackContext;

// The mode bits of a stream.
enum : uint32_t {
    wavpack_mode_correction = 0x1,
    wavpack_mode_hybrid = 0x4,
    wavpack_mode_float = 0x8,
    wavpack_mode_high = 0x20,
    wavpack_mode_fast = 0x40,
};

// Looks for the correction file of `path`: path + "c", then the same name in each folder of the setting
// "Additional correction file folders" (';'-separated, empty pieces skipped). False when none opens.
bool wavpack_correction_search(const char* path, file_stream_ref& out, const abort_signal& abort);

// The places tried after the file beside the main one, in order: each folder of the setting's text with the
// correction file's name.
//     wavpack_correction_candidates("file://C:\\m\\a.wv", "D:\\x;;E:\\y\\")
//         -> {"D:\\x\\a.wvc", "E:\\y\\a.wvc"}
std::vector<std::string> wavpack_correction_candidates(const char* path, const char* setting_text);

// What the stream-reader table gets for each of the two files.
struct wavpack_reader_id {
    file_stream* file = nullptr;
    const abort_signal* abort = nullptr;
};

class wavpack_stream {
public:
    wavpack_stream();
    ~wavpack_stream();
    wavpack_stream(const wavpack_stream&) = delete;
    wavpack_stream& operator=(const wavpack_stream&) = delete;

    // Opens the stream on the main file (which must be seekable). ketrel_io::exception_io_data when libwavpack
    // cannot read it or the sample rate is outside 1000 .. 2822400 Hz.
    void open(const file_stream_ref& main, const char* path, const abort_signal& abort);

    uint32_t mode() const { return m_mode; }
    double length() const { return m_length; }
    uint32_t sample_rate() const { return m_rate; }
    uint32_t bits_per_sample() const;
    // "high", "fast" or "normal", with ", hybrid" for hybrid streams.
    kpl::utf8_string_tight profile() const;

    // Length, technical fields, trailing tags and "bitrate" from the audio's size.
    void read_full_info(track_info& info, const abort_signal& abort);

    void set_flags(uint32_t flags) { m_flags = flags; }
    void set_event_sink(decoder_event_sink* sink);
    bool decode(audio_block& block, const abort_signal& abort);
    // decode, then the samples as little-endian integers of the stream's width (8-bit unsigned).
    bool decode_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort);
    void seek(double seconds, const abort_signal& abort);
    // True once after opening when a correction file is in use.
    bool take_correction_report();
    void on_idle(const abort_signal& abort);

private:
    void close();
    void open_context(bool with_correction, const abort_signal& abort);

    WavpackContext* m_context = nullptr;
    file_stream_ref m_main, m_correction;
    wavpack_reader_id m_main_id, m_correction_id;
    kpl::utf8_string_tight m_path;
    uint32_t m_mode = 0, m_rate = 44100, m_channels = 0, m_flags = 0;
    double m_length = 0;
    bool m_end = false, m_report_correction = false;
    service_ptr<decoder_event_sink> m_sink;
    kpl::array<int32_t> m_buffer;
};
