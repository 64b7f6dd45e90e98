#include "inputs/wav/wav_input.h"

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/input_facets.h"
#include "inputs/tag_remover.h"
#include "inputs/wav/wav_chunks.h"
#include "inputs/wav/wav_info.h"
#include "inputs/wav/wav_sample_decoder.h"
#include "inputs/wav/wav_tags.h"
#include "metadata/audio_block.h"
#include "metadata/tags/tag_exceptions.h"
#include "metadata/track_info.h"

namespace {

void check_subsong(uint32_t subsong) {
    if (subsong != 0) throw ketrel_io::exception_io_data();
}

// What the facets share: the file, its walked layout and the current sample decoder.
class wav_file {
public:
    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
        filesystem_open_mode(file, path, reason, abort);
        m_file = file;
        wav_walk_chunks(*m_file, m_layout, abort);
        if (reason == input_open_write && m_layout.kind != wav_container_riff) throw exception_tagging_unsupported();
    }

    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort) {
        check_subsong(subsong);
        wav_technical_info(m_layout, info);
        if (m_layout.kind == wav_container_riff) wav_tags_read(*m_file, info, abort);
    }

    uint32_t subsong_count() const { return 1; }
    uint32_t subsong_id(uint32_t) const { return 0; }
    file_stats get_file_stats(const abort_signal& abort) { return file_stats_read(*m_file, abort); }

    void initialise(uint32_t subsong, const abort_signal& abort) {
        check_subsong(subsong);
        m_decoder.reset();
        kpl::rc_ptr<wav_sample_decoder> d = wav_sample_decoder_create(m_layout.format);
        d->set_up(m_layout.format, m_file, m_layout.data_start, m_layout.data_size, abort);
        m_decoder = d;
    }

    wav_sample_decoder& decoder() {
        if (!m_decoder) throw kpl::exception_dynamic_assert();
        return *m_decoder;
    }

    void on_idle(const abort_signal& abort) { m_file->on_idle(abort); }

    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort) {
        check_subsong(subsong);
        wav_tags_write(*m_file, info, abort);
    }

    // Tags are written in place by stage_info; there is nothing left to commit.
    void commit_info(const abort_signal&) {}

    void remove_tags(const abort_signal& abort) { wav_tags_strip(*m_file, abort); }

private:
    file_stream_ref m_file;
    wav_layout m_layout;
    kpl::rc_ptr<wav_sample_decoder> m_decoder;
};

class wav_writer final : public file_info_writer<wav_file, track_info_writer_tag_remover> {
public:
    void remove_all_tags(const abort_signal& abort) override { m_file.remove_tags(abort); }
};

class wav_decoder final : public file_facet<wav_file, track_decoder> {
public:
    void initialise(uint32_t subsong, uint32_t, const abort_signal& abort) override {
        m_file.initialise(subsong, abort);
    }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override {
        return m_file.decoder().decode(block, abort);
    }
    void seek_seconds(double seconds, const abort_signal& abort) override { m_file.decoder().seek(seconds, abort); }
    bool can_seek() override { return true; }
    bool dynamic_info(track_info&, double&) override { return false; }
    bool dynamic_track_info(track_info&, double&) override { return false; }
    void on_idle(const abort_signal& abort) override { m_file.on_idle(abort); }
};

class wav_input final : public facet_input<wav_decoder, file_info_reader<wav_file>, wav_writer> {
public:
    bool accepts_content_type(const char*) override { return false; }
    bool accepts_extension(const char*, const char* extension) override {
        return utf8_compare_nocase_fast(extension, "wav") == 0 || utf8_compare_nocase_fast(extension, "wave") == 0 ||
               utf8_compare_nocase_fast(extension, "w64") == 0;
    }
};

service_factory_single<wav_input, input_service> g_wav_input;

}  // namespace

input_service& wav_input_service() { return g_wav_input.instance(); }
