#pragma once
// acm_mpeg_backend: MPEG audio through the Audio Compression Manager's MPEG Layer-3 codec (tag 0x55), which
// the system uses for Layers I, II and III alike. One stream is opened at the first packet; packets are
// collected in a 64 KiB input buffer and converted to 16-bit PCM.
//
//     acm_mpeg_backend acm;
//     acm.set_format(44100, 2);
//     acm.decode(frame, frame_bytes, block, abort);   // opens the stream (exception_codec_setup when it cannot)
//     acm.reset();                                    // after a seek: the next conversion starts afresh
//     acm.decode(nullptr, 0, block, abort);           // the end: what the codec still holds
//
// A packet that does not fit in the rest of the input buffer is fed in parts between conversions, so no
// packet is lost.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/tasks/abort_signal.h"
#include "metadata/audio_block.h"

// The buffer sizes of a stream: input 65536 bytes; output 65536 + MulDiv(65536, 2 x PCM bytes per second, 40000).
struct acm_mpeg_sizes {
    uint32_t input_bytes;
    uint32_t output_bytes;
};
acm_mpeg_sizes acm_mpeg_buffer_sizes(uint32_t rate, uint32_t channels);

class acm_mpeg_backend {
public:
    acm_mpeg_backend() = default;
    ~acm_mpeg_backend() { close(); }
    acm_mpeg_backend(const acm_mpeg_backend&) = delete;
    acm_mpeg_backend& operator=(const acm_mpeg_backend&) = delete;

    void set_format(uint32_t rate, uint32_t channels) {
        m_rate = rate;
        m_channels = channels;
    }
    void decode(const void* data, size_t size, audio_block& block, const abort_signal& abort);
    void reset();

private:
    void open();
    void close();
    // One conversion of what the input buffer holds; its output is appended to m_pcm.
    void convert();

    uint32_t m_rate = 0, m_channels = 0;
    void* m_stream = nullptr;       // HACMSTREAM
    void* m_header = nullptr;       // ACMSTREAMHEADER, prepared over the two buffers
    std::vector<uint8_t> m_input, m_output, m_pcm;
    uint32_t m_input_fill = 0;
    bool m_started = false;
    bool m_ended = false;
};
