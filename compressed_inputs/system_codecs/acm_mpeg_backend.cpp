#include "compressed_inputs/system_codecs/acm_mpeg_backend.h"

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstring>

#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"

namespace {
constexpr uint32_t input_capacity = 65536;
constexpr uint32_t nominal_bytes_per_second = 40000;

HACMSTREAM stream_of(void* p) { return static_cast<HACMSTREAM>(p); }
}  // namespace

acm_mpeg_sizes acm_mpeg_buffer_sizes(uint32_t rate, uint32_t channels) {
    const int pcm_per_second = static_cast<int>(rate * channels * 2);
    return {input_capacity,
            input_capacity + static_cast<uint32_t>(MulDiv(int(input_capacity), 2 * pcm_per_second,
                                                          int(nominal_bytes_per_second)))};
}

void acm_mpeg_backend::open() {
    if (m_rate == 0 || m_channels == 0) throw exception_codec_setup("MPEG decoder: no sample rate or channel count");
    MPEGLAYER3WAVEFORMAT source = {};
    source.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    source.wfx.nChannels = static_cast<WORD>(m_channels);
    source.wfx.nSamplesPerSec = m_rate;
    source.wfx.nAvgBytesPerSec = nominal_bytes_per_second;
    source.wfx.nBlockAlign = 1;
    source.wfx.wBitsPerSample = 0;
    source.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    source.wID = MPEGLAYER3_ID_MPEG;
    source.fdwFlags = 0;
    source.nBlockSize = 256;
    source.nFramesPerBlock = 1;
    source.nCodecDelay = 0;
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = static_cast<WORD>(m_channels);
    pcm.nSamplesPerSec = m_rate;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(m_channels * 2);
    pcm.nAvgBytesPerSec = m_rate * m_channels * 2;
    HACMSTREAM stream = nullptr;
    MMRESULT r = acmStreamOpen(&stream, nullptr, &source.wfx, &pcm, nullptr, 0, 0, 0);
    if (r != 0) {
        kpl::utf8_string_pow2 text("The system's MPEG Layer-3 codec cannot be opened (ACM error ");
        text << static_cast<unsigned>(r) << ")";
        throw exception_codec_setup(text.c_str());
    }
    const acm_mpeg_sizes sizes = acm_mpeg_buffer_sizes(m_rate, m_channels);
    m_input.assign(sizes.input_bytes, 0);
    m_output.assign(sizes.output_bytes, 0);
    ACMSTREAMHEADER* header = new ACMSTREAMHEADER();
    header->cbStruct = sizeof *header;
    header->pbSrc = m_input.data();
    header->cbSrcLength = sizes.input_bytes;
    header->pbDst = m_output.data();
    header->cbDstLength = sizes.output_bytes;
    r = acmStreamPrepareHeader(stream, header, 0);
    if (r != 0) {
        delete header;
        acmStreamClose(stream, 0);
        throw exception_codec_setup("The system's MPEG Layer-3 codec cannot be prepared");
    }
    m_stream = stream;
    m_header = header;
    m_input_fill = 0;
    m_started = false;
    m_ended = false;
}

void acm_mpeg_backend::close() {
    if (!m_stream) return;
    ACMSTREAMHEADER* header = static_cast<ACMSTREAMHEADER*>(m_header);
    header->cbSrcLength = static_cast<DWORD>(m_input.size());
    acmStreamUnprepareHeader(stream_of(m_stream), header, 0);
    acmStreamClose(stream_of(m_stream), 0);
    delete header;
    m_stream = nullptr;
    m_header = nullptr;
}

void acm_mpeg_backend::reset() {
    m_input_fill = 0;
    m_started = false;
    m_ended = false;
}

void acm_mpeg_backend::convert() {
    ACMSTREAMHEADER* header = static_cast<ACMSTREAMHEADER*>(m_header);
    header->cbSrcLength = m_input_fill;
    header->cbSrcLengthUsed = 0;
    header->cbDstLengthUsed = 0;
    DWORD flags = m_started ? ACM_STREAMCONVERTF_BLOCKALIGN : ACM_STREAMCONVERTF_START;
    if (m_ended) flags |= ACM_STREAMCONVERTF_END;
    m_started = true;
    if (acmStreamConvert(stream_of(m_stream), header, flags) != 0) {
        // A conversion that fails gives no output; its input is dropped.
        m_input_fill = 0;
        return;
    }
    const uint32_t used = header->cbSrcLengthUsed < m_input_fill ? header->cbSrcLengthUsed : m_input_fill;
    std::memmove(m_input.data(), m_input.data() + used, m_input_fill - used);
    m_input_fill -= used;
    const uint32_t out = header->cbDstLengthUsed < m_output.size() ? header->cbDstLengthUsed
                                                                   : static_cast<uint32_t>(m_output.size());
    m_pcm.insert(m_pcm.end(), m_output.begin(), m_output.begin() + out);
}

void acm_mpeg_backend::decode(const void* data, size_t size, audio_block& block, const abort_signal& abort) {
    abort.check();
    if (!m_stream) open();
    m_pcm.clear();
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (size == 0) {
        m_ended = true;
        convert();
    }
    while (size > 0) {
        const size_t room = m_input.size() - m_input_fill;
        const size_t part = size < room ? size : room;
        std::memcpy(m_input.data() + m_input_fill, p, part);
        m_input_fill += static_cast<uint32_t>(part);
        p += part;
        size -= part;
        const uint32_t before = m_input_fill;
        convert();
        if (size > 0 && m_input_fill == before) {
            // The codec takes nothing from a full buffer: start over with what is left.
            m_input_fill = 0;
        }
        abort.check();
    }
    block.reset();
    if (!m_pcm.empty()) {
        block.set_data_int(m_pcm.data(), static_cast<uint32_t>(m_pcm.size()), m_rate, m_channels,
                           audio_block::little_endian | audio_block::is_signed, channel_mask_default(m_channels), 16);
    }
}
