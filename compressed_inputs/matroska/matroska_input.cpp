// The Matroska/WebM input: "mkv", "mka" and "webm" files and the Matroska and WebM content types, opened as a
// matroska_file by each facet. The decoder facet takes an event sink, which goes on to the packet decoder.

#include "compressed_inputs/matroska/matroska_file.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/input_facets.h"
#include "inputs/mime_type.h"

namespace Matroska {

bool matroska_accepts_extension(const char* extension) {
    for (const char* e : {"mkv", "mka", "webm"}) {
        if (utf8_compare_nocase_fast(extension, e) == 0) return true;
    }
    return false;
}

namespace {

class matroska_decoder final : public file_facet<matroska_file, track_decoder_v2> {
public:
    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) override {
        m_file.initialise(subsong, flags, abort);
    }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override { return m_file.decode(block, abort); }
    void seek_seconds(double seconds, const abort_signal& abort) override { m_file.seek(seconds, abort); }
    bool can_seek() override { return true; }
    bool dynamic_info(track_info&, double&) override { return false; }
    bool dynamic_track_info(track_info&, double&) override { return false; }
    void on_idle(const abort_signal& abort) override { m_file.on_idle(abort); }
    bool decode_chunk_raw(audio_block&, kpl::byte_array&, const abort_signal&) override {
        throw kpl::exception_not_implemented();
    }
    void set_event_sink(decoder_event_sink* sink) override { m_file.set_event_sink(sink); }
};

class matroska_input final
    : public facet_input<matroska_decoder, file_info_reader<matroska_file>, file_info_writer<matroska_file>> {
public:
    bool accepts_content_type(const char* type) override {
        static const char* const types[] = {"audio/x-matroska", "video/x_matroska", "audio/matroska",
                                            "video/matroska",   "audio/webm",       "video/webm"};
        for (const char* t : types) {
            if (mime_type_matches(type, t)) return true;
        }
        return false;
    }
    bool accepts_extension(const char*, const char* extension) override {
        return matroska_accepts_extension(extension);
    }
};

service_factory_single<matroska_input, input_service> g_matroska_input;

}  // namespace
}  // namespace Matroska
