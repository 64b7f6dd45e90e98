// Compressed WAVE formats through the system's Audio Compression Manager: the record is converted to the
// integer PCM format the ACM suggests for it, through one stream header over a source buffer of up to 128 KiB
// and a destination buffer sized from the two byte rates.

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <cmath>
#include <cstring>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/wav/wav_chunks.h"
#include "inputs/wav/wav_sample_decoder.h"

namespace {

constexpr uint32_t source_capacity = 131072;
constexpr uint64_t output_limit = 16777216;
constexpr uint32_t frames_per_block = 576;

bool suggest_pcm(const kpl::array<uint8_t>& format, WAVEFORMATEX& out) {
    std::memset(&out, 0, sizeof out);
    out.wFormatTag = WAVE_FORMAT_PCM;
    auto* source = reinterpret_cast<WAVEFORMATEX*>(const_cast<uint8_t*>(format.data()));
    return acmFormatSuggest(nullptr, source, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG) == 0;
}

class wav_acm_decoder final : public wav_sample_decoder {
public:
    ~wav_acm_decoder() override { close(); }

    void set_up(const kpl::array<uint8_t>& format, const file_stream_ref& file, uint64_t data_start,
                uint64_t data_size, const abort_signal& abort) override {
        close();
        WAVEFORMATEX pcm;
        if (!suggest_pcm(format, pcm)) throw ketrel_io::exception_io_data();
        m_format = format;
        auto* source = reinterpret_cast<WAVEFORMATEX*>(m_format.data());
        if (acmStreamOpen(&m_stream, nullptr, source, &pcm, nullptr, 0, 0, 0) != 0) {
            m_stream = nullptr;
            throw ketrel_io::exception_io_data();
        }
        try {
            wav_format f(format);
            uint64_t a = f.avg_bytes_per_second;
            if (f.tag == wav_tag_ms_adpcm) a /= 4;
            uint32_t b = f.block_align;
            if (a == 0 || b == 0) throw ketrel_io::exception_io_data();
            uint32_t source_size = source_capacity - source_capacity % b;
            if (source_size == 0) throw ketrel_io::exception_io_data();
            uint64_t expected = uint64_t(source_size) * pcm.nAvgBytesPerSec / a;
            if (expected > output_limit) throw ketrel_io::exception_io_data();
            uint64_t dest_size = 2 * expected + 131072;
            if (dest_size > output_limit || dest_size == 0) throw ketrel_io::exception_io_data();
            m_source.resize_exact(source_size);
            m_dest.resize_exact(static_cast<uint32_t>(dest_size));
            std::memset(&m_header, 0, sizeof m_header);
            m_header.cbStruct = sizeof m_header;
            m_header.pbSrc = m_source.data();
            m_header.cbSrcLength = source_size;
            m_header.pbDst = m_dest.data();
            m_header.cbDstLength = static_cast<DWORD>(dest_size);
            if (acmStreamPrepareHeader(m_stream, &m_header, 0) != 0) throw ketrel_io::exception_io_data();
            m_prepared = true;
            m_block_align = b;
            m_source_rate = f.avg_bytes_per_second;
        } catch (...) {
            close();
            throw;
        }
        m_rate = pcm.nSamplesPerSec;
        m_channels = pcm.nChannels;
        m_bits = pcm.wBitsPerSample;
        m_mask = channel_mask_default(m_channels);
        m_file = file;
        m_data_start = data_start;
        m_data_size = data_size;
        m_position = 0;
        restart();
        m_file->seek(data_start, abort);
    }

    bool decode(audio_block& block, const abort_signal& abort) override {
        uint32_t frame_bytes = m_bits / 8 * m_channels;
        if (frame_bytes == 0) return false;
        uint32_t want = frame_bytes * frames_per_block;
        if (m_out.count() < want) m_out.resize_exact(want);
        uint32_t got = pump(m_out.data(), want, abort);
        got -= got % frame_bytes;
        if (got == 0) return false;
        block.set_wave_pcm(m_out.data(), got, m_rate, m_channels, m_mask, m_bits);
        return true;
    }

    void seek(double seconds, const abort_signal& abort) override {
        if (seconds < 0) seconds = 0;
        double bytes = std::floor(seconds * m_source_rate);
        uint64_t offset = bytes >= static_cast<double>(m_data_size) ? m_data_size : static_cast<uint64_t>(bytes);
        offset -= offset % m_block_align;
        restart();
        m_position = offset;
        m_file->seek(m_data_start + offset, abort);
    }

private:
    void restart() {
        m_waiting = 0;
        m_waiting_offset = 0;
        m_held = 0;
        m_started = false;
        m_source_ended = false;
    }

    uint32_t pump(uint8_t* out, uint32_t n, const abort_signal& abort) {
        uint32_t given = 0;
        for (;;) {
            uint32_t take = m_waiting < n - given ? m_waiting : n - given;
            std::memcpy(out + given, m_dest.data() + m_waiting_offset, take);
            given += take;
            m_waiting -= take;
            m_waiting_offset += take;
            if (given == n || (m_source_ended && m_held == 0)) return given;
            if (!m_source_ended) {
                uint64_t left = m_data_size - m_position;
                uint32_t room = m_source.count() - m_held;
                if (room > left) room = static_cast<uint32_t>(left);
                size_t read = room ? m_file->read(m_source.data() + m_held, room, abort) : 0;
                if (read == 0) m_source_ended = true;
                m_held += static_cast<uint32_t>(read);
                m_position += read;
            }
            m_header.cbSrcLength = m_held;
            m_header.cbSrcLengthUsed = 0;
            m_header.cbDstLengthUsed = 0;
            DWORD flags = m_started ? ACM_STREAMCONVERTF_BLOCKALIGN : ACM_STREAMCONVERTF_START;
            if (m_source_ended) flags |= ACM_STREAMCONVERTF_END;
            m_started = true;
            if (acmStreamConvert(m_stream, &m_header, flags) != 0) {
                m_source_ended = true;
                m_held = 0;
                return given;
            }
            uint32_t used = m_header.cbSrcLengthUsed;
            if (used > m_held) used = m_held;
            std::memmove(m_source.data(), m_source.data() + used, m_held - used);
            m_held -= used;
            m_waiting = m_header.cbDstLengthUsed;
            m_waiting_offset = 0;
            // A converter that takes nothing and gives nothing at the end has nothing more to give.
            if (m_source_ended && m_waiting == 0) {
                m_held = 0;
                return given;
            }
        }
    }

    void close() {
        if (m_stream) {
            if (m_prepared) {
                m_header.cbSrcLength = m_source.count();
                acmStreamUnprepareHeader(m_stream, &m_header, 0);
            }
            acmStreamClose(m_stream, 0);
        }
        m_stream = nullptr;
        m_prepared = false;
    }

    HACMSTREAM m_stream = nullptr;
    ACMSTREAMHEADER m_header{};
    bool m_prepared = false;
    kpl::array<uint8_t> m_format, m_source, m_dest, m_out;
    file_stream_ref m_file;
    uint32_t m_rate = 0, m_channels = 0, m_bits = 0, m_mask = 0;
    uint32_t m_block_align = 1, m_source_rate = 0;
    uint32_t m_waiting = 0, m_waiting_offset = 0, m_held = 0;
    bool m_started = false, m_source_ended = false;
    uint64_t m_data_start = 0, m_data_size = 0, m_position = 0;
};

}  // namespace

kpl::rc_ptr<wav_sample_decoder> wav_acm_decoder_create() { return kpl::rc_ptr<wav_sample_decoder>(new wav_acm_decoder); }

bool wav_acm_format_tag_name(uint16_t tag, kpl::utf8_string& out) {
    ACMFORMATTAGDETAILSW details;
    std::memset(&details, 0, sizeof details);
    details.cbStruct = sizeof details;
    details.dwFormatTag = tag;
    if (acmFormatTagDetailsW(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG) != 0) return false;
    out = kpl::utf8_string_from_utf16(details.szFormatTag).c_str();
    return true;
}

bool wav_acm_suggested_bits(const kpl::array<uint8_t>& format, uint32_t& bits) {
    WAVEFORMATEX pcm;
    if (!suggest_pcm(format, pcm) || pcm.wBitsPerSample == 0) return false;
    bits = pcm.wBitsPerSample;
    return true;
}
