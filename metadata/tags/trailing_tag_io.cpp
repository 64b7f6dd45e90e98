#include "metadata/tags/trailing_tag_io.h"

#include <cstring>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "metadata/tags/ape_tag.h"
#include "metadata/tags/id3v1_tag.h"
#include "metadata/tags/tag_exceptions.h"

namespace {

// When the 128 bytes before `end` are an ID3v1 tag, reads them into `tag` and answers true.
bool id3v1_at(file_stream& file, uint64_t end, uint8_t tag[id3v1_tag_size], const abort_signal& abort) {
    if (end < id3v1_tag_size) return false;
    file.seek(end - id3v1_tag_size, abort);
    file.read_exact(tag, id3v1_tag_size, abort);
    return std::memcmp(tag, "TAG", 3) == 0;
}

class trailing_tag_io_impl final : public service_static<trailing_tag_io> {
public:
    void read(file_stream& file, track_info& info, const abort_signal& abort) override {
        uint64_t position;
        read_and_locate(file, info, position, abort);
    }

    void write(file_stream& file, const track_info& info, uint32_t mode, const abort_signal& abort) override {
        abort.check();
        ape_item_list items;
        uint64_t start = trailing_tags_locate(file, &items, abort);
        kpl::array<uint8_t> tail;
        trailing_tags_build(info, mode, items, tail);
        file_replace_tail(file, start, tail, abort);
    }

    void remove(file_stream& file, const abort_signal& abort) override {
        abort.check();
        uint64_t start = trailing_tags_locate(file, nullptr, abort);
        kpl::array<uint8_t> none;
        file_replace_tail(file, start, none, abort);
    }

    bool fits_id3v1(const track_info& info) override { return id3v1_fits(info); }

    void reduce_to_id3v1(track_info& info) override { id3v1_reduce(info); }

    void read_and_locate(file_stream& file, track_info& info, uint64_t& position, const abort_signal& abort) override {
        uint64_t end = file.get_size(abort);
        if (end == file_size_unknown) throw ketrel_io::exception_io_no_length();
        track_info_store ape_info, id3v1_info;
        bool ape_found = false, id3v1_found = false;
        for (;;) {
            uint64_t before = end;
            if (!ape_found) {
                try {
                    ape_item_list items;
                    uint32_t version = 0;
                    end = ape_read_footer(file, end, &items, &version, abort);
                    ape_items_to_info(items, version, ape_info);
                    ape_found = true;
                } catch (const ketrel_io::exception_io_data&) {
                }
            }
            if (!id3v1_found) {
                try {
                    uint8_t tag[id3v1_tag_size];
                    if (id3v1_at(file, end, tag, abort)) {
                        id3v1_parse(tag, id3v1_info);
                        id3v1_found = true;
                        end -= id3v1_tag_size;
                    }
                } catch (const ketrel_io::exception_io_data&) {
                }
            }
            if (end == before) break;
        }
        if (!ape_found && !id3v1_found) throw exception_tag_not_found();
        if (ape_found) {
            info.copy_tags_from(ape_info);
            if (id3v1_found) info.merge_tags_from(id3v1_info);
        } else {
            info.copy_tags_from(id3v1_info);
        }
        position = end;
    }
};

service_factory_single<trailing_tag_io_impl, trailing_tag_io> g_trailing_tag_io;

}  // namespace

uint64_t trailing_tags_locate(file_stream& file, ape_item_list* items, const abort_signal& abort) {
    uint64_t end = file.get_size(abort);
    if (end == file_size_unknown) throw ketrel_io::exception_io_no_length();
    bool ape_found = false;
    for (;;) {
        uint64_t before = end;
        if (!ape_found) {
            try {
                ape_item_list found;
                end = ape_read_footer(file, end, items ? &found : nullptr, nullptr, abort);
                ape_found = true;
                if (items) items->swap(found);
            } catch (const ketrel_io::exception_io_data&) {
            }
        }
        try {
            uint8_t tag[id3v1_tag_size];
            if (id3v1_at(file, end, tag, abort)) end -= id3v1_tag_size;
        } catch (const ketrel_io::exception_io_data&) {
        }
        if (end == before) break;
    }
    return end;
}

void trailing_tags_build(const track_info& info, uint32_t mode, ape_item_list& old_items, kpl::array<uint8_t>& out) {
    out.resize_exact(0);
    if (mode & trailing_mode_ape) {
        ape_items_from_info(info, old_items);
        ape_serialize(old_items, true, out);
    }
    if (mode & trailing_mode_id3v1) {
        uint8_t tag[id3v1_tag_size];
        id3v1_build(info, tag);
        uint32_t at = out.count();
        out.resize_exact(at + id3v1_tag_size);
        std::memcpy(out.data() + at, tag, id3v1_tag_size);
    }
}

void file_replace_tail(file_stream& file, uint64_t start, const kpl::array<uint8_t>& tail, const abort_signal& abort) {
    abort.check();
    uint64_t size = file.get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    const uint64_t old_length = size > start ? size - start : 0;
    const uint64_t new_length = tail.count();
    if (new_length == 0) {
        file_truncate_to(file, start, abort);
        return;
    }
    if (old_length == 0) {
        try {
            file.seek(size, abort);
            file.write(tail.data(), tail.count(), abort);
        } catch (...) {
            try {
                file_truncate_to(file, size, abort_never);
            } catch (...) {
            }
            throw;
        }
        return;
    }
    // The old tags stay in memory, so that a last step that fails can put them back.
    if (old_length > 0xFFFFFFFFu) throw ketrel_io::exception_io_data();
    kpl::array<uint8_t> old_tail;
    old_tail.resize_exact(static_cast<uint32_t>(old_length));
    file.seek(start, abort);
    file.read_exact(old_tail.data(), old_tail.count(), abort);

    // Copies of the new tail go to the end first; a copy that cannot be completed (a full disk, an abort)
    // is cut off again, so the file still ends in its old tags. The last copy must not overlap the place
    // the tail finally goes to: with a tail longer than the old tags, two copies are needed.
    uint64_t end = size;
    const int copies = old_length < new_length ? 2 : 1;
    for (int i = 0; i < copies; ++i) {
        try {
            file.seek(end, abort);
            file.write(tail.data(), tail.count(), abort);
        } catch (...) {
            try {
                file_truncate_to(file, size, abort_never);
            } catch (...) {
            }
            throw;
        }
        end += new_length;
    }
    // From here on the file always ends in the new tags; the remaining steps run to their end. When one of
    // them fails, the old tags go back in their place and the copies are cut off, so that the failed write
    // leaves the file as it was instead of new tags behind bytes a reader would take for audio.
    try {
        file.seek(start, abort_never);
        file.write(tail.data(), tail.count(), abort_never);
        file_truncate_to(file, start + new_length, abort_never);
    } catch (...) {
        try {
            file.seek(start, abort_never);
            file.write(old_tail.data(), old_tail.count(), abort_never);
            file_truncate_to(file, size, abort_never);
        } catch (...) {
        }
        throw;
    }
}
