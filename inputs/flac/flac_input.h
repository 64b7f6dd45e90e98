#pragma once
// The native FLAC input: the input_service for ".flac" and ".fla" files and the FLAC content types.
//
//     service_ptr<track_decoder> decoder;
//     input_open_decoder(decoder, file_stream_ref(), "file://C:\\Music\\a.flac", abort, false);
//     decoder->initialise(0, 4, abort);
//     audio_block_store block;
//     while (decoder->decode_chunk(block, abort)) play(block);    // one FLAC frame per block
//
// Opening (every facet, on a state of its own):
//   - a seekable file must hold "fLaC" at its start, after a leading ID3v2 tag if there is one
//     (ketrel_io::exception_io_data otherwise); its info is read by a flac_decoder_core, and when the
//     comments give no meta field at all, the fields of an ID3v2 tag or of trailing APEv2/ID3v1 tags are
//     used (a file without them just has no fields);
//   - a stream that cannot seek is read from where it stands, with no "fLaC" test and no other tags.
// The facets keep the file and the info; the decoder facet opens a fresh state with its own core at
// initialise, the writer facet another one at commit_info. The decoder facet answers track_decoder_v2.
//
// Seeking the whole-file decoder: 0 s right after opening (or after a seek to 0) does nothing; otherwise
// the target sample is floor (seconds x rate + 0.5); a target at or past the total ends the stream without
// asking libFLAC; a stream that cannot seek can only go back to 0, by reading it again from its start
// (ketrel_io::exception_io_object_not_seekable for any other position).
//
// decode_chunk_raw gives little-endian integers of the track's effective bit depth (8, 16, 24 or 32; the
// 8-bit samples signed; 32-bit samples exactly as stored); another depth is ketrel_io::exception_io_data.
//
// Tags are written by flac_write_tags (flac_tag_writer.h): in place when they fit, else through a
// temporary file that replaces the original only once it is complete.

#include "inputs/input_service.h"

// The static input object.
input_service& flac_input_service();
