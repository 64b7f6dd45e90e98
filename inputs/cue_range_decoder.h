#pragma once
// cue_range_decoder: plays one cue subsong of a file as a range of the file's whole-file decoder. The FLAC
// and WavPack inputs use it for their subsongs other than 0.
//
//     cue_range_decoder range;
//     double start, length;
//     embedded_cue_get_range(table, 2, start, length);          // 180, 220
//     range.open(file, path, flags, start, length, abort);     // the file probed again, subsong 0
//     while (range.decode(block, abort)) play(block);          // exactly 220 s
//     range.seek(10, abort);                                   // 190 s into the file
//
// The inner decoder is found by probing (inputs flagged as skippable left out) over the same file object,
// initialised for subsong 0 with bit 0 of the flags cleared; its cached-info refresh is skipped. Dynamic
// info of the inner decoder is passed on once per decoded block. One thread at a time.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_service.h"
#include "metadata/decoding/decoder_slot.h"

class audio_block;
class track_info;

class cue_range_decoder {
public:
    // The file is rewound and used by the inner decoder.
    void open(file_stream_ref file, const char* path, uint32_t flags, double start, double length,
              const abort_signal& abort);

    bool decode(audio_block& block, const abort_signal& abort);
    bool decode_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort);
    void seek(double seconds, const abort_signal& abort);
    bool dynamic_info(track_info& info, double& offset);
    bool dynamic_track_info(track_info& info, double& offset);
    void on_idle(const abort_signal& abort);
    void set_event_sink(decoder_event_sink* sink);

private:
    decoder_slot m_slot;
};
