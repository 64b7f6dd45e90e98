#include "inputs/wavpack/wavpack_input.h"

#include <memory>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/cue_subsong_file.h"
#include "inputs/input_facets.h"
#include "inputs/safe_rewrite.h"
#include "inputs/wavpack/wavpack_stream.h"
#include "metadata/audio_block.h"
#include "metadata/cue/embedded_cue.h"
#include "metadata/tags/tag_file_ops.h"
#include "metadata/track_info.h"

namespace {

// What the facets share: the main file, the embedded cue table and the current decoder.
class wavpack_file : public cue_subsong_file<wavpack_file, wavpack_stream> {
public:
    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
        m_path = path;
        filesystem_open_mode(file, path, reason, abort);
        m_file = file;
        load_info(abort);
    }

private:
    friend cue_subsong_file<wavpack_file, wavpack_stream>;

    uint32_t begin_initialise(uint32_t flags, const abort_signal& abort) {
        m_file->rewind(abort);
        return flags & ~decoder_flag_bit0;
    }

    std::unique_ptr<wavpack_stream> open_whole_file(uint32_t flags, const abort_signal& abort) {
        std::unique_ptr<wavpack_stream> stream(new wavpack_stream());
        stream->open(m_file, m_path.c_str(), abort);
        stream->set_flags(flags);
        stream->seek(0, abort);
        return stream;
    }

    bool whole_file_track_info(track_info& info, double& offset) {
        if (!m_decoder || !m_decoder->take_correction_report()) return false;
        kpl::utf8_string_tight profile = m_decoder->profile();
        profile.append_cstr(" + correction");
        info.info_set("codec_profile", track_info::npos, profile.c_str(), track_info::npos);
        offset = 0;
        return true;
    }

    void commit_tags(track_info_store& to_write, const abort_signal& abort) {
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

    void load_info(const abort_signal& abort) {
        m_file->rewind(abort);
        wavpack_stream stream;
        stream.open(m_file, m_path.c_str(), abort);
        track_info_store info;
        stream.read_full_info(info, abort);
        embedded_cue_load(m_cue, info);
    }
};

class wavpack_decoder final : public cue_subsong_decoder<wavpack_file> {};

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
