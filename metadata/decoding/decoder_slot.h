#pragma once
// decoder_slot: where a decoder for a location is kept between opens, and ranged decoding of one stretch
// of a file (a cue track inside a whole-disc image).
//
// Opening through a slot keeps the decoder of a file that is already open and only initialises the new
// subsong; another path gets a new decoder by probing, and (unless asked not to) the cached info of the
// file's track handles is refreshed from it:
//
//     decoder_slot slot;
//     decoder_open_for_track(slot, {file_stream_ref(), handle, 4, abort, false, false});
//     audio_block_store block;
//     while (slot.decoder->decode_chunk(block, abort)) play(block);
//
// A range plays `length` seconds from `start` of the file's subsong 0 and cuts the block that crosses its
// end to the exact sample:
//
//     decoder_range_open(slot, {file, track_location(path, 0), flags, abort, 180.0, 220.0});
//     while (decoder_range_decode(block, slot, nullptr, abort)) play(block);   // 220 s of audio
//     decoder_range_seek(slot, 10.0, abort);                                  // 190 s into the file
//
// A length of 0 runs to the end of the file; a negative length stops that many seconds before it.
//
// The slot's decoder and the path it was opened for are stored together once the open has fully
// succeeded; an open that fails at any step leaves the slot empty, so a later open of the old path never
// finds another file's decoder.
//
// A slot belongs to the thread that decodes through it.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_service.h"
#include "metadata/track_handle.h"
#include "metadata/track_location.h"

class audio_block;

struct decoder_slot {
    service_ptr<track_decoder> decoder;
    // The path the decoder was opened for.
    kpl::utf8_string_tight path;
    // Seconds from the start of the file where the range starts (0 for a whole file).
    double start = 0;
    // Seconds after the start where the range ends; 0 or less: no end.
    double end = 0;
    // Seconds decoded since the start.
    double position = 0;
    // Set after every block decoded inside a range with an end; cleared by the range decoder's own
    // dynamic-info calls.
    bool dynamic_info_pending = false;
    bool dynamic_track_info_pending = false;

    // The position kept as whole samples since the last seek or open, so that the end of a long range is
    // found to the sample: position = origin + samples / rate.
    double origin = 0;
    uint64_t samples = 0;
    uint32_t rate = 0;
};

// The optional interface of decoders that cooperate with the playback engine more closely; no input of
// this program answers it.
class decoder_playback_extension : public track_decoder {
public:
    static constexpr kpl::guid class_guid = decoder_playback_extension_guid;
    using parent_interface = track_decoder;

    virtual int32_t run(int32_t argument) = 0;
    virtual bool result() = 0;
};

// false when the slot's decoder was kept (same path, byte for byte), true when a new one was opened. The
// file reference is used for opening (or dropped when the decoder is kept).
bool decoder_open_cached(decoder_slot& slot, file_stream_ref file, const char* path, const abort_signal& abort,
                         bool skip_flagged, bool no_refresh);
// decoder_open_cached for the location's path, then initialise of its subsong with the flags.
void decoder_open_location(const track_location& location, decoder_slot& slot, file_stream_ref file, uint32_t flags,
                           const abort_signal& abort, bool skip_flagged, bool no_refresh);

struct decoder_open_params {
    file_stream_ref file;
    track_handle_ref handle;
    uint32_t flags;
    const abort_signal& abort;
    bool skip_flagged;
    bool no_refresh;
};
// decoder_open_location with the handle's location. The playback engine opens every track so, with no
// file, flags 4 and both switches false.
void decoder_open_for_track(decoder_slot& slot, const decoder_open_params& params);

// The decoder's playback extension called with the argument; 0 when it has none.
int32_t decoder_try_extension_call(track_decoder* decoder, int32_t argument);
// set_event_sink of a v2 decoder; false for a decoder without it.
bool decoder_set_event_sink(track_decoder* decoder, decoder_event_sink* sink);
// decode_chunk_raw of the slot's v2 decoder; kpl::exception_not_implemented for a decoder without it.
bool decoder_decode_raw(decoder_slot& slot, audio_block& block, kpl::byte_array& raw, const abort_signal& abort);
// decoder_decode_raw when `raw` is given, else decode_chunk.
bool decoder_decode_any(decoder_slot& slot, audio_block& block, kpl::byte_array* raw, const abort_signal& abort);

struct decoder_range_params {
    file_stream_ref file;
    track_location location;
    uint32_t flags;
    const abort_signal& abort;
    double start;
    double length;
};
// Opens the location's decoder (probing skips flagged inputs; handle info is not refreshed), which must
// be seekable (ketrel_io::exception_io_object_not_seekable), seeks to the start and sets the end. With a
// length not above 0 the end comes from the file's length (subsong 0); no usable end is
// ketrel_io::exception_io_data.
void decoder_range_open(decoder_slot& slot, const decoder_range_params& params);
// The next block of the range; false at its end. The block that crosses the end is cut to
// floor(rate x time left) sample frames, and `raw` (when given) to the same share of its bytes; a block
// that starts at the end is dropped.
bool decoder_range_decode(audio_block& block, decoder_slot& slot, kpl::byte_array* raw, const abort_signal& abort);
// Seconds from the start of the range. Before the end the decoder seeks to start + t; at or after it the
// range is at its end (the next decode answers false). Clears the dynamic-info pending flag.
void decoder_range_seek(decoder_slot& slot, double seconds, const abort_signal& abort);
