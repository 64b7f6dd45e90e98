#include <cmath>

#include "foundation/kpl/io_exceptions.h"
#include "inputs/wav/wav_chunks.h"
#include "inputs/wav/wav_sample_decoder.h"

namespace {

constexpr uint32_t frames_per_block = 1024;

class wav_pcm_decoder final : public wav_sample_decoder {
public:
    void set_up(const kpl::array<uint8_t>& format, const file_stream_ref& file, uint64_t data_start,
                uint64_t data_size, const abort_signal&) override {
        wav_format f(format);
        m_float = f.tag == wav_tag_float;
        m_mask = f.channels < 9 ? channel_mask_default(f.channels) : 0;
        if (f.tag == wav_tag_extensible) {
            m_float = f.subformat == wav_subformat_float;
            uint32_t mask = channel_mask_from_windows(f.channel_mask);
            if (channel_mask_count(mask) == f.channels) m_mask = mask;
        }
        if (f.channels < 1 || f.channels > 256 || f.sample_rate < 1000 || f.sample_rate > 1000000) {
            throw ketrel_io::exception_io_data();
        }
        uint32_t bits = f.bits_per_sample;
        bool valid = m_float ? (bits == 16 || bits == 32 || bits == 64)
                             : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
        if (!valid) throw ketrel_io::exception_io_data();
        m_file = file;
        m_rate = f.sample_rate;
        m_channels = f.channels;
        m_bits = bits;
        m_frame_bytes = bits / 8 * f.channels;
        m_data_start = data_start;
        m_data_size = data_size - data_size % m_frame_bytes;
        m_position = 0;
        m_file_position = ~uint64_t(0);
    }

    bool decode(audio_block& block, const abort_signal& abort) override {
        if (m_position != m_file_position) {
            m_file->seek(m_data_start + m_position, abort);
            m_file_position = m_position;
        }
        uint64_t left = m_data_size - m_position;
        uint64_t want = uint64_t(m_frame_bytes) * frames_per_block;
        if (want > left) want = left;
        if (want == 0) return false;
        if (m_buffer.count() < want) m_buffer.resize_exact(static_cast<uint32_t>(want));
        size_t got = m_file->read(m_buffer.data(), static_cast<size_t>(want), abort);
        uint32_t whole = static_cast<uint32_t>(got - got % m_frame_bytes);
        if (got < want) m_data_size = m_position + whole;
        m_file_position += got;
        if (whole == 0) return false;
        m_position += whole;
        if (m_float) {
            block.set_data_float(m_buffer.data(), whole, m_rate, m_channels, m_bits, m_mask);
        } else {
            block.set_wave_pcm(m_buffer.data(), whole, m_rate, m_channels, m_mask, m_bits);
        }
        return true;
    }

    void seek(double seconds, const abort_signal&) override {
        if (seconds < 0) throw ketrel_io::exception_io_data();
        double frames = std::floor(seconds * m_rate + 0.5);
        double bytes = frames * m_frame_bytes;
        m_position = bytes >= static_cast<double>(m_data_size) ? m_data_size : static_cast<uint64_t>(bytes);
    }

private:
    file_stream_ref m_file;
    bool m_float = false;
    uint32_t m_rate = 0, m_channels = 0, m_mask = 0, m_bits = 0, m_frame_bytes = 1;
    uint64_t m_data_start = 0, m_data_size = 0, m_position = 0, m_file_position = ~uint64_t(0);
    kpl::array<uint8_t> m_buffer;
};

}  // namespace

kpl::rc_ptr<wav_sample_decoder> wav_pcm_decoder_create() { return kpl::rc_ptr<wav_sample_decoder>(new wav_pcm_decoder); }

kpl::rc_ptr<wav_sample_decoder> wav_sample_decoder_create(const kpl::array<uint8_t>& format) {
    wav_format f(format);
    if (f.tag == wav_tag_pcm || f.tag == wav_tag_float) return wav_pcm_decoder_create();
    if (f.tag == wav_tag_extensible) {
        if (f.extra_size < 22 || f.record_size < 40) throw ketrel_io::exception_io_data();
        if (f.subformat == wav_subformat_pcm || f.subformat == wav_subformat_float) return wav_pcm_decoder_create();
    }
    return wav_acm_decoder_create();
}
