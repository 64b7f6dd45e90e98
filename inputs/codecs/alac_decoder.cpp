#include "inputs/codecs/alac_decoder.h"

#include <cstring>
#include <memory>
#include <vector>

// The bit reader's header names an enum as the Windows headers do; it is renamed on the way in.
#define ELEMENT_TYPE alac_element_type
#define PELEMENT_TYPE alac_element_type_ptr
extern "C" {
#include <alac/alac_codec.h>
#include <alac/ALACBitUtilities.h>
}
#undef ELEMENT_TYPE
#undef PELEMENT_TYPE

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "metadata/audio_block.h"
#include "metadata/pcm_conversion/sample_kernels.h"
#include "metadata/track_info.h"

namespace {

// Output channel i takes decoder channel table[i]: the decoder gives C L R ..., WAVE wants L R C ...
const uint8_t* reorder_table(uint32_t channels) {
    static const uint8_t t3[] = {1, 2, 0};
    static const uint8_t t4[] = {1, 2, 0, 3};
    static const uint8_t t5[] = {1, 2, 0, 3, 4};
    static const uint8_t t6[] = {1, 2, 0, 5, 3, 4};
    static const uint8_t t7[] = {1, 2, 0, 6, 3, 4, 5};
    static const uint8_t t8[] = {3, 4, 0, 7, 5, 6, 1, 2};
    static const uint8_t* const tables[] = {nullptr, nullptr, nullptr, t3, t4, t5, t6, t7, t8};
    return channels <= 8 ? tables[channels] : nullptr;
}

constexpr uint32_t max_output = 0x1000000;
// The decoder's own buffers hold ALAC_FRAME_LENGTH samples per channel, so no cookie may ask for more. A
// frame header may still claim any length below 4096 samples ("partial frame"), and the decoder writes that
// many before it returns, whatever the cookie says: the sample buffer is sized for that, and a frame longer
// than the cookie's is refused afterwards.
constexpr uint32_t largest_frame = ALAC_FRAME_LENGTH;
constexpr uint32_t largest_partial_frame = ALAC_FRAME_LENGTH - 1;
// The decoder reads one element without looking at the packet's end: an uncompressed channel pair of 32-bit
// samples is 2 x 4 x 4095 bytes, a compressed one skips up to 2 x 2 x 4095 bytes of shifted low bits past
// its coded data. The copy of the packet is padded so that no such read leaves it, and a frame whose reads
// went past the packet is damaged.
constexpr size_t read_ahead = 64 * 1024;
// The bit reader loads a few bytes beyond the last bit it takes: those are always zero, as in the file.
constexpr size_t look_ahead_cleared = 64;

// At 16, 20 and 24 bits the decoder shifts every value it writes left by 16, 12 or 8 bits: the bits below
// the sample's whole bytes are zero already (32-bit samples have none).
bool writes_whole_bytes(uint32_t depth) { return depth == 16 || depth == 20 || depth == 24; }

class alac_packet_decoder final : public service_counted<codec_packet_decoder> {
public:
    void create(const void* cookie, size_t size) {
        // The decoder steps over the box header and the version word without looking at the size, and reads the
        // configuration from whatever follows: a cookie too short to hold both would be read past its end.
        if (size < 4 + sizeof(ALACSpecificConfig) || size > 0xFFFFFF00u) throw ketrel_io::exception_io_data();
        std::vector<uint8_t> atom(size + 8);
        const uint32_t total = static_cast<uint32_t>(size + 8);
        atom[0] = static_cast<uint8_t>(total >> 24);
        atom[1] = static_cast<uint8_t>(total >> 16);
        atom[2] = static_cast<uint8_t>(total >> 8);
        atom[3] = static_cast<uint8_t>(total);
        std::memcpy(atom.data() + 4, "alac", 4);
        if (size) std::memcpy(atom.data() + 8, cookie, size);
        m_decoder.reset(new ALAC_DECODER());
        std::memset(m_decoder.get(), 0, sizeof(ALAC_DECODER));
        if (alac_decoder_init(m_decoder.get(), atom.data(), static_cast<uint32_t>(atom.size())) != 0) {
            throw ketrel_io::exception_io_data();
        }
        const ALACSpecificConfig& c = m_decoder->mConfig;
        if (c.numChannels == 0 || c.numChannels > 8 || c.frameLength == 0 || c.frameLength > largest_frame ||
            c.bitDepth == 0 || c.bitDepth > 32) {
            throw ketrel_io::exception_io_data();
        }
        m_channels = c.numChannels;
        m_table = reorder_table(m_channels);
    }

    void get_info(track_info& info) override {
        const ALACSpecificConfig& c = m_decoder->mConfig;
        info.info_set("codec", track_info::npos, "ALAC", track_info::npos);
        info.info_set("encoding", track_info::npos, "lossless", track_info::npos);
        info.info_set_int("bitspersample", c.bitDepth);
        info.info_set_int("samplerate", c.sampleRate);
        info.info_set_int("channels", c.numChannels);
    }

    void reset_after_seek() override {}

    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        abort.check();
        const ALACSpecificConfig& c = m_decoder->mConfig;
        const uint32_t bytes = (c.bitDepth + 7u) / 8u;
        const uint64_t frame_bytes = uint64_t(bytes) * m_channels;
        if (frame_bytes == 0) throw ketrel_io::exception_io_data();
        const uint64_t output = frame_bytes * c.frameLength;
        if (output > max_output) throw ketrel_io::exception_io_data();
        const size_t decoded = size_t(c.frameLength > largest_partial_frame ? c.frameLength : largest_partial_frame);
        if (m_samples.size() < decoded * m_channels) m_samples.resize(decoded * m_channels);
        if (size > 0xFFFFFFFFu - read_ahead) throw ketrel_io::exception_io_data();
        // The copy's buffer only grows (new bytes are zero); past the packet, the bytes the bit reader looks
        // ahead at are cleared for every packet, the rest of the padding keeps what it held.
        if (m_packet.size() < size + read_ahead) m_packet.resize(size + read_ahead);
        if (size) std::memcpy(m_packet.data(), data, size);
        std::memset(m_packet.data() + size, 0, look_ahead_cleared);
        BitBuffer bits;
        BitBufferInit(&bits, m_packet.data(), static_cast<uint32_t>(size));
        uint32_t got = 0;
        if (alac_decode(m_decoder.get(), &bits, m_samples.data(), c.frameLength, &got) != 0 || got > c.frameLength ||
            bits.cur > bits.end || (bits.cur == bits.end && bits.bitIndex != 0)) {
            throw ketrel_io::exception_io_data();
        }
        // Left-justified 32-bit values, channels reordered, with the bits below the sample's whole bytes
        // cleared, through the conversion kernel: value x 2^-31 is exactly the integer of `bytes` bytes
        // x 2^-(8 x bytes - 1).
        const uint32_t keep = ~((uint32_t(1) << (32 - 8 * bytes)) - 1);
        const uint32_t count = got * m_channels;
        int32_t* samples = m_samples.data();
        if (m_table) {
            for (uint32_t s = 0; s < got; ++s) {
                int32_t* frame = samples + size_t(s) * m_channels;
                int32_t in[8];
                for (uint32_t ch = 0; ch < m_channels; ++ch) in[ch] = frame[ch];
                for (uint32_t ch = 0; ch < m_channels; ++ch)
                    frame[ch] = static_cast<int32_t>(static_cast<uint32_t>(in[m_table[ch]]) & keep);
            }
        } else if (keep != ~uint32_t(0) && !writes_whole_bytes(c.bitDepth)) {
            for (uint32_t i = 0; i < count; ++i) samples[i] = static_cast<int32_t>(static_cast<uint32_t>(samples[i]) & keep);
        }
        block.set_data_size(count);
        audio_int32_to_float(block.get_data_writable(), samples, count, 1.0f);
        block.set_sample_count(got);
        block.set_channels(m_channels, alac_channel_mask(m_channels));
        block.set_sample_rate(c.sampleRate);
    }

private:
    std::unique_ptr<ALAC_DECODER> m_decoder;
    uint32_t m_channels = 0;
    const uint8_t* m_table = nullptr;
    std::vector<int32_t> m_samples;
    std::vector<uint8_t> m_packet;
};

class alac_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t, const void*, size_t) override {
        return owner == codec_owner_alac;
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid& owner, uint32_t, const void* record,
                size_t size, const abort_signal&) override {
        if (owner != codec_owner_alac) throw ketrel_io::exception_io_data();
        alac_packet_decoder* d = new alac_packet_decoder();
        service_ref holder;
        holder.attach(static_cast<codec_packet_decoder*>(d));
        d->create(record, size);
        out.attach_ref(std::move(holder));
    }
};

service_factory_single<alac_decoder_service, codec_packet_decoder_service> g_alac_decoder;

}  // namespace

uint32_t alac_channel_mask(uint32_t channels) {
    static const uint32_t masks[] = {0, 0x4, 0x3, 0x7, 0x107, 0x37, 0x3F, 0x13F, 0xFF};
    return channels <= 8 ? masks[channels] : 0;
}
