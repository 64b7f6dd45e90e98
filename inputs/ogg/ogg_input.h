#pragma once
// The Ogg input: the input_service for Ogg files (FLAC, Vorbis and Opus streams).
//
//     service_ptr<track_decoder> decoder;
//     input_open_decoder(decoder, file_stream_ref(), "file://C:\\Music\\a.opus", abort, false);
//     decoder->subsong_count();           // one subsong per chained stream ("link")
//     decoder->initialise(1, 4, abort);   // the second link
//     audio_block_store block;
//     while (decoder->decode_chunk(block, abort)) play(block);
//
// Content types "application/ogg", "application/x-ogg", "audio/ogg", "audio/x-ogg"; extensions "ogg", "spx",
// "oga", "ogx", "ogv", "opus". Each link's packets go to the packet decoder that accepts its first packet.
//
// A seekable local file has its links found at open by bisection over serial numbers; any other file is one
// link read to its end, where every new beginning-of-stream packet starts a new stream whose tags are
// reported through dynamic_track_info. Decoding drops the codec's pre-skip and cuts the end at the last
// granule position; seeking bisects over granule positions and decodes the codec's pre-roll packets. The
// packet decoder gets the decoder's event sink (codec_property_event_sink) for its damage reports; FLAC
// reports a damaged frame and skips it, as the native FLAC input does.
//
// Writing tags rebuilds each changed link's header packets through its stream handler. When the new header
// pages have the old size and page count they are written in place; otherwise the whole file is rewritten
// through a temporary file beside it that replaces it only once it is complete, so a failure or an abort
// leaves the original as it was.

#include "foundation/fs/file_stream.h"
#include "inputs/input_service.h"


input_service& ogg_input_service();

// The Ogg input's extension test ("ogg", "spx", "oga", "ogx", "ogv", "opus", any letter case), shared by the
// Ogg album-art services.
bool ogg_accepts_extension(const char* extension);
