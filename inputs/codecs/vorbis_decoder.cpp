// Vorbis: the packet decoders of Ogg streams and of Matroska "A_VORBIS" tracks over libvorbis, and the Ogg
// stream handler of the Vorbis comment header.

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <xmmintrin.h>

#include <cstring>

#include "foundation/kpl/array.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/codecs/vorbis_codec.h"
#include "inputs/codecs/xiph_channels.h"
#include "inputs/codecs/xiph_comments.h"
#include "inputs/ogg_stream_handler.h"
#include "metadata/audio_block.h"
#include "metadata/pcm_conversion/cpu_features.h"
#include "metadata/track_info.h"

namespace {

constexpr uint32_t vorbis_max_channels = 6;

const bool g_sse = cpu_has_features(cpu_feature_sse);

// Two planes of floats interleaved four frames at a time with SSE (the same values moved, nothing computed);
// answers the frames it did.
__attribute__((target("sse"))) uint32_t interleave_two_sse(float* to, const float* left, const float* right,
                                                           uint32_t frames) {
    const uint32_t whole = frames & ~3u;
    for (uint32_t f = 0; f < whole; f += 4) {
        const __m128 l = _mm_loadu_ps(left + f), r = _mm_loadu_ps(right + f);
        _mm_storeu_ps(to + 2 * f, _mm_unpacklo_ps(l, r));
        _mm_storeu_ps(to + 2 * f + 4, _mm_unpackhi_ps(l, r));
    }
    return whole;
}

// Planes to interleaved frames: to[f x channels + c] = planes[order[c]][f].
void interleave(float* to, float* const* planes, const uint8_t* order, uint32_t channels, uint32_t frames) {
    uint32_t done = 0;
    if (channels == 2 && g_sse) done = interleave_two_sse(to, planes[order[0]], planes[order[1]], frames);
    // Channel by channel, so the inner loop is one plain strided copy.
    for (uint32_t c = 0; c < channels; ++c) {
        const float* from = planes[order[c]];
        float* out = to + c;
        for (uint32_t f = done; f < frames; ++f) out[f * channels] = from[f];
    }
}

// libvorbis's states for one stream, with the synthesis half set up on demand.
class vorbis_state {
public:
    vorbis_state() { init(); }
    ~vorbis_state() { clear(); }
    vorbis_state(const vorbis_state&) = delete;
    vorbis_state& operator=(const vorbis_state&) = delete;

    void init() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    void clear() {
        if (ready) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        ready = false;
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    void header(ogg_packet& packet) {
        if (vorbis_synthesis_headerin(&info, &comment, &packet) != 0) throw ketrel_io::exception_io_data();
    }
    void start_synthesis() {
        if (ready) return;
        if (vorbis_synthesis_init(&dsp, &info) != 0) throw ketrel_io::exception_io_data();
        if (vorbis_block_init(&dsp, &block) != 0) {
            vorbis_dsp_clear(&dsp);
            throw ketrel_io::exception_io_data();
        }
        ready = true;
    }

    // Synthesis of one packet into `out`, interleaved straight into its storage. False when libvorbis says the
    // packet is not audio.
    bool decode(ogg_packet& packet, audio_block& out) {
        int result = vorbis_synthesis(&block, &packet);
        if (result == OV_ENOTAUDIO) return false;
        if (result != 0 || vorbis_synthesis_blockin(&dsp, &block) != 0) throw ketrel_io::exception_io_data();
        uint32_t channels = static_cast<uint32_t>(info.channels);
        if (channels < 1 || channels > vorbis_max_channels) throw ketrel_io::exception_io_data();
        const uint8_t* order = xiph_channel_order[channels - 1];
        uint32_t total = 0;
        float** pcm = nullptr;
        int ready_frames;
        while ((ready_frames = vorbis_synthesis_pcmout(&dsp, &pcm)) > 0) {
            uint32_t frames = static_cast<uint32_t>(ready_frames);
            out.set_data_size(kpl::checked_multiply(total + frames, channels));
            interleave(out.get_data_writable() + total * channels, pcm, order, channels, frames);
            total += frames;
            vorbis_synthesis_read(&dsp, ready_frames);
        }
        if (total == 0) out.set_data_size(0);
        out.set_sample_count(total);
        out.set_channels(channels, xiph_channel_mask[channels - 1]);
        out.set_sample_rate(static_cast<uint32_t>(info.rate));
        return true;
    }

    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    bool ready = false;
};

const ogg_packet* ogg_record(const kpl::guid& owner, const void* record, size_t size) {
    if (owner != codec_owner_ogg || size != sizeof(ogg_packet) || !record) return nullptr;
    const auto* p = static_cast<const ogg_packet*>(record);
    return p->packet && p->bytes > 0 ? p : nullptr;
}

bool is_identification_header(const uint8_t* data, size_t size) {
    if (!data || size == 0) return false;
    ogg_packet p = {};
    p.packet = const_cast<unsigned char*>(data);
    p.bytes = static_cast<long>(size);
    p.b_o_s = 1;
    return vorbis_synthesis_idheader(&p) == 1;
}

void fill_vorbis_info(const vorbis_info& vi, const vorbis_comment& vc, track_info& info) {
    info.info_set_int("channels", vi.channels);
    info.info_set_int("samplerate", vi.rate);
    if (vi.bitrate_nominal > 0) info.info_set_int("bitrate_nominal", vi.bitrate_nominal / 1000);
    info.info_set("codec", track_info::npos, "Vorbis", track_info::npos);
    info.info_set("encoding", track_info::npos, "lossy", track_info::npos);
    kpl::array<xiph_comment_text> comments;
    for (int i = 0; i < vc.comments; ++i)
        comments.append(xiph_comment_text{vc.user_comments[i], static_cast<size_t>(vc.comment_lengths[i])});
    const char* vendor = vc.vendor ? vc.vendor : "";
    xiph_comments_to_info(info, vendor, std::strlen(vendor), comments.data(), comments.count(),
                          xiph_comment_rules::vorbis, 0);
}

class vorbis_ogg_decoder final : public service_counted<codec_packet_decoder> {
public:
    explicit vorbis_ogg_decoder(const ogg_packet& first) {
        ogg_packet copy = first;
        copy.b_o_s = 1;
        m_state.header(copy);
        if (m_state.info.channels < 1 || static_cast<uint32_t>(m_state.info.channels) > vorbis_max_channels)
            throw ketrel_io::exception_io_data();
    }

    intptr_t property(const kpl::guid& id, intptr_t, void* data, size_t size) override {
        if (id == ogg_property_header_packet) {
            auto* p = static_cast<ogg_packet*>(data);
            if (!p || size != sizeof(ogg_packet) || (p->packetno != 1 && p->packetno != 2))
                throw ketrel_io::exception_io_data();
            m_state.header(*p);
            if (p->packetno == 1) return 0;
            m_state.start_synthesis();
            return 1;
        }
        if (id == ogg_property_granule_rate) return m_state.info.rate;
        if (id == ogg_property_next_packet) {
            if (!data || size != sizeof(ogg_packet)) throw ketrel_io::exception_io_data();
            m_pending = *static_cast<const ogg_packet*>(data);
            m_has_pending = true;
            return 0;
        }
        return 0;
    }

    void get_info(track_info& info) override { fill_vorbis_info(m_state.info, m_state.comment, info); }
    void reset_after_seek() override {
        if (m_state.ready) vorbis_synthesis_restart(&m_state.dsp);
    }

    void decode_packet(const void*, size_t, audio_block& block, const abort_signal& abort) override {
        abort.check();
        if (!m_has_pending) throw ketrel_io::exception_io_data();
        m_has_pending = false;
        m_state.start_synthesis();
        if (!m_state.decode(m_pending, block))
            block.set_data(nullptr, 0, static_cast<uint32_t>(m_state.info.channels),
                           static_cast<uint32_t>(m_state.info.rate),
                           xiph_channel_mask[m_state.info.channels - 1]);
    }

private:
    vorbis_state m_state;
    ogg_packet m_pending = {};
    bool m_has_pending = false;
};

class vorbis_matroska_decoder final : public service_counted<codec_packet_decoder> {
public:
    vorbis_matroska_decoder(const uint8_t* data, size_t size, bool decoding) {
        if (!vorbis_split_xiph_lacing(data, size, m_headers)) throw ketrel_io::exception_io_data();
        if (decoding) setup();
    }

    void get_info(track_info& info) override {
        info.info_set("codec", track_info::npos, "Vorbis", track_info::npos);
        info.info_set("encoding", track_info::npos, "lossy", track_info::npos);
    }
    uint32_t preroll_frames() override { return 1; }
    double preroll_seconds() override { return 0.01; }
    void reset_after_seek() override {
        if (m_ready) setup();
    }

    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        abort.check();
        if (!m_ready) throw ketrel_io::exception_io_data();
        ogg_packet p = {};
        p.packet = static_cast<unsigned char*>(const_cast<void*>(data));
        p.bytes = static_cast<long>(size);
        p.packetno = m_counter++;
        try {
            if (!m_state.decode(p, block) || block.get_sample_count() == 0) block.reset();
        } catch (const ketrel_io::exception_io_data&) {
            m_state.clear();
            m_state.init();
            m_ready = false;
            throw;
        }
    }

private:
    void setup() {
        m_ready = false;
        m_state.clear();
        m_state.init();
        for (uint32_t i = 0; i < 3; ++i) {
            ogg_packet p = {};
            p.packet = m_headers[i].data();
            p.bytes = static_cast<long>(m_headers[i].count());
            p.b_o_s = i == 0;
            p.packetno = i;
            m_state.header(p);
        }
        if (m_state.info.channels < 1 || static_cast<uint32_t>(m_state.info.channels) > vorbis_max_channels)
            throw ketrel_io::exception_io_data();
        m_state.start_synthesis();
        m_counter = 3;
        m_ready = true;
    }

    kpl::byte_array m_headers[3];
    vorbis_state m_state;
    bool m_ready = false;
    int64_t m_counter = 3;
};

class vorbis_ogg_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t, const void* record, size_t size) override {
        const ogg_packet* p = ogg_record(owner, record, size);
        return p && is_identification_header(p->packet, static_cast<size_t>(p->bytes));
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid& owner, uint32_t, const void* record,
                size_t size, const abort_signal&) override {
        const ogg_packet* p = ogg_record(owner, record, size);
        if (!p) throw ketrel_io::exception_io_data();
        service_ref ref;
        ref.attach(static_cast<codec_packet_decoder*>(new vorbis_ogg_decoder(*p)));
        out.attach_ref(std::move(ref));
    }
};

const matroska_setup_record* matroska_vorbis_record(const kpl::guid& owner, const void* record, size_t size) {
    if (owner != codec_owner_matroska || size != sizeof(matroska_setup_record) || !record) return nullptr;
    const auto* m = static_cast<const matroska_setup_record*>(record);
    return m->codec_id && std::strcmp(m->codec_id, "A_VORBIS") == 0 ? m : nullptr;
}

class vorbis_matroska_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t, const void* record, size_t size) override {
        return matroska_vorbis_record(owner, record, size) != nullptr;
    }
    void create(service_ptr<codec_packet_decoder>& out, bool decoding, const kpl::guid& owner, uint32_t,
                const void* record, size_t size, const abort_signal&) override {
        const matroska_setup_record* m = matroska_vorbis_record(owner, record, size);
        if (!m) throw ketrel_io::exception_io_data();
        const auto* bytes = static_cast<const uint8_t*>(m->codec_private);
        service_ref ref;
        ref.attach(static_cast<codec_packet_decoder*>(
            new vorbis_matroska_decoder(bytes, bytes ? m->codec_private_size : 0, decoding)));
        out.attach_ref(std::move(ref));
    }
};

const uint8_t vorbis_comment_magic_bytes[7] = {0x03, 'v', 'o', 'r', 'b', 'i', 's'};

class vorbis_stream_handler final : public service_counted<ogg_comment_stream_handler> {
public:
    uint32_t packet_role(int64_t packet_number, int64_t, const uint8_t*, size_t) override {
        return packet_number == 1 ? (ogg_rewrite_comment | ogg_rewrite_last) : 0;
    }
    ogg_comment_magic comment_magic() override { return {vorbis_comment_magic_bytes, 7, true}; }
};

class vorbis_stream_handler_service final : public service_static<ogg_stream_handler_service> {
public:
    bool accepts_first_packet(const uint8_t* data, size_t size) override { return is_identification_header(data, size); }
    void create(service_ptr<ogg_header_rewriter>& out) override {
        service_ref ref;
        ref.attach(static_cast<ogg_header_rewriter*>(new vorbis_stream_handler()));
        out.attach_ref(std::move(ref));
    }
};

service_factory_single<vorbis_ogg_decoder_service, codec_packet_decoder_service> g_vorbis_ogg_decoder;
service_factory_single<vorbis_matroska_decoder_service, codec_packet_decoder_service> g_vorbis_matroska_decoder;
service_factory_single<vorbis_stream_handler_service, ogg_stream_handler_service> g_vorbis_stream_handler;

}  // namespace

bool vorbis_split_xiph_lacing(const uint8_t* data, size_t size, kpl::byte_array (&packets)[3]) {
    if (!data || size < 1 || data[0] != 2) return false;
    size_t pos = 1;
    size_t lengths[2];
    for (size_t& length : lengths) {
        length = 0;
        for (;;) {
            if (pos >= size) return false;
            uint8_t b = data[pos++];
            length += b;
            if (b < 255) break;
        }
    }
    if (lengths[0] > size - pos || lengths[1] > size - pos - lengths[0]) return false;
    size_t third = size - pos - lengths[0] - lengths[1];
    const size_t sizes[3] = {lengths[0], lengths[1], third};
    for (int i = 0; i < 3; ++i) {
        packets[i].resize_exact(static_cast<uint32_t>(sizes[i]));
        if (sizes[i]) std::memcpy(packets[i].data(), data + pos, sizes[i]);
        pos += sizes[i];
    }
    return true;
}
