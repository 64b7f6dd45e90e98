#pragma once
// cue_subsong_file: the per-file object of an input whose files may carry an embedded cue table. Subsong 0
// is the whole file, played by the format's own `Decoder`; every other subsong is a cue track, played as a
// range of the file by a cue_range_decoder. The input derives its `File` class from it (CRTP) and writes
// only what is its own: opening the file and loading the table, opening the whole-file decoder, and
// writing the tags back.
//
//     class tone_file : public cue_subsong_file<tone_file, tone_stream> {
//     public:
//         void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
//             m_path = path;
//             m_file = file;
//             embedded_cue_load(m_cue, read_tone_tags(file, abort));   // the table and the file's fields
//         }
//     private:
//         friend cue_subsong_file<tone_file, tone_stream>;
//         uint32_t begin_initialise(uint32_t flags, const abort_signal&) { return flags; }  // flags of a range
//         std::unique_ptr<tone_stream> open_whole_file(uint32_t flags, const abort_signal& abort);  // at 0 s
//         void commit_tags(track_info_store& to_write, const abort_signal& abort);   // then reload m_cue
//     };
//
//     class tone_decoder final : public cue_subsong_decoder<tone_file> {};
//
// With a table of three tracks subsong_count() is 3 and initialise(2, ...) plays track 2 only; without
// one subsong_count() is 1 and initialise(0, ...) plays the whole file through open_whole_file.
//
// initialise drops the current decoder, calls begin_initialise (which may rewind the file) and opens the
// subsong; the event sink in force is handed to the new decoder. decode, decode_raw and seek before a
// successful initialise throw kpl::exception_dynamic_assert, and so do stage_info and commit_info while a
// decoder is open. commit_info writes the table's fields into a track_info_store and hands it to
// commit_tags. Optional hooks: `file()` (the file in use, default m_file) and `whole_file_track_info`
// (dynamic track info of subsong 0, default none). One thread at a time.

#include <cstdint>
#include <memory>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/cue_range_decoder.h"
#include "inputs/input_facets.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/cue/embedded_cue.h"
#include "metadata/track_info.h"

template <class Derived, class Decoder>
class cue_subsong_file {
public:
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

    file_stats get_file_stats(const abort_signal& abort) { return file_stats_read(*self().file(), abort); }

    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) {
        m_decoder.reset();
        m_range.reset();
        const uint32_t range_flags = self().begin_initialise(flags, abort);
        if (subsong != 0) {
            // A cue track is a range of the whole file, decoded by a whole-file decoder of its own.
            double start, length;
            embedded_cue_get_range(m_cue, subsong, start, length);
            std::unique_ptr<cue_range_decoder> range(new cue_range_decoder());
            range->open(self().file(), m_path.c_str(), range_flags, start, length, abort);
            range->set_event_sink(m_sink.get());
            m_range = std::move(range);
            return;
        }
        std::unique_ptr<Decoder> decoder = self().open_whole_file(flags, abort);
        decoder->set_event_sink(m_sink.get());
        m_decoder = std::move(decoder);
    }

    Decoder& decoder() {
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
        return self().whole_file_track_info(info, offset);
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
        self().commit_tags(to_write, abort);
    }

protected:
    // Default hooks; the deriving class hides them with its own.
    file_stream_ref& file() { return m_file; }
    bool whole_file_track_info(track_info&, double&) { return false; }

    kpl::utf8_string_tight m_path;
    file_stream_ref m_file;
    embedded_cue m_cue;
    std::unique_ptr<Decoder> m_decoder;
    std::unique_ptr<cue_range_decoder> m_range;
    service_ptr<decoder_event_sink> m_sink;

private:
    Derived& self() { return static_cast<Derived&>(*this); }
};

// The decoder facet over such a file: every call forwarded as it is.
template <class File>
class cue_subsong_decoder : public file_facet<File, track_decoder_v2> {
public:
    void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) override {
        this->m_file.initialise(subsong, flags, abort);
    }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override {
        return this->m_file.decode(block, abort);
    }
    void seek_seconds(double seconds, const abort_signal& abort) override { this->m_file.seek(seconds, abort); }
    bool can_seek() override { return true; }
    bool dynamic_info(track_info& info, double& offset) override { return this->m_file.dynamic_info(info, offset); }
    bool dynamic_track_info(track_info& info, double& offset) override {
        return this->m_file.dynamic_track_info(info, offset);
    }
    void on_idle(const abort_signal& abort) override { this->m_file.on_idle(abort); }
    bool decode_chunk_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort) override {
        return this->m_file.decode_raw(block, raw, abort);
    }
    void set_event_sink(decoder_event_sink* sink) override { this->m_file.set_event_sink(sink); }
};
