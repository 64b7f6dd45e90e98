#pragma once
// input_facets: the scaffolding an input puts around its per-file object to hand it out as facets.
//
// An input keeps what it knows about one open file in a `File` class of its own and writes only the
// operations that differ: the decoder facet and the file's methods. These templates turn that into
// the reader, writer and decoder facets and the input_service that opens them:
//
//     class tone_file {                 // one open file; the facets forward to it
//     public:
//         void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort);
//         uint32_t subsong_count();
//         uint32_t subsong_id(uint32_t index);
//         void get_info(uint32_t subsong, track_info& info, const abort_signal& abort);
//         file_stats get_file_stats(const abort_signal& abort);
//         void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort);   // writers
//         void commit_info(const abort_signal& abort);                                            // writers
//     };
//
//     class tone_decoder final : public file_facet<tone_file, track_decoder> {
//         ...   // initialise, decode_chunk, seeking: forwarded to m_file as the format needs
//     };        // (or file_decoder<tone_file> below, where the file seeks anywhere and has no dynamic info)
//
//     class tone_input final : public facet_input<tone_decoder, file_info_reader<tone_file>,
//                                                 file_info_writer<tone_file>> {
//     public:
//         bool accepts_content_type(const char* type) override { return mime_type_matches_any(type, g_types); }
//         bool accepts_extension(const char*, const char* ext) override { return ...; }
//     };
//
// The facet forwards each call as it is; checks such as abort.check() or a fixed subsong id belong to
// the file's methods. open_facet makes a facet, holds a reference to it while File::open runs (a throwing
// open frees it) and hands it out only once open succeeded. facet_input opens the decoder with reason
// decode, the reader with reason info and the writer with reason write, and reports no input flags.

#include <cstdint>
#include <utility>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_service.h"

// A facet over one `File`, implementing `Interfaces` (the first one a track_info_reader or one that
// extends it; further ones are extra interfaces answered by query).
template <class File, class... Interfaces>
class file_facet : public service_counted<Interfaces...> {
public:
    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
        m_file.open(file, path, reason, abort);
    }

    uint32_t subsong_count() override { return m_file.subsong_count(); }
    uint32_t subsong_id(uint32_t index) override { return m_file.subsong_id(index); }
    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort) override {
        m_file.get_info(subsong, info, abort);
    }
    file_stats get_file_stats(const abort_signal& abort) override { return m_file.get_file_stats(abort); }

protected:
    File m_file;
};

template <class File>
class file_info_reader final : public file_facet<File, track_info_reader> {};

// The decoder facet of a file that seeks anywhere and has no dynamic info: initialise, decode_chunk,
// seek_seconds and on_idle go to File::initialise(subsong, abort), decode(block, abort), seek(seconds, abort)
// and on_idle(abort); the decode flags are not used.
template <class File>
class file_decoder final : public file_facet<File, track_decoder> {
public:
    void initialise(uint32_t subsong, uint32_t, const abort_signal& abort) override {
        this->m_file.initialise(subsong, abort);
    }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override {
        return this->m_file.decode(block, abort);
    }
    void seek_seconds(double seconds, const abort_signal& abort) override { this->m_file.seek(seconds, abort); }
    bool can_seek() override { return true; }
    bool dynamic_info(track_info&, double&) override { return false; }
    bool dynamic_track_info(track_info&, double&) override { return false; }
    void on_idle(const abort_signal& abort) override { this->m_file.on_idle(abort); }
};

// The writer facet; `Extra` are further interfaces the deriving class implements.
template <class File, class... Extra>
class file_info_writer : public file_facet<File, track_info_writer, Extra...> {
public:
    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort) override {
        this->m_file.stage_info(subsong, info, abort);
    }
    void commit_info(const abort_signal& abort) override { this->m_file.commit_info(abort); }
};

template <class Facet, class Interface>
void open_facet(service_ptr<Interface>& out, file_stream_ref file, const char* path, input_open_reason reason,
                const abort_signal& abort) {
    Facet* facet = new Facet();
    service_ref holder;
    holder.attach(static_cast<Interface*>(facet));
    facet->open(file, path, reason, abort);
    out.attach_ref(std::move(holder));
}

// An input_service opening these three facets; the input adds accepts_content_type and accepts_extension.
template <class Decoder, class Reader, class Writer>
class facet_input : public service_static<input_service> {
public:
    void open_decoder(service_ptr<track_decoder>& out, file_stream_ref file, const char* path,
                      const abort_signal& abort) override {
        open_facet<Decoder>(out, file, path, input_open_decode, abort);
    }
    void open_info_reader(service_ptr<track_info_reader>& out, file_stream_ref file, const char* path,
                          const abort_signal& abort) override {
        open_facet<Reader>(out, file, path, input_open_info, abort);
    }
    void open_info_writer(service_ptr<track_info_writer>& out, file_stream_ref file, const char* path,
                          const abort_signal& abort) override {
        open_facet<Writer>(out, file, path, input_open_write, abort);
    }
    uint32_t get_input_flags() override { return 0; }
};
