#pragma once
// Fixtures of the compressed-input tests: the class table and files in memory.

#include <cstdint>
#include <vector>

#include "foundation/fs/file_stream.h"

namespace compressed_test {

// The program's class table, built once for the test program.
void services_built();

// A new memory file holding the bytes, positioned at 0.
file_stream_ref memory_file_with(const std::vector<uint8_t>& bytes);

// The whole content of a file.
std::vector<uint8_t> file_bytes(file_stream& file);

}  // namespace compressed_test
