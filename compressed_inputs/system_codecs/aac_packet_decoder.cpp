// The AAC packet decoder: Media Foundation's AAC decoder transform (Windows 7 and later).

#include <cstring>
#include <vector>

#include "compressed_inputs/system_codecs/aac_config.h"
#include "compressed_inputs/system_codecs/mf_audio_transform.h"
#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/track_info.h"

namespace {

bool matroska_aac(const void* record, size_t size) {
    if (size != sizeof(matroska_setup_record) || !record) return false;
    const char* id = static_cast<const matroska_setup_record*>(record)->codec_id;
    return id && (std::strcmp(id, "A_AAC") == 0 || std::strncmp(id, "A_AAC/", 6) == 0);
}

bool accepts(const kpl::guid& owner, uint32_t parameter, const void* record, size_t size) {
    if (owner == codec_owner_aac_other1 || owner == codec_owner_aac_other2) return true;
    if (owner == codec_owner_mp4) return parameter == 64 || parameter == 102 || parameter == 103 || parameter == 104;
    if (owner == codec_owner_matroska) return matroska_aac(record, size);
    return false;
}

class aac_packet_decoder final : public service_counted<codec_packet_decoder> {
public:
    aac_packet_decoder(const kpl::guid& owner, std::vector<uint8_t> config) : m_owner(owner), m_config(std::move(config)) {}

    intptr_t property(const kpl::guid& id, intptr_t value, void*, size_t) override {
        if (id == codec_property_sample_rate) m_rate = static_cast<uint32_t>(value);
        if (id == codec_property_channels) m_channels = static_cast<uint32_t>(value);
        return 0;
    }
    void get_info(track_info& info) override {
        info.info_set("codec", track_info::npos, "AAC", track_info::npos);
        info.info_set("encoding", track_info::npos, "lossy", track_info::npos);
    }
    uint32_t preroll_frames() override { return 32; }
    double preroll_seconds() override { return 32.0 * 1024.0 / 8000.0; }
    void reset_after_seek() override { m_mf.flush(); }
    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        abort.check();
        if (!m_mf.exists()) {
            if (m_owner == codec_owner_aac_other1 || m_owner == codec_owner_aac_other2) {
                throw exception_codec_setup("AAC streams of this container are not supported");
            }
            kpl::guid clsid;
            if (!mf_find_audio_decoder(mf_wave_subtype(0x1610), clsid)) {
                throw exception_codec_setup("The system has no AAC decoder");
            }
            std::vector<uint8_t> user;
            aac_user_data(m_config.data(), m_config.size(), user);
            m_mf.create(clsid, mf_wave_subtype(0x1610), m_rate, m_channels, user.data(), user.size(), true);
        }
        m_mf.decode(data, size, block, abort);
    }

private:
    kpl::guid m_owner;
    std::vector<uint8_t> m_config;
    uint32_t m_rate = 0, m_channels = 0;
    mf_audio_transform m_mf;
};

class aac_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t parameter, const void* record, size_t size) override {
        return accepts(owner, parameter, record, size);
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid& owner, uint32_t parameter,
                const void* record, size_t size, const abort_signal&) override {
        if (system_codec_version() < 0x0601) {
            throw ketrel_io::exception_io_data("AAC decoding supported only on Windows 7 or newer");
        }
        if (!accepts(owner, parameter, record, size)) throw ketrel_io::exception_io_data();
        std::vector<uint8_t> config;
        if (owner == codec_owner_matroska) {
            const matroska_setup_record& r = *static_cast<const matroska_setup_record*>(record);
            if (std::strcmp(r.codec_id, "A_AAC") == 0) {
                const uint8_t* p = static_cast<const uint8_t*>(r.codec_private);
                if (p && r.codec_private_size) config.assign(p, p + r.codec_private_size);
            } else {
                aac_config_from_codec_id(r.codec_id, r.sampling_frequency, r.output_sampling_frequency, r.channels,
                                         config);
            }
        } else if (record && size) {
            const uint8_t* p = static_cast<const uint8_t*>(record);
            config.assign(p, p + size);
        }
        service_ref holder;
        holder.attach(static_cast<codec_packet_decoder*>(new aac_packet_decoder(owner, std::move(config))));
        out.attach_ref(std::move(holder));
    }
};

service_factory_single<aac_decoder_service, codec_packet_decoder_service> g_aac_decoder;

}  // namespace
