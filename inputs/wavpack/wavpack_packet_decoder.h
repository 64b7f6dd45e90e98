#pragma once
// WavPack blocks stored in Matroska (CodecID "A_WAVPACK4", a 2-byte codec private holding the stream version,
// second byte 4). Matroska keeps each block without the first 20 bytes of its header; the decoder puts a
// header back ("wvpk", size, version, total samples unknown, block index 0) and hands the block to libwavpack
// in streaming mode, through a reader over that one block. A block checksum covers the header too, so it is
// computed again over the rebuilt header:
//
//     matroska_setup_record r = {"A_WAVPACK4", 44100, 44100, 2, 2, private_bytes};   // {0x10, 0x04}
//     codec_packet_decoder_open(d, true, codec_owner_matroska, 0, &r, sizeof r, abort);
//     d->set_first_packet(frame, size, abort);
//     d->decode_packet(frame, size, block, abort);
//
// One WavPack block per frame: mono and stereo streams (multichannel streams keep several blocks in a frame).

#include <cstddef>
#include <cstdint>

// The stream version of a codec private, or false when the record is not one of this decoder's.
bool wavpack_matroska_version(const void* codec_private, size_t size, uint16_t& version);
