// Opus: the packet decoder (Ogg "OpusHead" streams and Matroska "A_OPUS" tracks) over libopus's
// multistream decoder, and the Ogg stream handler that writes ReplayGain as header gain and R128 comment.

#include <ogg/ogg.h>
#include <opus/opus_multistream.h>

#include <cmath>
#include <cstring>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/codecs/opus_codec.h"
#include "inputs/codecs/opus_head.h"
#include "inputs/codecs/xiph_channels.h"
#include "inputs/codecs/xiph_comments.h"
#include "inputs/ogg_stream_handler.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

namespace {

constexpr uint32_t opus_rate = 48000;
constexpr int opus_max_frame = 5760;

// The "OpusHead" bytes of an Ogg or Matroska setup record, or false.
bool setup_head_bytes(const kpl::guid& owner, const void* record, size_t size, const uint8_t*& data, size_t& length) {
    if (!record) return false;
    if (owner == codec_owner_ogg && size == sizeof(ogg_packet)) {
        const auto* p = static_cast<const ogg_packet*>(record);
        if (!p->packet || p->bytes < 0) return false;
        data = p->packet;
        length = static_cast<size_t>(p->bytes);
        return true;
    }
    if (owner == codec_owner_matroska && size == sizeof(matroska_setup_record)) {
        const auto* m = static_cast<const matroska_setup_record*>(record);
        if (!m->codec_id || std::strcmp(m->codec_id, "A_OPUS") != 0) return false;
        data = static_cast<const uint8_t*>(m->codec_private);
        length = m->codec_private ? m->codec_private_size : 0;
        return true;
    }
    return false;
}

class opus_packet_decoder final : public service_counted<codec_packet_decoder> {
public:
    explicit opus_packet_decoder(const opus_head& head) : m_head(head) {
        if (head.mapping_family == 1) {
            const uint8_t* order = xiph_channel_order[head.channels - 1];
            for (uint32_t i = 0; i < head.channels; ++i) m_mapping[i] = head.mapping[order[i]];
        } else {
            std::memcpy(m_mapping, head.mapping, head.channels);
        }
    }
    ~opus_packet_decoder() override { close(); }

    intptr_t property(const kpl::guid& id, intptr_t, void* data, size_t size) override {
        if (id == ogg_property_header_packet) {
            const auto* p = static_cast<const ogg_packet*>(data);
            if (!p || size != sizeof(ogg_packet) || p->packetno != 1 || p->bytes < 0)
                throw ketrel_io::exception_io_data();
            m_tags.resize_exact(static_cast<uint32_t>(p->bytes));
            if (p->bytes) std::memcpy(m_tags.data(), p->packet, static_cast<size_t>(p->bytes));
            return 1;
        }
        if (id == ogg_property_granule_rate) return opus_rate;
        if (id == ogg_property_pre_skip) return m_head.pre_skip;
        return 0;
    }

    void get_info(track_info& info) override {
        info.info_set_int("channels", m_head.channels);
        info.info_set_int("samplerate", opus_rate);
        info.info_set("codec", track_info::npos, "Opus", track_info::npos);
        info.info_set("encoding", track_info::npos, "lossy", track_info::npos);
        if (m_head.input_sample_rate) info.info_set_int("samplerate_original", m_head.input_sample_rate);
        try {
            opus_tags_read(m_tags.data(), m_tags.count(), m_head.output_gain, info);
        } catch (const ketrel_io::exception_io_data&) {
        }
        if (m_head.output_gain != 0) {
            replaygain_values rg = info.get_replaygain();
            if (!rg.has_album_gain()) {
                rg.album_gain = rg.track_gain =
                    static_cast<float>(m_head.output_gain / 256.0 + opus_gain_reference_db);
                info.set_replaygain(rg);
            }
        }
    }

    uint32_t preroll_frames() override { return 1; }
    double preroll_seconds() override { return 0.1; }
    void reset_after_seek() override { close(); }

    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        abort.check();
        if (size == 0) {
            block.reset();
            return;
        }
        if (!m_decoder) {
            int error = 0;
            m_decoder = opus_multistream_decoder_create(opus_rate, static_cast<int>(m_head.channels),
                                                        static_cast<int>(m_head.stream_count),
                                                        static_cast<int>(m_head.coupled_count), m_mapping, &error);
            if (!m_decoder || error != OPUS_OK) {
                close();
                throw ketrel_io::exception_io_data(opus_strerror(error));
            }
        }
        block.set_channels(m_head.channels, xiph_channel_mask[m_head.channels - 1]);
        block.set_sample_rate(opus_rate);
        block.set_data_size(m_head.channels * opus_max_frame);
        int result = opus_multistream_decode_float(m_decoder, static_cast<const unsigned char*>(data),
                                                   static_cast<opus_int32>(size), block.get_data_writable(),
                                                   opus_max_frame, 0);
        if (result < 0) {
            block.reset();
            return;
        }
        block.set_sample_count(static_cast<uint32_t>(result));
    }

private:
    void close() {
        if (m_decoder) opus_multistream_decoder_destroy(m_decoder);
        m_decoder = nullptr;
    }

    opus_head m_head;
    unsigned char m_mapping[255] = {};
    kpl::byte_array m_tags;
    OpusMSDecoder* m_decoder = nullptr;
};

class opus_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t, const void* record, size_t size) override {
        const uint8_t* data;
        size_t length;
        opus_head head;
        return setup_head_bytes(owner, record, size, data, length) && opus_head_parse(data, length, head);
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid& owner, uint32_t, const void* record,
                size_t size, const abort_signal&) override {
        const uint8_t* data;
        size_t length;
        opus_head head;
        if (!setup_head_bytes(owner, record, size, data, length) || !opus_head_parse(data, length, head) ||
            head.channels < 1 || head.channels > 8)
            throw ketrel_io::exception_io_data();
        opus_packet_decoder* decoder = new opus_packet_decoder(head);
        service_ref ref;
        ref.attach(decoder);
        out.attach_ref(std::move(ref));
    }
};

const uint8_t opus_tags_magic[8] = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's'};

class opus_stream_handler final : public service_counted<ogg_stream_handler> {
public:
    uint32_t packet_role(int64_t packet_number, int64_t, const uint8_t*, size_t) override {
        return packet_number == 1 ? (ogg_rewrite_comment | ogg_rewrite_last) : 0;
    }
    ogg_comment_magic comment_magic() override { return {opus_tags_magic, 8, false}; }
    uint32_t rewrite_header_packet(const track_info& info, int64_t packet_number, int64_t granule,
                                   kpl::byte_array& packet) override {
        return opus_rewrite_header_packet(*this, info, packet_number, granule, packet);
    }
};

class opus_stream_handler_service final : public service_static<ogg_stream_handler_service> {
public:
    bool accepts_first_packet(const uint8_t* data, size_t size) override {
        opus_head head;
        return opus_head_parse(data, size, head);
    }
    void create(service_ptr<ogg_header_rewriter>& out) override {
        service_ref ref;
        ref.attach(static_cast<ogg_header_rewriter*>(new opus_stream_handler()));
        out.attach_ref(std::move(ref));
    }
};

service_factory_single<opus_decoder_service, codec_packet_decoder_service> g_opus_decoder;
service_factory_single<opus_stream_handler_service, ogg_stream_handler_service> g_opus_stream_handler;

}  // namespace

int16_t opus_header_gain_for(const replaygain_values& rg) {
    double gain;
    if (rg.has_album_gain())
        gain = rg.album_gain;
    else if (rg.has_track_gain())
        gain = rg.track_gain;
    else
        return 0;
    double q = std::floor(256.0 * (gain - opus_gain_reference_db) + 0.5);
    if (q < -32768.0 || q > 32767.0) kpl::throw_overflow();
    return static_cast<int16_t>(q);
}

uint32_t opus_rewrite_header_packet(ogg_stream_handler& handler, const track_info& info, int64_t packet_number,
                                    int64_t granule, kpl::byte_array& packet) {
    if (packet_number == 0) {
        if (packet.count() < 18 || std::memcmp(packet.data(), "OpusHead", 8) != 0 || packet[8] >= 16)
            throw ketrel_io::exception_io_data();
        int16_t gain = opus_header_gain_for(info.get_replaygain());
        uint16_t bits = static_cast<uint16_t>(gain);
        packet[16] = static_cast<uint8_t>(bits & 0xFF);
        packet[17] = static_cast<uint8_t>(bits >> 8);
        return 0;
    }
    if (packet_number == 1) {
        track_info_store copy(info);
        replaygain_values rg = info.get_replaygain();
        copy.replaygain_reset();
        if (rg.has_album_gain() && rg.has_track_gain()) {
            double r128 = std::floor(256.0 * (double(rg.track_gain) - double(rg.album_gain)) + 0.5);
            kpl::utf8_string_pow2 text;
            text.append_int(static_cast<int64_t>(r128));
            copy.meta_set("R128_TRACK_GAIN", track_info::npos, text.c_str(), track_info::npos);
        } else if (rg.has_album_gain() || rg.has_track_gain()) {
            copy.meta_set("R128_TRACK_GAIN", track_info::npos, "0", track_info::npos);
        }
        return ogg_default_rewrite_header_packet(handler, copy, packet_number, granule, packet);
    }
    return ogg_default_rewrite_header_packet(handler, info, packet_number, granule, packet);
}
