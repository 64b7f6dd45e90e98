#include "metadata/tags/tag_file_ops.h"

#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "metadata/tags/ape_tag.h"
#include "metadata/tags/id3v2_mapping.h"
#include "metadata/tags/id3v2_tag_io.h"
#include "metadata/tags/leading_id3v2.h"
#include "metadata/tags/tag_exceptions.h"
#include "metadata/tags/trailing_tag_io.h"

namespace {

service_ptr<trailing_tag_io> trailing_service() {
    service_ptr<trailing_tag_io> service;
    service_class::get_single(service);
    return service;
}

service_ptr<id3v2_tag_io> id3v2_service() {
    service_ptr<id3v2_tag_io> service;
    service_class::get_single(service);
    return service;
}

// Whether the info's album artist is only the value that ID3v2 reading made up for the old tag.
bool album_artist_is_made_up(const id3parser::tag& old_tag, const track_info& info) {
    int32_t field = info.meta_find("album artist");
    if (field < 0 || info.meta_value_count(static_cast<uint32_t>(field)) != 1) return false;
    if (std::strcmp(info.meta_value(static_cast<uint32_t>(field), 0), id3v2_various_artists) != 0) return false;
    return id3v2_invents_album_artist(old_tag);
}

void remove_field(track_info& info, const char* name) {
    int32_t field = info.meta_find(name);
    if (field < 0) return;
    kpl::bit_array mask(info.meta_count());
    mask.set(static_cast<uint32_t>(field), true);
    info.meta_remove_mask(mask);
}

bool read_range(file_stream& file, uint64_t from, uint64_t to, kpl::array<uint8_t>& out, const abort_signal& abort) {
    if (to < from || to - from > 0xFFFFFFFFu) return false;
    out.resize_exact(static_cast<uint32_t>(to - from));
    file.seek(from, abort);
    if (out.count()) file.read_exact(out.data(), out.count(), abort);
    return true;
}

// The front keeps its size: the trailing tags are replaced, then the leading tag is written over the old
// one. An abort is seen only before the first change, so "aborted" always means an unchanged file; a step
// that fails puts back what the earlier steps changed.
void replace_in_place(file_stream& file, const kpl::array<uint8_t>& head, uint64_t start,
                      const kpl::array<uint8_t>& tail, const abort_signal& abort) {
    const uint64_t size = file.get_size(abort);
    kpl::array<uint8_t> old_head, old_tail;
    if (!read_range(file, 0, head.count(), old_head, abort) || !read_range(file, start, size, old_tail, abort)) {
        throw ketrel_io::exception_io_data();
    }
    abort.check();
    file_replace_tail(file, start, tail, abort_never);
    if (!head.count()) return;
    try {
        file.seek(0, abort_never);
        file.write(head.data(), head.count(), abort_never);
    } catch (...) {
        try {
            file.seek(0, abort_never);
            file.write(old_head.data(), old_head.count(), abort_never);
            file_replace_tail(file, start, old_tail, abort_never);
        } catch (...) {
        }
        throw;
    }
}

}  // namespace

void trailing_tags_write(tag_rewriter& rewriter, file_stream& file, uint32_t flags, const track_info& info,
                         const abort_signal& abort) {
    abort.check();
    if (!file.can_seek()) throw ketrel_io::exception_io_object_not_seekable();
    uint64_t size = file.get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();

    // The new front of the file.
    id3parser::tag old_tag;
    kpl::array<uint8_t> head;
    uint64_t head_old = 0;
    if (flags & tag_flag_id3v2) {
        id3v2_write_plan plan;
        id3v2_plan_write(file, info, plan, old_tag, abort);
        head.swap(plan.bytes);
        head_old = plan.old_size;
    } else {
        try {
            leading_id3v2_read(file, old_tag, id3parser::frameFilter::everything(), abort);
        } catch (const ketrel_io::exception_io_data&) {
            old_tag = id3parser::tag();
        }
        leading_id3v2_measure(file, head_old, abort);
        // Tags that fill the whole file stay.
        if (head_old >= size) head_old = 0;
    }

    // The new end of the file.
    const track_info* source = &info;
    track_info_store without_made_up;
    if (album_artist_is_made_up(old_tag, info)) {
        without_made_up.copy(info);
        remove_field(without_made_up, "album artist");
        source = &without_made_up;
    }
    ape_item_list items;
    uint64_t start = trailing_tags_locate(file, &items, abort);
    if (start < head_old) start = head_old;
    uint32_t mode = ((flags & tag_flag_apev2) ? trailing_mode_ape : 0) | ((flags & tag_flag_id3v1) ? trailing_mode_id3v1 : 0);
    kpl::array<uint8_t> tail;
    trailing_tags_build(*source, mode, items, tail);

    if (head.count() == head_old) {
        replace_in_place(file, head, start, tail, abort);
    } else {
        rebuild_file(rewriter, file, head, head_old, start, tail, abort);
    }
}

void trailing_tags_remove(file_stream& file, const abort_signal& abort) { trailing_service()->remove(file, abort); }

bool leading_id3v2_remove(tag_rewriter& rewriter, file_stream& file, const abort_signal& abort) {
    uint64_t size = file.get_size(abort);
    uint64_t removed = leading_id3v2_strip(file, rewriter, abort);
    return removed != 0 && removed < size;
}

bool leading_id3v2_remove(file_stream& file, const abort_signal& abort) {
    tag_rewriter_none none;
    return leading_id3v2_remove(none, file, abort);
}

void trailing_tags_read(file_stream& file, track_info& info, const abort_signal& abort) {
    trailing_service()->read(file, info, abort);
}

void read_id3v2_and_trailing_tags(file_stream& file, track_info& info, const abort_signal& abort) {
    track_info_store leading, trailing;
    bool has_leading = false, has_trailing = false;
    try {
        id3v2_service()->read(file, leading, abort);
        has_leading = true;
    } catch (const ketrel_io::exception_io_data&) {
    }
    try {
        trailing_tags_read(file, trailing, abort);
        has_trailing = true;
    } catch (const ketrel_io::exception_io_data&) {
    }
    if (has_leading) {
        info.copy_tags_from(leading);
        if (has_trailing) info.merge_tags_from(trailing);
    } else if (has_trailing) {
        info.copy_tags_from(trailing);
    } else {
        throw exception_tag_not_found();
    }
}
