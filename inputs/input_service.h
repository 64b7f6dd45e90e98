#pragma once
// input_service: one file format the player reads, and the three facets it opens on one file.
//
// Every format registers one static input_service. The rest of the program never picks a format itself: it
// opens a facet through probing (inputs/input_probe.h), which asks each input whether it takes the file's
// content type or, failing that, its extension:
//
//     service_ptr<track_decoder> decoder;
//     input_open_decoder(decoder, file_stream_ref(), "file://C:\\Music\\a.flac", abort, false);
//     decoder->initialise(0, 4, abort);                 // subsong 0, the engine's flags
//     audio_block_store block;
//     while (decoder->decode_chunk(block, abort)) play(block);
//
// The facets:
//   track_info_reader  subsongs, their info and the file's stats;
//   track_info_writer  the reader plus stage_info (one per changed subsong) and one commit_info;
//   track_decoder      the reader plus initialise, decode_chunk, seeking and dynamic info;
//   track_decoder_v2   the decoder plus decode_chunk_raw and an event sink for stream damage.
// A facet answers query for its own interface and the ones it extends (a v2 decoder for track_decoder_v2,
// track_decoder and track_info_reader; a writer for track_info_writer and track_info_reader).
//
// Open reasons: 0 reads info, 1 decodes, 2 writes info. Without a file passed in, an input opens the
// path itself (reasons 0 and 1 for reading, 2 for modification); a file that is passed in is rewound and
// used. A facet holds its file until its last reference goes. One facet is used by one thread at a time.

#include <cstdint>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"

class audio_block;
class track_info;

enum input_open_reason : int32_t {
    input_open_info = 0,
    input_open_decode = 1,
    input_open_write = 2,
};

// Bits of the flags argument of track_decoder::initialise. The playback engine passes 4.
enum : uint32_t {
    decoder_flag_bit0 = 0x1,              // cleared for the inner decoder of a cue subsong
    decoder_flag_playback = 0x4,          // set by the playback engine
    decoder_flag_fail_on_damage = 0x8,    // fail on damaged data while nobody listens for damage reports
};

// Receives reports of recoverable stream damage ("Corrupted FLAC stream", severity 2). Until a sink is
// set, a decoder holds the shared null sink, which drops every report.
class decoder_event_sink : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x5D336782, 0x69D6, 0x4225, {0x9E, 0xA8, 0xCC, 0x29, 0x35, 0x07, 0xF9, 0xFE}};

    virtual void report(const char* message, uint32_t severity) = 0;

    // The shared sink that does nothing (a static object).
    static decoder_event_sink* null_sink();
};

class track_info_reader : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x8E9BB1D4, 0xA52B, 0x4DF6, {0xA9, 0x29, 0x1A, 0xAE, 0x40, 0x75, 0x38, 0x8A}};

    // At least 1.
    virtual uint32_t subsong_count() = 0;
    // The subsong number of index 0..subsong_count()-1; 0 is the whole file of a format without subsongs.
    virtual uint32_t subsong_id(uint32_t index) = 0;
    // Fills `info` with the subsong's metadata, technical fields and length.
    virtual void get_info(uint32_t subsong, track_info& info, const abort_signal& abort) = 0;
    virtual file_stats get_file_stats(const abort_signal& abort) = 0;
};

class track_info_writer : public track_info_reader {
public:
    static constexpr kpl::guid class_guid = {0xFE40FF66, 0x64C9, 0x4234, {0xB6, 0x39, 0x02, 0x8D, 0xC8, 0x06, 0x0C, 0xF7}};
    using parent_interface = track_info_reader;

    // Records the new metadata of one subsong; as a rule nothing is written yet.
    virtual void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort) = 0;
    // Writes what was staged, in one rewrite of the file.
    virtual void commit_info(const abort_signal& abort) = 0;
};

class track_decoder : public track_info_reader {
public:
    static constexpr kpl::guid class_guid = {0x7EB442CD, 0xFAD7, 0x4A26, {0xAD, 0x7E, 0x16, 0xF6, 0xFC, 0x89, 0x20, 0x7B}};
    using parent_interface = track_info_reader;

    // Positions the decoder at the start of the subsong. Must come before the calls below.
    virtual void initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) = 0;
    // The next block of audio; false at the end of the subsong.
    virtual bool decode_chunk(audio_block& block, const abort_signal& abort) = 0;
    // Seconds from the start of the subsong; only when can_seek answers true.
    virtual void seek_seconds(double seconds, const abort_signal& abort) = 0;
    virtual bool can_seek() = 0;
    // True when technical info changed (a varying bit rate) and was written into `info`; `offset` is the
    // time from the start of the last block at which it applies.
    virtual bool dynamic_info(track_info& info, double& offset) = 0;
    // True when the track's metadata changed in mid-stream and was written into `info`.
    virtual bool dynamic_track_info(track_info& info, double& offset) = 0;
    // The caller pauses; the decoder may let go of what its file holds.
    virtual void on_idle(const abort_signal& abort) = 0;
};

class track_decoder_v2 : public track_decoder {
public:
    static constexpr kpl::guid class_guid = {0x2C5489EB, 0xD3C1, 0x4AD4, {0xBE, 0xA3, 0xCF, 0x40, 0x8E, 0x16, 0x1B, 0x9B}};
    using parent_interface = track_decoder;

    // decode_chunk, and the same samples as little-endian integers of the track's bit depth in `raw`.
    // A decoder that cannot give integer samples throws kpl::exception_not_implemented.
    virtual bool decode_chunk_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort) = 0;
    // Replaces the sink that receives damage reports (null: the null sink).
    virtual void set_event_sink(decoder_event_sink* sink) = 0;
};

// The optional interface of decoders that cooperate with the playback engine more closely. No input of
// this program answers it.
constexpr kpl::guid decoder_playback_extension_guid = {0x953C71ED, 0xD3A2, 0x43F4, {0xA3, 0x3A, 0x55, 0x94, 0xD6, 0x73, 0x96, 0xE5}};

class input_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x436547FC, 0xC4EF, 0x4322, {0xB5, 0x9E, 0xE6, 0x96, 0xA2, 0x5F, 0xAB, 0x2C}};

    // Bit 0 of get_input_flags: left out when the caller asks to skip flagged inputs.
    enum : uint32_t { flag_skippable = 0x1 };

    virtual bool accepts_content_type(const char* content_type) = 0;
    // `extension` is kpl::extension_of (path); compared without regard to letter case.
    virtual bool accepts_extension(const char* path, const char* extension) = 0;
    // Open the file (or `file` when it is not empty) with reason 1, 0 or 2 and hand out the facet.
    virtual void open_decoder(service_ptr<track_decoder>& out, file_stream_ref file, const char* path,
                              const abort_signal& abort) = 0;
    virtual void open_info_reader(service_ptr<track_info_reader>& out, file_stream_ref file, const char* path,
                                  const abort_signal& abort) = 0;
    virtual void open_info_writer(service_ptr<track_info_writer>& out, file_stream_ref file, const char* path,
                                  const abort_signal& abort) = 0;
    virtual uint32_t get_input_flags() = 0;
};
