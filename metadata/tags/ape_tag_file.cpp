#include "metadata/tags/ape_tag.h"

#include <cstring>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/io_exceptions.h"
#include "metadata/tags/tag_exceptions.h"

namespace {

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint64_t ape_read_footer(file_stream& file, uint64_t end, ape_item_list* items, uint32_t* version, const abort_signal& abort) {
    if (end < ape_block_size) throw ketrel_io::exception_io_data();
    file.seek(end - ape_block_size, abort);
    uint8_t footer[ape_block_size];
    file.read_exact(footer, ape_block_size, abort);
    if (std::memcmp(footer, "APETAGEX", 8) != 0) throw exception_tag_not_found();
    uint32_t tag_version = le32(footer + 8);
    uint32_t size = le32(footer + 12);
    uint32_t count = le32(footer + 16);
    uint32_t flags = le32(footer + 20);
    if ((tag_version != ape_version_1 && tag_version != ape_version_2) || size < ape_block_size || size > end ||
        size > ape_max_tag_size) {
        throw ketrel_io::exception_io_data();
    }
    if (items) {
        file.seek(end - size, abort);
        kpl::array<uint8_t> body;
        body.resize_exact(size - ape_block_size);
        file.read_exact(body.data(), body.count(), abort);
        ape_parse_items(body.data(), body.count(), count, tag_version, *items);
    }
    uint64_t start = end - size;
    if (flags & 0x80000000u) {
        if (start < ape_block_size) throw ketrel_io::exception_io_data();
        start -= ape_block_size;
    }
    if (version) *version = tag_version;
    return start;
}

void ape_write(file_stream& file, const ape_item_list& items, const abort_signal& abort) {
    kpl::array<uint8_t> bytes;
    ape_serialize(items, true, bytes);
    file.write(bytes.data(), bytes.count(), abort);
    file_truncate_to(file, file.get_position(abort), abort);
}

