// FLAC in Ogg: the packet decoder over libFLAC's stream decoder and the stream handler that rewrites the
// VORBIS_COMMENT header packet.
//
// The first packet is the mapping header: 0x7F "FLAC", major and minor version, a 16-bit header count,
// then "fLaC" and the STREAMINFO block. Each further header packet is one metadata block; the block with
// the last-block bit ends the headers. Every audio packet is one FLAC frame. The decoder feeds libFLAC
// "fLaC" and the metadata blocks as one native stream, then one frame per decode_packet.

#include <FLAC/stream_decoder.h>
#include <ogg/ogg.h>

#include <cstdlib>
#include <cstring>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/codecs/ogg_flac_codec.h"
#include "inputs/codecs/xiph_comments.h"
#include "inputs/ogg_stream_handler.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "metadata/vorbis_comment_block.h"

namespace {

bool is_mapping_header(const uint8_t* data, size_t size) {
    return data && size > 12 && data[0] == 0x7F && std::memcmp(data + 1, "FLAC", 4) == 0 && data[5] == 1;
}

const ogg_packet* ogg_record(const kpl::guid& owner, const void* record, size_t size) {
    if (owner != codec_owner_ogg || size != sizeof(ogg_packet) || !record) return nullptr;
    const auto* p = static_cast<const ogg_packet*>(record);
    return p->packet && p->bytes > 0 ? p : nullptr;
}

class ogg_flac_decoder final : public service_counted<codec_packet_decoder> {
public:
    explicit ogg_flac_decoder(const ogg_packet& first) {
        m_buffer.resize_exact(static_cast<uint32_t>(first.bytes - 9));
        std::memcpy(m_buffer.data(), first.packet + 9, m_buffer.count());
        m_decoder = FLAC__stream_decoder_new();
        if (!m_decoder) throw ketrel_io::exception_io_data();
        FLAC__stream_decoder_set_metadata_respond(m_decoder, FLAC__METADATA_TYPE_VORBIS_COMMENT);
        if (FLAC__stream_decoder_init_stream(m_decoder, &read_cb, nullptr, nullptr, nullptr, nullptr, &write_cb,
                                             &metadata_cb, &error_cb, this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
            FLAC__stream_decoder_delete(m_decoder);
            throw ketrel_io::exception_io_data();
        }
    }
    ~ogg_flac_decoder() override {
        FLAC__stream_decoder_finish(m_decoder);
        FLAC__stream_decoder_delete(m_decoder);
    }

    intptr_t property(const kpl::guid& id, intptr_t, void* data, size_t size) override {
        if (id == ogg_property_header_packet) {
            const auto* p = static_cast<const ogg_packet*>(data);
            if (!p || size != sizeof(ogg_packet) || p->bytes < 4 || m_ready) throw ketrel_io::exception_io_data();
            uint32_t at = m_buffer.count();
            m_buffer.resize_exact(at + static_cast<uint32_t>(p->bytes));
            std::memcpy(m_buffer.data() + at, p->packet, static_cast<size_t>(p->bytes));
            if (!(p->packet[0] & 0x80)) return 0;
            m_position = 0;
            if (!FLAC__stream_decoder_process_until_end_of_metadata(m_decoder) || !m_have_streaminfo ||
                m_position != m_buffer.count())
                throw ketrel_io::exception_io_data();
            m_buffer.clear();
            m_position = 0;
            m_ready = true;
            return 1;
        }
        if (id == ogg_property_granule_rate) return m_ready ? m_sample_rate : 0;
        return 0;
    }

    void get_info(track_info& info) override {
        if (!m_ready) throw ketrel_io::exception_io_data();
        info.info_set("codec", track_info::npos, "FLAC", track_info::npos);
        info.info_set("encoding", track_info::npos, "lossless", track_info::npos);
        info.info_set_int("samplerate", m_sample_rate);
        info.info_set_int("channels", m_channels);
        info.info_set_int("bitspersample", m_bits);
        kpl::array<xiph_comment_text> comments;
        for (const auto& c : m_comments) comments.append(xiph_comment_text{c.c_str(), c.length()});
        xiph_comments_to_info(info, m_vendor.c_str(), m_vendor.length(), comments.data(), comments.count(),
                              xiph_comment_rules::vorbis, 0);
    }

    void reset_after_seek() override {
        if (m_ready) FLAC__stream_decoder_flush(m_decoder);
        m_buffer.clear();
        m_position = 0;
    }

    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        abort.check();
        if (!m_ready) throw ketrel_io::exception_io_data();
        FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(m_decoder);
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM || state == FLAC__STREAM_DECODER_ABORTED)
            FLAC__stream_decoder_flush(m_decoder);
        m_buffer.resize_exact(static_cast<uint32_t>(size));
        if (size) std::memcpy(m_buffer.data(), data, size);
        m_position = 0;
        m_block = &block;
        m_block_filled = false;
        m_failure = false;
        bool ok = FLAC__stream_decoder_process_single(m_decoder);
        m_block = nullptr;
        if (m_failure) throw ketrel_io::exception_io_data();
        if (!ok && !m_block_filled) throw ketrel_io::exception_io_data();
        if (!m_block_filled) block.set_data(nullptr, 0, m_channels, m_sample_rate, m_mask);
    }

private:
    static FLAC__StreamDecoderReadStatus read_cb(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                                 void* client) {
        auto* self = static_cast<ogg_flac_decoder*>(client);
        size_t left = self->m_buffer.count() - self->m_position;
        if (left == 0) {
            *bytes = 0;
            return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
        }
        if (*bytes > left) *bytes = left;
        std::memcpy(buffer, self->m_buffer.data() + self->m_position, *bytes);
        self->m_position += static_cast<uint32_t>(*bytes);
        return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    }

    static FLAC__StreamDecoderWriteStatus write_cb(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                   const FLAC__int32* const channels[], void* client) {
        auto* self = static_cast<ogg_flac_decoder*>(client);
        try {
            uint32_t n = frame->header.channels, frames = frame->header.blocksize, bits = frame->header.bits_per_sample;
            if (!self->m_block || n != self->m_channels || bits < 4 || bits > 32) {
                self->m_failure = true;
                return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
            }
            self->m_block->set_data(nullptr, frames, n, frame->header.sample_rate, self->m_mask);
            float* out = self->m_block->get_data_writable();
            const float scale = 1.0f / static_cast<float>(1u << (bits - 1));
            for (uint32_t f = 0; f < frames; ++f)
                for (uint32_t c = 0; c < n; ++c) out[f * n + c] = static_cast<float>(channels[c][f]) * scale;
            self->m_block_filled = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        } catch (...) {
            self->m_failure = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
    }

    static void metadata_cb(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client) {
        auto* self = static_cast<ogg_flac_decoder*>(client);
        try {
            if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
                const auto& si = metadata->data.stream_info;
                if (si.sample_rate == 0 || si.channels == 0) return;
                self->m_sample_rate = si.sample_rate;
                self->m_channels = si.channels;
                self->m_bits = si.bits_per_sample;
                self->m_have_streaminfo = true;
            } else if (metadata->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
                const auto& vc = metadata->data.vorbis_comment;
                self->m_vendor.assign(reinterpret_cast<const char*>(vc.vendor_string.entry), vc.vendor_string.length);
                for (uint32_t i = 0; i < vc.num_comments; ++i) {
                    kpl::utf8_string_tight text;
                    text.assign(reinterpret_cast<const char*>(vc.comments[i].entry), vc.comments[i].length);
                    const char* name = "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=";
                    if (std::strncmp(text.c_str(), name, std::strlen(name)) == 0) {
                        const char* v = text.c_str() + std::strlen(name);
                        if (v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) self->m_stored_mask = std::strtoul(v + 2, nullptr, 16);
                    }
                    self->m_comments.append(text);
                }
            }
            if (self->m_have_streaminfo) self->m_mask = ogg_flac_channel_mask(self->m_channels, self->m_stored_mask);
        } catch (...) {
        }
    }

    static void error_cb(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client) {
        static_cast<ogg_flac_decoder*>(client)->m_failure = true;
    }

    FLAC__StreamDecoder* m_decoder = nullptr;
    kpl::byte_array m_buffer;
    uint32_t m_position = 0;
    bool m_ready = false;
    bool m_have_streaminfo = false;
    uint32_t m_sample_rate = 0, m_channels = 0, m_bits = 0, m_mask = 0, m_stored_mask = 0;
    kpl::utf8_string_tight m_vendor;
    kpl::array<kpl::utf8_string_tight> m_comments;
    audio_block* m_block = nullptr;
    bool m_block_filled = false;
    bool m_failure = false;
};

class ogg_flac_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t, const void* record, size_t size) override {
        const ogg_packet* p = ogg_record(owner, record, size);
        return p && is_mapping_header(p->packet, static_cast<size_t>(p->bytes));
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid& owner, uint32_t, const void* record,
                size_t size, const abort_signal&) override {
        const ogg_packet* p = ogg_record(owner, record, size);
        if (!p || !is_mapping_header(p->packet, static_cast<size_t>(p->bytes))) throw ketrel_io::exception_io_data();
        service_ref ref;
        ref.attach(static_cast<codec_packet_decoder*>(new ogg_flac_decoder(*p)));
        out.attach_ref(std::move(ref));
    }
};

class ogg_flac_stream_handler final : public service_counted<ogg_header_rewriter> {
public:
    uint32_t rewrite_header_packet(const track_info& info, int64_t packet_number, int64_t,
                                   kpl::byte_array& packet) override {
        return ogg_flac_rewrite_header_packet(info, packet_number, packet);
    }
};

class ogg_flac_stream_handler_service final : public service_static<ogg_stream_handler_service> {
public:
    bool accepts_first_packet(const uint8_t* data, size_t size) override { return is_mapping_header(data, size); }
    void create(service_ptr<ogg_header_rewriter>& out) override {
        service_ref ref;
        ref.attach(static_cast<ogg_header_rewriter*>(new ogg_flac_stream_handler()));
        out.attach_ref(std::move(ref));
    }
};

service_factory_single<ogg_flac_decoder_service, codec_packet_decoder_service> g_ogg_flac_decoder;
service_factory_single<ogg_flac_stream_handler_service, ogg_stream_handler_service> g_ogg_flac_stream_handler;

}  // namespace

uint32_t ogg_flac_channel_mask(uint32_t channels, uint32_t stored_mask) {
    if (stored_mask && static_cast<uint32_t>(__builtin_popcount(stored_mask)) == channels) return stored_mask;
    static const uint32_t defaults[8] = {0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
    return channels >= 1 && channels <= 8 ? defaults[channels - 1] : 0;
}

uint32_t ogg_flac_rewrite_header_packet(const track_info& info, int64_t packet_number, kpl::byte_array& packet) {
    if (packet_number == 0) return ogg_rewrite_flush_page;
    if (packet.count() < 4) throw ketrel_io::exception_io_data();
    const bool last = (packet[0] & 0x80) != 0;
    if ((packet[0] & 0x7F) == 4) {
        kpl::utf8_string_pow2 vendor;
        vorbis_comment_read_vendor(packet.data() + 4, packet.count() - 4, vendor);
        kpl::byte_array block;
        vorbis_comment_write(info, vendor.c_str(), block);
        if (block.count() > 0xFFFFFF) throw ketrel_io::exception_io_data("Tags too large for a FLAC metadata block");
        kpl::byte_array rebuilt;
        rebuilt.resize_exact(4 + block.count());
        rebuilt[0] = last ? 0x84 : 0x04;
        rebuilt[1] = static_cast<uint8_t>(block.count() >> 16);
        rebuilt[2] = static_cast<uint8_t>(block.count() >> 8);
        rebuilt[3] = static_cast<uint8_t>(block.count());
        std::memcpy(rebuilt.data() + 4, block.data(), block.count());
        packet = std::move(rebuilt);
    }
    return last ? (ogg_rewrite_last | ogg_rewrite_flush_page) : 0;
}
