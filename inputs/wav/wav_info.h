#pragma once
// The technical info of a walked WAVE file: length, "bitrate", "samplerate", "channels", "codec", "encoding",
// "bitspersample" and, for formats the ACM converts, "decoded_bitspersample".
//
//     wav_technical_info(layout, info);   // 16-bit PCM stereo 44100 Hz: "PCM", "lossless", 1411 kbps

#include "inputs/wav/wav_chunks.h"
#include "metadata/track_info.h"

// ketrel_io::exception_io_data for an extensible record shorter than 40 bytes.
void wav_technical_info(const wav_layout& layout, track_info& info);
