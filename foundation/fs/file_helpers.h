#pragma once
// Helpers over file_stream and byte streams: sizes, positions, truncation and copies.
//
//   uint64_t left = file_remaining(*f, abort);              // size - position
//   stream_copy_exact(*source, *sink, 4096, abort);         // ketrel_io::exception_io_data when short
//   file_copy_whole(*backup, *original, abort);             // backup becomes a copy of original
//   file_truncate_to(*f, 100, abort);                       // only ever makes a file smaller
//
// Copies move at most 8 MiB per block and check the abort signal before each block.

#include <cstdint>

#include "foundation/fs/byte_stream.h"
#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"

// get_size and get_timestamp.
file_stats file_stats_read(file_stream& file, const abort_signal& abort);
// Size minus position. Unknown size: ketrel_io::exception_io_no_length; a position beyond the size is a
// broken invariant (kpl::exception_dynamic_assert).
uint64_t file_remaining(file_stream& file, const abort_signal& abort);
// True when the size is known and the position is at or beyond it.
bool file_is_at_end(file_stream& file, const abort_signal& abort);
// Cuts the file to size when it is larger; otherwise nothing.
void file_truncate_to(file_stream& file, uint64_t size, const abort_signal& abort);

constexpr uint32_t stream_copy_block = 8 * 1024 * 1024;

// Copies up to n bytes; stops early when a read brings nothing. Answers the bytes copied.
uint64_t stream_copy(byte_source& source, byte_sink& sink, uint64_t n, const abort_signal& abort);
// stream_copy, and ketrel_io::exception_io_data unless all n bytes were copied.
void stream_copy_exact(byte_source& source, byte_sink& sink, uint64_t n, const abort_signal& abort);
// Copies n bytes from the source's position to the target's. A large copy (above 1024 bytes) first
// grows a target of known size to its final size, so it is allocated once.
void file_copy_exact(file_stream& source, file_stream& target, uint64_t n, const abort_signal& abort);
// Makes target a copy of the whole source (unknown source size: ketrel_io::exception_io_no_length).
void file_copy_whole(file_stream& target, file_stream& source, const abort_signal& abort);
