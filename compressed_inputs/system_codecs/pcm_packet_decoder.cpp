// The integer PCM packet decoder of Matroska ("A_PCM/INT/LIT", "A_PCM/INT/BIG").

#include <cstring>

#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

namespace {

// 1: little-endian, 0: big-endian, -1: not a PCM setup.
int pcm_endianness(const kpl::guid& owner, const void* record, size_t size) {
    if (owner != codec_owner_matroska || size != sizeof(matroska_setup_record) || !record) return -1;
    const char* id = static_cast<const matroska_setup_record*>(record)->codec_id;
    if (!id) return -1;
    if (std::strcmp(id, "A_PCM/INT/LIT") == 0) return 1;
    if (std::strcmp(id, "A_PCM/INT/BIG") == 0) return 0;
    return -1;
}

class pcm_packet_decoder final : public service_counted<codec_packet_decoder> {
public:
    pcm_packet_decoder(const matroska_setup_record& r, bool little)
        : m_rate(r.sampling_frequency), m_channels(r.channels), m_little(little ? 1 : 0) {}

    intptr_t property(const kpl::guid& id, intptr_t value, void*, size_t) override {
        if (id == codec_property_sample_rate) m_rate = static_cast<uint32_t>(value);
        if (id == codec_property_channels) m_channels = static_cast<uint32_t>(value);
        if (id == codec_property_bits_per_sample) m_bits = static_cast<uint32_t>(value);
        if (id == codec_property_signed) m_signed = value != 0 ? 1 : 0;
        if (id == codec_property_little_endian) m_little = value != 0 ? 1 : 0;
        return 0;
    }
    void get_info(track_info&) override {}
    void reset_after_seek() override {}
    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        abort.check();
        if (m_bits == 0 || m_bits % 8 != 0 || m_bits > 32 || m_channels == 0 || m_rate == 0) {
            throw ketrel_io::exception_io_data();
        }
        if (size == 0) {
            block.reset();
            return;
        }
        const bool is_signed = m_signed < 0 ? m_bits > 8 : m_signed != 0;
        const bool little = m_little != 0;  // unset counts as little-endian
        const uint32_t flags = (little ? audio_block::little_endian : audio_block::big_endian) |
                               (is_signed ? audio_block::is_signed : audio_block::is_unsigned);
        block.set_data_int(data, static_cast<uint32_t>(size), m_rate, m_channels, flags,
                           channel_mask_default(m_channels), m_bits);
    }

private:
    uint32_t m_rate, m_channels;
    uint32_t m_bits = 0;
    int m_signed = -1;
    int m_little;
};

class pcm_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t, const void* record, size_t size) override {
        return pcm_endianness(owner, record, size) >= 0;
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid& owner, uint32_t, const void* record,
                size_t size, const abort_signal&) override {
        const int little = pcm_endianness(owner, record, size);
        if (little < 0) throw ketrel_io::exception_io_data();
        service_ref holder;
        holder.attach(static_cast<codec_packet_decoder*>(
            new pcm_packet_decoder(*static_cast<const matroska_setup_record*>(record), little == 1)));
        out.attach_ref(std::move(holder));
    }
};

service_factory_single<pcm_decoder_service, codec_packet_decoder_service> g_pcm_decoder;

}  // namespace
