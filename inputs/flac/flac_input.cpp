#include "inputs/flac/flac_input.h"

#include <cmath>
#include <memory>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/cue_subsong_file.h"
#include "inputs/flac/flac_decoder_core.h"
#include "inputs/flac/flac_tag_writer.h"
#include "inputs/input_facets.h"
#include "inputs/mime_type.h"
#include "metadata/audio_block.h"
#include "metadata/cue/embedded_cue.h"
#include "metadata/tags/leading_id3v2.h"
#include "metadata/tags/tag_file_ops.h"
#include "metadata/track_info.h"

namespace {

// One opening of the file: its info and, for decoding, the core that decodes it.
class flac_open_state {
public:
    // Opening steps: the "fLaC" test of a seekable file, the metadata, other tags when the comments give no
    // field; the core stays only for decoding.
    void open(file_stream_ref& file, const char* path, input_open_reason reason, const abort_signal& abort) {
        filesystem_open_mode(file, path, reason, abort);
        m_file = file;
        m_seekable = file->can_seek();
        m_core.reset(new flac_decoder_core());
        if (m_seekable) {
            file->seek(0, abort);
            skip_leading_id3v2(*file, 0, abort);
            char marker[4];
            if (file->read(marker, 4, abort) != 4 || marker[0] != 'f' || marker[1] != 'L' || marker[2] != 'a' ||
                marker[3] != 'C') {
                throw ketrel_io::exception_io_data();
            }
            file->seek(0, abort);
            m_core->read_metadata(file, true, &info, abort);
            m_raw_bits = info.effective_bits_per_sample();
            if (info.meta_count() == 0) {
                const uint64_t position = file->get_position(abort);
                try {
                    read_id3v2_and_trailing_tags(*file, info, abort);
                } catch (const ketrel_io::exception_io_data&) {
                    // No other tags either (or broken ones): the file simply has no fields.
                }
                file->seek(position, abort);
            }
        } else {
            m_core->read_metadata(file, false, &info, abort);
            m_raw_bits = info.effective_bits_per_sample();
        }
        m_core->keep_integers(m_raw_bits == 32);
        m_at_start = true;
        cuesheet_from_block = !m_core->cuesheet_text().is_empty() && info.meta_find("cuesheet") >= 0 &&
                              m_core->cuesheet_text() == info.meta_get_first("cuesheet");
        if (reason != input_open_decode) m_core.reset();
    }

    bool decode(audio_block& block, const abort_signal& abort) {
        m_at_start = false;
        return m_core->decode(block, abort);
    }

    bool decode_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort) {
        // 32-bit samples do not fit a float: they come from libFLAC's integers as they are.
        if (!decode(block, abort)) return false;
        if (m_raw_bits == 32) {
            const kpl::array<int32_t>& values = m_core->integers();
            raw.resize_exact(kpl::checked_multiply(values.count(), 4));
            for (uint32_t i = 0; i < values.count(); ++i) {
                const uint32_t u = static_cast<uint32_t>(values[i]);
                raw[4 * i] = static_cast<uint8_t>(u);
                raw[4 * i + 1] = static_cast<uint8_t>(u >> 8);
                raw[4 * i + 2] = static_cast<uint8_t>(u >> 16);
                raw[4 * i + 3] = static_cast<uint8_t>(u >> 24);
            }
            return true;
        }
        if (!block.to_pcm(raw, m_raw_bits)) throw ketrel_io::exception_io_data("Unsupported bit depth");
        return true;
    }

    void seek(double seconds, const abort_signal& abort) {
        if (seconds == 0 && m_at_start) return;
        if (!m_seekable) {
            if (seconds > 0) throw ketrel_io::exception_io_object_not_seekable();
            m_core.reset();
            m_file->rewind(abort);
            std::unique_ptr<flac_decoder_core> core(new flac_decoder_core());
            core->set_event_sink(m_sink.get());
            track_info_store fresh;
            core->read_metadata(m_file, false, &fresh, abort);
            core->keep_integers(m_raw_bits == 32);
            m_core = std::move(core);
            m_at_start = true;
            return;
        }
        const double rate = m_core->stream_info().sample_rate;
        double target = std::floor(seconds * rate + 0.5);
        if (!(target > 0)) target = 0;
        m_core->seek_sample(static_cast<uint64_t>(target), abort);
        m_at_start = target == 0;
    }

    void set_event_sink(decoder_event_sink* sink) {
        m_sink.assign(sink);
        if (m_core) m_core->set_event_sink(sink);
    }

    void on_idle(const abort_signal& abort) { m_file->on_idle(abort); }

    track_info_store info;
    // Whether the info's "cuesheet" is the text of the file's CUESHEET block (no "cuesheet" comment).
    bool cuesheet_from_block = false;

private:
    file_stream_ref m_file;
    bool m_seekable = false;
    std::unique_ptr<flac_decoder_core> m_core;
    bool m_at_start = false;
    uint32_t m_raw_bits = 0;
    service_ptr<decoder_event_sink> m_sink;
};

// What the three facets share: the file, its subsong table and the active decoder.
class flac_file : public cue_subsong_file<flac_file, flac_open_state> {
public:
    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
        m_path = path;
        m_file = file;
        flac_open_state state;
        state.open(m_file, path, reason, abort);
        embedded_cue_load(m_cue, state.info);
    }

private:
    friend cue_subsong_file<flac_file, flac_open_state>;

    uint32_t begin_initialise(uint32_t flags, const abort_signal&) { return flags; }

    std::unique_ptr<flac_open_state> open_whole_file(uint32_t, const abort_signal& abort) {
        std::unique_ptr<flac_open_state> state(new flac_open_state());
        state->open(file(), m_path.c_str(), input_open_decode, abort);
        state->seek(0, abort);
        return state;
    }

    void commit_tags(track_info_store& to_write, const abort_signal& abort) {
        bool cuesheet_from_block;
        {
            // The file must still be a FLAC stream (and is rewound); the state lets go of it afterwards.
            flac_open_state state;
            state.open(file(), m_path.c_str(), input_open_write, abort);
            cuesheet_from_block = state.cuesheet_from_block;
        }
        flac_write_tags(m_file, m_path.c_str(), to_write, cuesheet_from_block, abort);
        embedded_cue_load(m_cue, to_write);
    }

    file_stream_ref& file() {
        // A failed replacement that could not reopen the file leaves the facet without one.
        if (!m_file) throw ketrel_io::exception_io_not_found();
        return m_file;
    }
};

class flac_decoder final : public cue_subsong_decoder<flac_file> {};

const char* const g_content_types[] = {"audio/flac", "audio/x-flac", "application/flac", "application/x-flac"};

class flac_input final : public facet_input<flac_decoder, file_info_reader<flac_file>, file_info_writer<flac_file>> {
public:
    bool accepts_content_type(const char* content_type) override {
        return mime_type_matches_any(content_type, g_content_types);
    }
    bool accepts_extension(const char*, const char* extension) override {
        return utf8_compare_nocase_fast(extension, "flac") == 0 || utf8_compare_nocase_fast(extension, "fla") == 0;
    }
};

service_factory_single<flac_input, input_service> g_flac_input;

}  // namespace

input_service& flac_input_service() { return g_flac_input.instance(); }
