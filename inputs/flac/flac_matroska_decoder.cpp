// FLAC in Matroska ("A_FLAC"): the packet decoder over the native FLAC input's decoding core.
//
// The track's CodecPrivate is "fLaC" and the metadata blocks, read by the core as a native stream that cannot
// seek (so the info has the native input's fields); each block of the track is one FLAC frame:
//
//     matroska_setup_record r = {"A_FLAC", 44100, 0, 2, private_size, private_bytes};
//     codec_packet_decoder_open(d, true, codec_owner_matroska, 0, &r, sizeof r, abort);
//     d->decode_packet(frame, frame_size, block, abort);    // the frame's samples
//
// A frame that gives no samples is reported once as "Corrupted FLAC stream" (severity 2) and decodes to an empty
// block; codec private data that is not a FLAC stream header is ketrel_io::exception_io_data at create.

#include <cstring>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/flac/flac_decoder_core.h"
#include "inputs/flac/flac_metadata.h"
#include "inputs/flac/flac_packet_feed.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

namespace {

const matroska_setup_record* flac_record(const kpl::guid& owner, const void* record, size_t size) {
    if (owner != codec_owner_matroska || size != sizeof(matroska_setup_record) || !record) return nullptr;
    const auto* r = static_cast<const matroska_setup_record*>(record);
    if (!r->codec_id || std::strcmp(r->codec_id, "A_FLAC") != 0) return nullptr;
    return r;
}

class flac_matroska_decoder final : public service_counted<codec_packet_decoder> {
public:
    explicit flac_matroska_decoder(const matroska_setup_record& r)
        : m_feed_object(new flac_packet_feed()), m_feed(file_stream_ref::adopt(m_feed_object)) {
        if (r.codec_private_size < 4 || !r.codec_private || std::memcmp(r.codec_private, "fLaC", 4) != 0)
            throw ketrel_io::exception_io_data();
        m_feed_object->append(r.codec_private, r.codec_private_size);
        m_core.read_metadata(m_feed, false, &m_info, abort_never);
        m_feed_object->forget();
    }

    intptr_t property(const kpl::guid& id, intptr_t, void* data, size_t) override {
        if (id == codec_property_event_sink) {
            m_sink.assign(static_cast<decoder_event_sink*>(data));
            m_core.set_event_sink(m_sink.get());
            return 1;
        }
        return 0;
    }

    // The stream's technical fields, added to what the container set.
    void get_info(track_info& info) override {
        for (uint32_t i = 0; i < m_info.info_count(); ++i)
            info.info_set(m_info.info_name(i), track_info::npos, m_info.info_value(i), track_info::npos);
    }

    void reset_after_seek() override {
        m_feed_object->forget();
        m_reported = false;
        m_core.flush(abort_never);
    }

    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        abort.check();
        m_feed_object->set(data, size);
        bool got = false;
        try {
            got = m_core.decode(block, abort);
        } catch (const ketrel_io::exception_aborted&) {
            throw;
        } catch (const ketrel_io::exception_io_data&) {
            if (!m_feed_object->starved()) throw;
        }
        if (got) return;
        m_core.resume(abort);
        block.reset();
        if (!m_reported && !m_core.damage_reported()) {
            m_reported = true;
            try {
                if (m_sink) m_sink->report("Corrupted FLAC stream", 2);
            } catch (...) {
            }
        }
    }

private:
    flac_packet_feed* m_feed_object;
    file_stream_ref m_feed;
    flac_decoder_core m_core;
    track_info_store m_info;
    bool m_reported = false;
    service_ptr<decoder_event_sink> m_sink;
};

class flac_matroska_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t, const void* record, size_t size) override {
        return flac_record(owner, record, size) != nullptr;
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid& owner, uint32_t, const void* record,
                size_t size, const abort_signal&) override {
        const matroska_setup_record* r = flac_record(owner, record, size);
        if (!r) throw ketrel_io::exception_io_data();
        service_ref ref;
        ref.attach(static_cast<codec_packet_decoder*>(new flac_matroska_decoder(*r)));
        out.attach_ref(std::move(ref));
    }
};

service_factory_single<flac_matroska_decoder_service, codec_packet_decoder_service> g_flac_matroska_decoder;

}  // namespace
