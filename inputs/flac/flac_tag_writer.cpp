#include "inputs/flac/flac_tag_writer.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include <FLAC/metadata.h>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "inputs/flac/flac_metadata.h"
#include "inputs/safe_rewrite.h"
#include "metadata/replaygain.h"
#include "metadata/vorbis_comment_block.h"
#include "metadata/vorbis_comment_fields.h"

namespace {

constexpr uint32_t padding_after_growth = 512;

// The file behind one FLAC__IOHandle, with the abort signal its callbacks pass on and the first exception
// they met.
struct io_handle {
    file_stream* file;
    const abort_signal* abort;
    std::exception_ptr error;
};

io_handle& handle_of(FLAC__IOHandle handle) { return *static_cast<io_handle*>(handle); }

size_t io_read(void* ptr, size_t size, size_t count, FLAC__IOHandle handle) {
    io_handle& io = handle_of(handle);
    if (size == 0 || count == 0) return 0;
    try {
        size_t got = io.file->read(ptr, size * count, *io.abort);
        return got / size;
    } catch (...) {
        if (!io.error) io.error = std::current_exception();
        return 0;
    }
}

size_t io_write(const void* ptr, size_t size, size_t count, FLAC__IOHandle handle) {
    io_handle& io = handle_of(handle);
    if (size == 0 || count == 0) return 0;
    try {
        io.file->write(ptr, size * count, *io.abort);
        return count;
    } catch (...) {
        if (!io.error) io.error = std::current_exception();
        return 0;
    }
}

int io_seek(FLAC__IOHandle handle, FLAC__int64 offset, int whence) {
    io_handle& io = handle_of(handle);
    try {
        int origin = whence == SEEK_CUR ? seek_origin_current : whence == SEEK_END ? seek_origin_end : seek_origin_start;
        io.file->seek_from(offset, origin, *io.abort);
        return 0;
    } catch (...) {
        if (!io.error) io.error = std::current_exception();
        return -1;
    }
}

FLAC__int64 io_tell(FLAC__IOHandle handle) {
    io_handle& io = handle_of(handle);
    try {
        return static_cast<FLAC__int64>(io.file->get_position(*io.abort));
    } catch (...) {
        if (!io.error) io.error = std::current_exception();
        return -1;
    }
}

int io_eof(FLAC__IOHandle handle) {
    io_handle& io = handle_of(handle);
    try {
        uint64_t size = io.file->get_size(*io.abort);
        return size != file_size_unknown && io.file->get_position(*io.abort) >= size;
    } catch (...) {
        return 1;
    }
}

int io_close(FLAC__IOHandle) { return 0; }

const FLAC__IOCallbacks g_callbacks = {&io_read, &io_write, &io_seek, &io_tell, &io_eof, &io_close};

// The failure rule after a libFLAC call answered false.
[[noreturn]] void fail(const abort_signal& abort, io_handle& a, io_handle* b = nullptr) {
    if (abort.is_set()) throw ketrel_io::exception_aborted();
    if (a.error) std::rethrow_exception(a.error);
    if (b && b->error) std::rethrow_exception(b->error);
    throw ketrel_io::exception_io_data();
}

class chain_holder {
public:
    chain_holder() : m_chain(FLAC__metadata_chain_new()), m_iterator(FLAC__metadata_iterator_new()) {
        if (!m_chain || !m_iterator) {
            release();
            kpl::throw_bad_alloc();
        }
    }
    ~chain_holder() { release(); }
    chain_holder(const chain_holder&) = delete;
    chain_holder& operator=(const chain_holder&) = delete;

    FLAC__Metadata_Chain* chain() const { return m_chain; }
    FLAC__Metadata_Iterator* iterator() const { return m_iterator; }

private:
    void release() {
        if (m_iterator) FLAC__metadata_iterator_delete(m_iterator);
        if (m_chain) FLAC__metadata_chain_delete(m_chain);
    }
    FLAC__Metadata_Chain* m_chain;
    FLAC__Metadata_Iterator* m_iterator;
};

class block_holder {
public:
    explicit block_holder(FLAC__MetadataType type) : m_block(FLAC__metadata_object_new(type)) {
        if (!m_block) kpl::throw_bad_alloc();
    }
    ~block_holder() {
        if (m_block) FLAC__metadata_object_delete(m_block);
    }
    block_holder(const block_holder&) = delete;
    block_holder& operator=(const block_holder&) = delete;

    FLAC__StreamMetadata* get() const { return m_block; }
    // The chain took the block.
    FLAC__StreamMetadata* give() {
        FLAC__StreamMetadata* block = m_block;
        m_block = nullptr;
        return block;
    }

private:
    FLAC__StreamMetadata* m_block;
};

void append_comment(FLAC__StreamMetadata* block, const char* name, const char* value) {
    kpl::utf8_string_pow2 entry(name);
    entry << "=" << value;
    FLAC__StreamMetadata_VorbisComment_Entry e;
    e.length = entry.length();
    e.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(entry.c_str()));
    if (!FLAC__metadata_object_vorbiscomment_append_comment(block, e, true)) throw ketrel_io::exception_io_data();
}

// The new VORBIS_COMMENT block of the info.
void build_comments(FLAC__StreamMetadata* block, const kpl::utf8_string& vendor, const track_info& info) {
    if (vendor.length() > 0) {
        const FLAC__byte* bytes = reinterpret_cast<const FLAC__byte*>(vendor.c_str());
        if (!FLAC__format_vorbiscomment_entry_value_is_legal(bytes, vendor.length())) {
            throw ketrel_io::exception_io_data();
        }
        FLAC__StreamMetadata_VorbisComment_Entry e;
        e.length = vendor.length();
        e.entry = const_cast<FLAC__byte*>(bytes);
        if (!FLAC__metadata_object_vorbiscomment_set_vendor_string(block, e, true)) {
            throw ketrel_io::exception_io_data();
        }
    }
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        const char* name = vorbis_field_canonical_name(info.meta_name(i));
        for (uint32_t j = 0; j < info.meta_value_count(i); ++j) append_comment(block, name, info.meta_value(i, j));
    }
    const replaygain_values rg = info.get_replaygain();
    char text[replaygain_peak_text_size > replaygain_gain_text_size ? replaygain_peak_text_size
                                                                   : replaygain_gain_text_size];
    if (replaygain_gain_to_text(text, rg.album_gain)) append_comment(block, replaygain_field_album_gain, text);
    if (replaygain_peak_to_text(text, rg.album_peak)) append_comment(block, replaygain_field_album_peak, text);
    if (replaygain_gain_to_text(text, rg.track_gain)) append_comment(block, replaygain_field_track_gain, text);
    if (replaygain_peak_to_text(text, rg.track_peak)) append_comment(block, replaygain_field_track_peak, text);
    for (uint32_t i = 0; i < info.info_count(); ++i) {
        if (kpl::stricmp_ascii(info.info_name(i), flac_channel_mask_field) == 0) {
            append_comment(block, flac_channel_mask_field, info.info_value(i));
        }
    }
}

// Takes the channel-mask comments and the vendor string out of a comment block that is about to go.
void keep_from_old_comments(const FLAC__StreamMetadata_VorbisComment& comments, track_info& info,
                            kpl::utf8_string& vendor) {
    const size_t name_length = std::strlen(flac_channel_mask_field);
    for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
        const char* entry = reinterpret_cast<const char*>(comments.comments[i].entry);
        const uint32_t length = comments.comments[i].length;
        if (!entry || length <= name_length || entry[name_length] != '=') continue;
        if (kpl::stricmp_ascii_counted(entry, name_length, flac_channel_mask_field, name_length) != 0) continue;
        info.info_set(flac_channel_mask_field, track_info::npos, entry + name_length + 1,
                      length - static_cast<uint32_t>(name_length) - 1);
    }
    if (comments.vendor_string.entry && comments.vendor_string.length > 0) {
        vendor.set_counted(reinterpret_cast<const char*>(comments.vendor_string.entry), comments.vendor_string.length);
    }
}

// A file in memory gets the whole new content from a copy in memory: nothing on disk can be left half done.
void write_in_memory(chain_holder& chain, file_stream& file, io_handle& target, const abort_signal& abort) {
    file_stream_ref copy;
    temp_memory_file_open(copy, abort);
    io_handle out{copy.get(), &abort, nullptr};
    if (!FLAC__metadata_chain_write_with_callbacks_and_tempfile(chain.chain(), true, &target, g_callbacks, &out,
                                                                g_callbacks)) {
        fail(abort, target, &out);
    }
    // Once the copy is complete it goes back whole: an abort no longer stops it half-way.
    file_copy_whole(file, *copy, abort_never);
}

// The whole new file goes into a temporary file beside the target, which then replaces it.
void write_through_temporary(chain_holder& chain, file_stream_ref& file, const char* path, io_handle& target,
                             const abort_signal& abort) {
    safe_rewrite rewrite(path);
    file_stream_ref temporary;
    if (!rewrite.begin(temporary, abort)) throw ketrel_io::exception_io_denied();
    try {
        io_handle out{temporary.get(), &abort, nullptr};
        if (!FLAC__metadata_chain_write_with_callbacks_and_tempfile(chain.chain(), true, &target, g_callbacks, &out,
                                                                    g_callbacks)) {
            fail(abort, target, &out);
        }
        temporary.reset();
        target.file = nullptr;
        rewrite.commit(file, abort);
    } catch (...) {
        temporary.reset();  // closed first, or it could not be removed
        rewrite.cancel();
        if (!file) {
            // The replacement failed after the target was closed: the target holds its old content; give
            // the caller its file back.
            try {
                file_system_open(file, path, open_mode_modify, abort_never);
            } catch (...) {
            }
        }
        throw;
    }
}

}  // namespace

void flac_write_tags(file_stream_ref& file, const char* path, track_info& info, bool cuesheet_read_as_text,
                     const abort_signal& abort) {
    abort.check();
    vorbis_comment_check_field_names(info);
    chain_holder chain;
    io_handle target{file.get(), &abort, nullptr};
    file->seek(0, abort);
    if (!FLAC__metadata_chain_read_with_callbacks(chain.chain(), &target, g_callbacks)) {
        if (abort.is_set()) throw ketrel_io::exception_aborted();
        throw ketrel_io::exception_io_data();
    }

    const bool drop_cuesheet = cuesheet_read_as_text && info.meta_find("cuesheet") < 0;
    kpl::utf8_string_tight vendor;
    FLAC__Metadata_Iterator* it = chain.iterator();
    FLAC__metadata_iterator_init(it, chain.chain());
    do {
        FLAC__MetadataType type = FLAC__metadata_iterator_get_block_type(it);
        bool remove = type == FLAC__METADATA_TYPE_PADDING || type == FLAC__METADATA_TYPE_VORBIS_COMMENT ||
                      (type == FLAC__METADATA_TYPE_CUESHEET && drop_cuesheet);
        if (type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
            keep_from_old_comments(FLAC__metadata_iterator_get_block(it)->data.vorbis_comment, info, vendor);
        }
        if (remove && !FLAC__metadata_iterator_delete_block(it, false)) throw ketrel_io::exception_io_data();
    } while (FLAC__metadata_iterator_next(it));

    block_holder comments(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    build_comments(comments.get(), vendor, info);
    if (!FLAC__metadata_iterator_insert_block_after(it, comments.get())) throw ketrel_io::exception_io_data();
    comments.give();

    if (FLAC__metadata_chain_check_if_tempfile_needed(chain.chain(), true)) {
        block_holder padding(FLAC__METADATA_TYPE_PADDING);
        padding.get()->length = padding_after_growth;
        if (!FLAC__metadata_iterator_insert_block_after(it, padding.get())) throw ketrel_io::exception_io_data();
        padding.give();
        if (file->is_in_memory()) {
            write_in_memory(chain, *file, target, abort);
        } else {
            write_through_temporary(chain, file, path, target, abort);
        }
        return;
    }

    // In place: the last moment to stop; once begun, the blocks are written to their end.
    abort.check();
    target.abort = &abort_never;
    if (!FLAC__metadata_chain_write_with_callbacks(chain.chain(), true, &target, g_callbacks)) {
        fail(abort_never, target);
    }
}
