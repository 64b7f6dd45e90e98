// mpeg_audio_input: the input service of MPEG audio files ("MP3", "MP2", "MP1", "MPG").

#include <cstring>

#include "compressed_inputs/mpeg/mpeg_input.h"
#include "compressed_inputs/mpeg/mpeg_stream.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/input_facets.h"
#include "inputs/mime_type.h"

namespace {

class mpeg_decoder final : public file_facet<mpeg_stream, track_decoder_v2> {
public:
    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) override {
        m_file.initialise(subsong, flags, abort);
    }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override { return m_file.decode_chunk(block, abort); }
    void seek_seconds(double seconds, const abort_signal& abort) override { m_file.seek_seconds(seconds, abort); }
    bool can_seek() override { return m_file.can_seek(); }
    bool dynamic_info(track_info&, double&) override {
        m_file.can_seek();  // a usage check: only after initialise
        return false;
    }
    bool dynamic_track_info(track_info&, double&) override { return false; }
    void on_idle(const abort_signal& abort) override { m_file.on_idle(abort); }
    bool decode_chunk_raw(audio_block&, kpl::byte_array&, const abort_signal&) override {
        throw kpl::exception_not_implemented();
    }
    void set_event_sink(decoder_event_sink* sink) override { m_file.set_event_sink(sink); }
};

class mpeg_audio_input final
    : public facet_input<mpeg_decoder, file_info_reader<mpeg_stream>, file_info_writer<mpeg_stream>> {
public:
    bool accepts_content_type(const char* type) override {
        static const char* const types[] = {"audio/mp3",   "audio/mpeg",   "audio/mpg",
                                            "audio/x-mp3", "audio/x-mpeg", "audio/x-mpg"};
        for (const char* t : types) {
            if (std::strcmp(type, t) == 0) return true;
        }
        return false;
    }
    bool accepts_extension(const char* path, const char* extension) override {
        return mpeg_accepts_extension(path, extension);
    }
};

service_factory_single<mpeg_audio_input, input_service> g_mpeg_input;

}  // namespace

bool mpeg_accepts_extension(const char* path, const char* extension) {
    for (const char* e : {"MP3", "MP2", "MP1", "MPG"}) {
        if (utf8_compare_nocase_fast(extension, e) == 0) return true;
    }
    if (std::strncmp(path, "http://", 7) != 0) return false;
    const char* rest = path + 7;
    const char* slash = std::strrchr(rest, '/');
    if (!slash) return true;
    const char* dot = std::strchr(slash + 1, '.');
    if (!dot) return true;
    const char* question = std::strchr(path, '?');
    return question && question < dot;
}

input_service& mpeg_audio_input_service() { return g_mpeg_input.instance(); }
