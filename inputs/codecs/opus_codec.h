#pragma once
// The Opus pieces that the Ogg retagger reaches through the stream handler, open for tests.
//
// On retag the "OpusHead" packet (number 0) gets a new output gain, the "OpusTags" packet (number 1) is
// rebuilt with ReplayGain turned into R128 terms:
//   header gain = floor(256 x (G - 5) + 0.5), G = album gain if present, else track gain, else 0 written;
//   "R128_TRACK_GAIN" = floor(256 x (track - album) + 0.5) when both gains are present, "0" when one is,
//   none otherwise; no replaygain_* fields are written.
//
//     album -3.0 dB, track -1.5 dB  ->  header gain -2048, "R128_TRACK_GAIN=384"
//     album -200 dB                 ->  kpl::exception_overflow "Overflow"

#include <cstdint>

#include "foundation/kpl/array.h"
#include "metadata/replaygain.h"

class ogg_stream_handler;
class track_info;

// The header gain (Q7.8) for the ReplayGain record; kpl::exception_overflow when it does not fit 16 bits.
int16_t opus_header_gain_for(const replaygain_values& rg);

// The Opus handler's rewrite_header_packet. Packet 0 shorter than 18 bytes, without "OpusHead" or with a
// version of 16 or more: ketrel_io::exception_io_data. Answers 0 for packet 0, the default rewrite's answer
// otherwise.
uint32_t opus_rewrite_header_packet(ogg_stream_handler& handler, const track_info& info, int64_t packet_number,
                                    int64_t granule, kpl::byte_array& packet);
