// The MPEG audio packet decoder: Layers I, II and III through the system's MPEG Layer-3 codec. Below Windows
// 6.0 that is the ACM codec; from 6.0 on the Media Foundation MP3 transform, and the ACM codec where the system
// cannot create or configure that transform.

#include <cstring>
#include <memory>

#include "compressed_inputs/system_codecs/acm_mpeg_backend.h"
#include "compressed_inputs/system_codecs/mf_audio_transform.h"
#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/track_info.h"

namespace {

// The system's MP3 decoder transform.
constexpr kpl::guid clsid_mp3_decoder = {0xBBEEA841, 0x0A63, 0x4F52, {0xA7, 0xAB, 0xA9, 0xB3, 0xA8, 0x4E, 0xD3, 0x8A}};

int layer_of(const kpl::guid& owner, uint32_t parameter, const void* record, size_t size) {
    if (owner == codec_owner_mpeg_layer3) return 3;
    if (owner == codec_owner_mpeg_layer2) return 2;
    if (owner == codec_owner_mpeg_layer1) return 1;
    if (owner == codec_owner_mp4) return parameter == 105 || parameter == 107 ? 3 : 0;
    if (owner == codec_owner_matroska && size == sizeof(matroska_setup_record) && record) {
        const char* id = static_cast<const matroska_setup_record*>(record)->codec_id;
        if (!id) return 0;
        if (std::strcmp(id, "A_MPEG/L3") == 0) return 3;
        if (std::strcmp(id, "A_MPEG/L2") == 0) return 2;
        if (std::strcmp(id, "A_MPEG/L1") == 0) return 1;
    }
    return 0;
}

class mpeg_packet_decoder final : public service_counted<codec_packet_decoder> {
public:
    mpeg_packet_decoder(int layer, bool use_acm) : m_layer(layer), m_use_acm(use_acm) {}

    intptr_t property(const kpl::guid& id, intptr_t value, void*, size_t) override {
        if (id == codec_property_sample_rate) m_rate = static_cast<uint32_t>(value);
        if (id == codec_property_channels) m_channels = static_cast<uint32_t>(value);
        return 0;
    }
    void get_info(track_info& info) override {
        static const char* const names[] = {"", "MP1", "MP2", "MP3"};
        info.info_set("codec", track_info::npos, names[m_layer], track_info::npos);
        info.info_set("encoding", track_info::npos, "lossy", track_info::npos);
    }
    uint32_t preroll_frames() override { return 10; }
    double preroll_seconds() override { return 0.36; }
    void reset_after_seek() override {
        if (m_use_acm) {
            m_acm.reset();
        } else {
            m_mf.flush();
        }
    }
    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        abort.check();
        if (!m_use_acm && !m_mf.exists()) {
            if (m_rate == 0 || m_channels == 0) throw exception_codec_setup("MPEG decoder: no sample rate or channel count");
            try {
                m_mf.create(clsid_mp3_decoder, mf_wave_subtype(0x55), m_rate, m_channels, nullptr, 0, false);
            } catch (const exception_codec_setup&) {
                m_use_acm = true;  // no MF MP3 transform here: the ACM codec decodes the same streams
            }
        }
        if (m_use_acm) {
            m_acm.set_format(m_rate, m_channels);
            m_acm.decode(data, size, block, abort);
        } else {
            m_mf.decode(data, size, block, abort);
        }
    }

    bool uses_acm() const { return m_use_acm; }

private:
    int m_layer;
    bool m_use_acm;
    uint32_t m_rate = 0, m_channels = 0;
    acm_mpeg_backend m_acm;
    mf_audio_transform m_mf;
};

class mpeg_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t parameter, const void* record, size_t size) override {
        return layer_of(owner, parameter, record, size) != 0;
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid& owner, uint32_t parameter,
                const void* record, size_t size, const abort_signal&) override {
        const int layer = layer_of(owner, parameter, record, size);
        if (layer == 0) throw ketrel_io::exception_io_data();
        service_ref holder;
        holder.attach(static_cast<codec_packet_decoder*>(new mpeg_packet_decoder(layer, system_codec_version() < 0x0600)));
        out.attach_ref(std::move(holder));
    }
};

service_factory_single<mpeg_decoder_service, codec_packet_decoder_service> g_mpeg_decoder;

}  // namespace
