#pragma once
// mpeg_audio_input: the input service of MPEG audio (content types "audio/mp3", "audio/mpeg", "audio/mpg",
// "audio/x-mp3", "audio/x-mpeg", "audio/x-mpg", exactly; extensions "mp3", "mp2", "mp1", "mpg" in any case).
// Each opened file is an mpeg_stream (compressed_inputs/mpeg/mpeg_stream.h); the decoder facet is a
// track_decoder_v2 whose event sink receives the stream's damage reports.
//
//     service_ptr<track_decoder> d;
//     mpeg_audio_input_service().open_decoder(d, file_stream_ref(), "file://C:\\a.mp3", abort);
//     mpeg_accepts_extension("http://radio.example/stream", "");    // true: a stream without a file name
//     mpeg_accepts_extension("http://host/a.ogg", "ogg");           // false
//     mpeg_accepts_extension("http://host/x?file=a.ogg", "ogg");    // true: the dot follows the '?'

#include "inputs/input_service.h"

input_service& mpeg_audio_input_service();

// The extension test: one of the four extensions, or an "http://" path whose last segment names no file.
bool mpeg_accepts_extension(const char* path, const char* extension);
