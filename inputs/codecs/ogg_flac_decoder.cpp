// FLAC in Ogg: the packet decoder over the native FLAC input's decoding core, and the stream handler that
// rewrites the VORBIS_COMMENT header packet.
//
// The first packet is the mapping header: 0x7F "FLAC", major and minor version, a 16-bit header count,
// then "fLaC" and the STREAMINFO block. Each further header packet is one metadata block; the block with
// the last-block bit ends the headers. Every audio packet is one FLAC frame. The core reads "fLaC" and the
// metadata blocks as one native stream that cannot seek (so the info has the native input's fields), then
// one frame per decode_packet.

#include <ogg/ogg.h>

#include <cstring>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/codecs/ogg_flac_codec.h"
#include "inputs/flac/flac_decoder_core.h"
#include "inputs/flac/flac_metadata.h"
#include "inputs/flac/flac_packet_feed.h"
#include "inputs/input_service.h"
#include "inputs/ogg_stream_handler.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "metadata/vorbis_comment_block.h"

namespace {

const char* const damage_text = "Corrupted FLAC stream";

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
    explicit ogg_flac_decoder(const ogg_packet& first)
        : m_feed_object(new flac_packet_feed()), m_feed(file_stream_ref::adopt(m_feed_object)) {
        m_feed_object->append(first.packet + 9, static_cast<size_t>(first.bytes - 9));
    }

    intptr_t property(const kpl::guid& id, intptr_t, void* data, size_t size) override {
        if (id == ogg_property_header_packet) {
            const auto* p = static_cast<const ogg_packet*>(data);
            if (!p || size != sizeof(ogg_packet) || p->bytes < 4 || m_ready) throw ketrel_io::exception_io_data();
            m_feed_object->append(p->packet, static_cast<size_t>(p->bytes));
            if (!(p->packet[0] & 0x80)) return 0;
            m_core.read_metadata(m_feed, false, &m_info, abort_never);
            m_feed_object->forget();
            m_ready = true;
            return 1;
        }
        if (id == ogg_property_granule_rate) return m_ready ? m_core.stream_info().sample_rate : 0;
        if (id == codec_property_event_sink) {
            m_sink.assign(static_cast<decoder_event_sink*>(data));
            m_core.set_event_sink(m_sink.get());
            return 1;
        }
        return 0;
    }

    void get_info(track_info& info) override {
        if (!m_ready) throw ketrel_io::exception_io_data();
        info.copy(m_info);
    }

    void reset_after_seek() override {
        m_feed_object->forget();
        m_reported = false;
        if (m_ready) m_core.flush(abort_never);
    }

    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        abort.check();
        if (!m_ready) throw ketrel_io::exception_io_data();
        // The core reads the packet where the caller holds it; what libFLAC did not read of it is no use
        // after this call, so the feed lets go of it on every way out.
        struct loan {
            flac_packet_feed& feed;
            ~loan() { feed.lend(nullptr, 0); }
        } loan{*m_feed_object};
        m_feed_object->lend(data, size);
        bool got = false;
        try {
            got = m_core.decode(block, abort);
        } catch (const ketrel_io::exception_aborted&) {
            throw;
        } catch (const ketrel_io::exception_io_data&) {
            // A frame that runs past its packet is damage; anything else the core refuses stays an error.
            if (!m_feed_object->starved()) throw;
        }
        if (got) return;
        // The packet gave no frame: it is skipped like a damaged native frame, and the core made ready for
        // the next packet.
        m_core.resume(abort);
        const uint32_t channels = m_core.stream_info().channels;
        block.set_data(nullptr, 0, channels, m_core.stream_info().sample_rate,
                       flac_channel_mask(m_core.stored_channel_mask(), channels));
        if (!m_reported && !m_core.damage_reported()) {
            m_reported = true;
            try {
                if (m_sink) m_sink->report(damage_text, 2);
            } catch (...) {
            }
        }
    }

private:
    flac_packet_feed* m_feed_object;
    file_stream_ref m_feed;
    flac_decoder_core m_core;
    track_info_store m_info;
    bool m_ready = false;
    bool m_reported = false;
    service_ptr<decoder_event_sink> m_sink;
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
