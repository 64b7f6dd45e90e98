#include "properties/file_end_tags.h"

#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_system.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/safe_rewrite.h"
#include "metadata/tags/tag_file_ops.h"

namespace {

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// No control character before the first zero byte.
bool text_field_ok(const uint8_t* p, uint32_t size) {
    for (uint32_t i = 0; i < size && p[i] != 0; ++i) {
        if (p[i] < 0x20 || p[i] == 0x7F) return false;
    }
    return true;
}

bool year_ok(const uint8_t* p) {
    bool digits = true, blank = true;
    for (uint32_t i = 0; i < 4; ++i) {
        digits = digits && p[i] >= '0' && p[i] <= '9';
        blank = blank && (p[i] == ' ' || p[i] == 0);
    }
    return digits || blank;
}

constexpr uint32_t ape_block = 32;
constexpr uint32_t ape_flag_has_header = 0x80000000u;
constexpr uint32_t ape_flag_is_header = 0x20000000u;
constexpr uint32_t ape_min_item = 11;
constexpr uint32_t ape_max_size = 0x10000000;

}  // namespace

bool id3v1_block_is_tag(const uint8_t block[128]) {
    if (std::memcmp(block, "TAG", 3) != 0) return false;
    return text_field_ok(block + 3, 30) && text_field_ok(block + 33, 30) && text_field_ok(block + 63, 30) &&
           year_ok(block + 93) && text_field_ok(block + 97, 30);
}

bool ape_footer_is_tag(const uint8_t footer[32], uint64_t end, const uint8_t* header) {
    if (std::memcmp(footer, "APETAGEX", 8) != 0) return false;
    const uint32_t version = le32(footer + 8), size = le32(footer + 12), count = le32(footer + 16),
                   flags = le32(footer + 20);
    if (version != 1000 && version != 2000) return false;
    for (uint32_t i = 24; i < 32; ++i) {
        if (footer[i] != 0) return false;
    }
    if (flags & ape_flag_is_header) return false;
    if (size < ape_block || size > ape_max_size || size > end) return false;
    if (count > (size - ape_block) / ape_min_item) return false;
    if (!(flags & ape_flag_has_header)) return true;
    if (header == nullptr || end - size < ape_block) return false;
    return std::memcmp(header, "APETAGEX", 8) == 0 && le32(header + 8) == version && le32(header + 12) == size &&
           le32(header + 16) == count && (le32(header + 20) & ape_flag_is_header) != 0;
}

uint64_t ape_tag_start(file_stream& file, uint64_t end, const abort_signal& abort) {
    if (end < ape_block) return end;
    uint8_t footer[ape_block];
    file.seek(end - ape_block, abort);
    file.read_exact(footer, ape_block, abort);
    if (std::memcmp(footer, "APETAGEX", 8) != 0) return end;
    const uint32_t size = le32(footer + 12);
    const bool header_wanted = (le32(footer + 20) & ape_flag_has_header) != 0;
    uint8_t header[ape_block];
    bool have_header = false;
    if (header_wanted && size >= ape_block && size <= end && end - size >= ape_block) {
        file.seek(end - size - ape_block, abort);
        file.read_exact(header, ape_block, abort);
        have_header = true;
    }
    if (!ape_footer_is_tag(footer, end, have_header ? header : nullptr)) return end;
    return end - size - (header_wanted ? ape_block : 0);
}

uint64_t trailing_tag_start(file_stream& file, const abort_signal& abort) {
    uint64_t end = file.get_size(abort);
    if (end == file_size_unknown) throw ketrel_io::exception_io_no_length();
    bool ape_seen = false;
    for (;;) {
        const uint64_t before = end;
        if (!ape_seen) {
            const uint64_t start = ape_tag_start(file, end, abort);
            ape_seen = start != end;
            end = start;
        }
        if (end >= 128) {
            uint8_t block[128];
            file.seek(end - 128, abort);
            file.read_exact(block, 128, abort);
            if (id3v1_block_is_tag(block)) end -= 128;
        }
        if (end == before) return end;
    }
}

void tag_strip_file_ends(const char* path, const abort_signal& abort) {
    file_stream_ref file;
    try {
        file_system_open_retrying(file, path, open_mode_modify, abort, 0.5);
    } catch (const ketrel_io::exception_io_no_handler_for_path&) {
        return;
    }
    safe_rewrite rewrite(path);
    try {
        if (leading_id3v2_remove(rewrite, *file, abort)) rewrite.commit(file, abort);
    } catch (...) {
        rewrite.cancel();
        throw;
    }
    if (!file->can_seek()) return;
    const uint64_t size = file->get_size(abort);
    const uint64_t end = trailing_tag_start(*file, abort);
    if (end < size) file->resize(end, abort);
}
