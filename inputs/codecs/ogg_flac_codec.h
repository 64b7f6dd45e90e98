#pragma once
// FLAC-in-Ogg pieces open for tests.

#include <cstdint>

#include "foundation/kpl/array.h"

class track_info;

// The FLAC handler's rewrite_header_packet: packet 0 (the mapping header) is kept and ends its page
// (answer ogg_rewrite_flush_page); a VORBIS_COMMENT block packet is rebuilt from the info, keeping the
// vendor and the last-block bit; a packet with the last-block bit answers ogg_rewrite_last |
// ogg_rewrite_flush_page. A packet under 4 bytes, or comments of 16 MiB or more (beyond the 24-bit block
// length), give ketrel_io::exception_io_data.
uint32_t ogg_flac_rewrite_header_packet(const track_info& info, int64_t packet_number, kpl::byte_array& packet);
