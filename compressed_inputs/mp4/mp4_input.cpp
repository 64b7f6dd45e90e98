// mp4_input: the facets over mp4_input_core and the input service.

#include "compressed_inputs/mp4/mp4_input.h"

#include "compressed_inputs/mp4/mp4_input_core.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/services/service_registry.h"
#include "inputs/input_facets.h"

namespace {

class mp4_decoder final : public file_facet<mp4_input_core, track_decoder_v2> {
public:
    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) override {
        m_file.initialise(subsong, flags, abort);
    }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override { return m_file.decode_chunk(block, abort); }
    void seek_seconds(double seconds, const abort_signal& abort) override { m_file.seek_seconds(seconds, abort); }
    bool can_seek() override { return m_file.can_seek(); }
    bool dynamic_info(track_info&, double&) override { return false; }
    bool dynamic_track_info(track_info&, double&) override { return false; }
    void on_idle(const abort_signal& abort) override { m_file.on_idle(abort); }
    bool decode_chunk_raw(audio_block&, kpl::byte_array&, const abort_signal&) override {
        throw kpl::exception_not_implemented();
    }
    void set_event_sink(decoder_event_sink* sink) override { m_file.set_event_sink(sink); }
};

class mp4_input final
    : public facet_input<mp4_decoder, file_info_reader<mp4_input_core>, file_info_writer<mp4_input_core>> {
public:
    bool accepts_content_type(const char* type) override {
        return kpl::stricmp_ascii(type, "audio/mp4") == 0 || kpl::stricmp_ascii(type, "audio/x-mp4") == 0;
    }
    bool accepts_extension(const char*, const char* extension) override {
        for (const char* e : {"MP4", "M4A", "3GP", "3G2", "M4B", "M4R"}) {
            if (kpl::stricmp_ascii(extension, e) == 0) return true;
        }
        return false;
    }
};

service_factory_single<mp4_input, input_service> g_mp4_input;

}  // namespace

input_service& mp4_input_service() { return g_mp4_input.instance(); }
