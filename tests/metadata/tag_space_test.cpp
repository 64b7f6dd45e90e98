// Padding rewritten tag blocks so that they can be written back in place.
#include <doctest/doctest.h>

#include <vector>

#include "metadata/tag_space.h"

namespace {

using bytes = std::vector<uint8_t>;

bytes to_bytes(const kpl::array<uint8_t>& a) { return bytes(a.data(), a.data() + a.count()); }

}  // namespace

TEST_CASE("tag space: padding of rewritten blocks") {
    struct row {
        size_t old_size;
        size_t new_size;
        size_t padded;
    } rows[] = {
        {1000, 900, 1000},           // 100 shorter: back to the old size
        {21000, 1000, 1000 + 2048},  // 20000 shorter
        {17384, 1000, 17384},        // 16384 shorter: still the old size
        {17385, 1000, 1000 + 2048},  // one more
        {990, 1000, 1000 + 2048},    // longer
        {1000, 1000, 1000},          // the same size
        {0, 0, 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.old_size);
        CAPTURE(r.new_size);
        kpl::array<uint8_t> buffer;
        bytes content(r.new_size, 0xAB);
        byte_buffer_set(buffer, content.data(), content.size());
        byte_buffer_pad_tag_space(r.old_size, buffer);
        REQUIRE(buffer.count() == r.padded);
        CHECK(bytes(buffer.data(), buffer.data() + r.new_size) == content);
        bool zeros = true;
        for (size_t k = r.new_size; k < r.padded; ++k) zeros = zeros && buffer[static_cast<uint32_t>(k)] == 0;
        CHECK(zeros);
    }
}

TEST_CASE("tag space: setting a buffer") {
    kpl::array<uint8_t> buffer;
    byte_buffer_set(buffer, "abcdef", 6);
    CHECK(to_bytes(buffer) == bytes{'a', 'b', 'c', 'd', 'e', 'f'});
    byte_buffer_set(buffer, buffer.data() + 2, 3);  // from its own bytes
    CHECK(to_bytes(buffer) == bytes{'c', 'd', 'e'});
    byte_buffer_set(buffer, nullptr, 0);
    CHECK(buffer.count() == 0);
}
