#pragma once
// Apple Lossless frames from MP4 files, decoded by the ALAC reference decoder. The MP4 input finds the
// decoder with codec_packet_decoder_open under codec_owner_alac, the setup record being the magic cookie
// (the "alac" sample-description box's payload after its size and type), and feeds it one MP4 sample (one
// ALAC frame) at a time:
//
//     service_ptr<codec_packet_decoder> d;
//     codec_packet_decoder_open(d, true, codec_owner_alac, 0, cookie, cookie_size, abort);
//     d->decode_packet(frame, frame_size, block, abort);   // up to the cookie's frame length of samples
//
// A cookie whose frame length passes 4096 samples (the decoder's own buffers) is refused at create. A frame
// that claims more samples than the cookie allows, or whose bits run past the end of the packet, is damaged:
// ketrel_io::exception_io_data, and the next frame decodes on its own.
//
// Samples come out as integers of whole bytes (a 20-bit stream as 24-bit) in WAVE channel order, with the
// speaker mask of that order:
//     channels  3: L R C (0x7)   4: L R C Cs (0x107)   5: L R C Ls Rs (0x37)   6: L R C LFE Ls Rs (0x3F)
//               7: L R C LFE Ls Rs Cs (0x13F)          8: L R C LFE Ls Rs Lc Rc (0xFF)

#include <cstdint>

// The speaker mask of the decoder's output for a channel count (1 to 8).
uint32_t alac_channel_mask(uint32_t channels);
