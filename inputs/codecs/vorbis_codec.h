#pragma once
// Vorbis pieces open for tests.

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/array.h"

// Splits a Matroska "A_VORBIS" codec private (Xiph lacing) into its three header packets: byte 0 is 2, then
// two lace values (bytes summed while a byte is 255, plus the first byte below 255), then the packets; the
// third is the rest. False for another first byte or lace values that run past the end.
//
//     02 1E 0A <30 bytes> <10 bytes> <rest>   -> packets of 30, 10 and the remaining bytes
bool vorbis_split_xiph_lacing(const uint8_t* data, size_t size, kpl::byte_array (&packets)[3]);
