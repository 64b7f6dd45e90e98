#include "inputs/wavpack/wavpack_input.h"

#include <memory>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/cue_range_decoder.h"
#include "inputs/input_facets.h"
#include "inputs/safe_rewrite.h"
#include "inputs/wavpack/wavpack_stream.h"
#include "metadata/audio_block.h"
#include "metadata/cue/embedded_cue.h"
#include "metadata/tags/tag_file_ops.h"
#include "metadata/track_info.h"

namespace {

// What the facets share: the main file, the embedded cue table and the current decoder.
class wavpack_file {
public:
    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
        m_path = path;
        filesystem_open_mode(file, path, reason, abort);
        m_file = file;
        load_info(abort);
    }

    uint32_t subsong_count() const {
        uint32_t n = embedded_cue_count(m_cue);
        return n < 2 ? 1 : n - 1;
    }
    uint32_t subsong_id(uint32_t index) const { return embedded_cue_subsong_id(m_cue, index); }

    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort) const {
        abort.check();
        if (subsong == 0) {
            embedded_cue_write_info(m_cue, info);
        } else {
            embedded_cue_get_track_info(m_cue, subsong, info);
        }
    }

    file_stats get_file_stats(const abort_signal& abort) { return file_stats_read(*m_file, abort); }

    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) {
        m_decoder.reset();
        m_range.reset();
        m_file->rewind(abort);
        if (subsong != 0) {
            // A cue track is a range of the whole file, decoded by a whole-file decoder of its own.
            double start, length;
            embedded_cue_get_range(m_cue, subsong, start, length);
            std::unique_ptr<cue_range_decoder> range(new cue_range_decoder());
            range->open(m_file, m_path.c_str(), flags & ~decoder_flag_bit0, start, length, abort);
            range->set_event_sink(m_sink.get());
            m_range = std::move(range);
            return;
        }
        std::unique_ptr<wavpack_stream> stream(new wavpack_stream());
        stream->open(m_file, m_path.c_str(), abort);
        stream->set_flags(flags);
        stream->seek(0, abort);
        stream->set_event_sink(m_sink.get());
        m_decoder = std::move(stream);
    }

    wavpack_stream& decoder() {
        if (!m_decoder) throw kpl::exception_dynamic_assert();
        return *m_decoder;
    }

    bool decode(audio_block& block, const abort_signal& abort) {
        if (m_range) return m_range->decode(block, abort);
        return decoder().decode(block, abort);
    }
    bool decode_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort) {
        if (m_range) return m_range->decode_raw(block, raw, abort);
        return decoder().decode_raw(block, raw, abort);
    }
    void seek(double seconds, const abort_signal& abort) {
        if (m_range) return m_range->seek(seconds, abort);
        decoder().seek(seconds, abort);
    }
    bool dynamic_info(track_info& info, double& offset) { return m_range && m_range->dynamic_info(info, offset); }

    bool dynamic_track_info(track_info& info, double& offset) {
        if (m_range) return m_range->dynamic_track_info(info, offset);
        if (!m_decoder || !m_decoder->take_correction_report()) return false;
        kpl::utf8_string_tight profile = m_decoder->profile();
        profile.append_cstr(" + correction");
        info.info_set("codec_profile", track_info::npos, profile.c_str(), track_info::npos);
        offset = 0;
        return true;
    }

    void set_event_sink(decoder_event_sink* sink) {
        m_sink.assign(sink);
        if (m_decoder) m_decoder->set_event_sink(sink);
        if (m_range) m_range->set_event_sink(sink);
    }

    void on_idle(const abort_signal& abort) {
        if (m_decoder) m_decoder->on_idle(abort);
        if (m_range) m_range->on_idle(abort);
    }

    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort) {
        abort.check();
        if (m_decoder || m_range) throw kpl::exception_dynamic_assert();
        if (subsong == 0) {
            embedded_cue_load(m_cue, info);
        } else {
            embedded_cue_set_track_info(m_cue, subsong, info);
        }
    }

    void commit_info(const abort_signal& abort) {
        if (m_decoder || m_range) throw kpl::exception_dynamic_assert();
        track_info_store to_write;
        embedded_cue_write_info(m_cue, to_write);
        {
            // The file must still be a WavPack stream.
            m_file->rewind(abort);
            wavpack_stream check;
            check.open(m_file, m_path.c_str(), abort);
        }
        safe_rewrite rewrite(m_path.c_str());
        try {
            trailing_tags_write(rewrite, *m_file, tag_flag_apev2, to_write, abort);
            rewrite.commit(m_file, abort);
        } catch (...) {
            rewrite.cancel();
            throw;
        }
        load_info(abort);
    }

private:
    void load_info(const abort_signal& abort) {
        m_file->rewind(abort);
        wavpack_stream stream;
        stream.open(m_file, m_path.c_str(), abort);
        track_info_store info;
        stream.read_full_info(info, abort);
        embedded_cue_load(m_cue, info);
    }

    kpl::utf8_string_tight m_path;
    file_stream_ref m_file;
    embedded_cue m_cue;
    std::unique_ptr<wavpack_stream> m_decoder;
    std::unique_ptr<cue_range_decoder> m_range;
    service_ptr<decoder_event_sink> m_sink;
};

class wavpack_decoder final : public file_facet<wavpack_file, track_decoder_v2> {
public:
    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) override {
        m_file.initialise(subsong, flags, abort);
    }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override { return m_file.decode(block, abort); }
    void seek_seconds(double seconds, const abort_signal& abort) override { m_file.seek(seconds, abort); }
    bool can_seek() override { return true; }
    bool dynamic_info(track_info& info, double& offset) override { return m_file.dynamic_info(info, offset); }
    bool dynamic_track_info(track_info& info, double& offset) override { return m_file.dynamic_track_info(info, offset); }
    void on_idle(const abort_signal& abort) override { m_file.on_idle(abort); }
    bool decode_chunk_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort) override {
        return m_file.decode_raw(block, raw, abort);
    }
    void set_event_sink(decoder_event_sink* sink) override { m_file.set_event_sink(sink); }
};

class wavpack_input final
    : public facet_input<wavpack_decoder, file_info_reader<wavpack_file>, file_info_writer<wavpack_file>> {
public:
    bool accepts_content_type(const char*) override { return false; }
    bool accepts_extension(const char*, const char* extension) override {
        return utf8_compare_nocase_fast(extension, "wv") == 0;
    }
};

service_factory_single<wavpack_input, input_service> g_wavpack_input;

}  // namespace

input_service& wavpack_input_service() { return g_wavpack_input.instance(); }
