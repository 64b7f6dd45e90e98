#pragma once
// Sizing rewritten tag blocks so that they can often be written back in place.
//
// byte_buffer_pad_tag_space (old size, buffer of new size s) appends zero bytes:
//     s > old size                     2048 bytes of padding
//     s == old size                    none
//     s < old size by d <= 16384       d bytes: the block keeps exactly its old size
//     s < old size by d > 16384        2048 bytes
//
//     kpl::array<uint8_t> block;  byte_buffer_set(block, data, 900);
//     byte_buffer_pad_tag_space(1000, block);     // block.count() == 1000, the last 100 bytes zero

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/array.h"

void byte_buffer_pad_tag_space(size_t old_size, kpl::array<uint8_t>& buffer);

// The buffer becomes exactly `size` bytes copied from `data`.
void byte_buffer_set(kpl::array<uint8_t>& buffer, const void* data, size_t size);
