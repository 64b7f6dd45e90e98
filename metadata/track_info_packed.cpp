#include <cstring>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/sort.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/track_info.h"

namespace {

// Names that are pointed at instead of copied. Sorted by byte value; matched byte for byte.
const char* const g_known_meta_names[] = {
    "ALBUM",       "ALBUM ARTIST", "ARTIST",      "Album",       "Album Artist", "Artist",      "COMMENT",
    "Comment",     "DATE",         "DISCNUMBER",  "Date",        "Discnumber",   "GENRE",       "Genre",
    "TITLE",       "TOTALTRACKS",  "TRACKNUMBER", "Title",       "TotalTracks",  "Totaltracks", "TrackNumber",
    "Tracknumber", "album",        "album artist", "artist",     "comment",      "date",        "discnumber",
    "genre",       "title",        "totaltracks", "tracknumber",
};

const char* const g_known_info_names[] = {
    "bitrate", "bitspersample", "channels", "codec", "codec_profile", "encoding", "samplerate", "tagtype", "tool",
};

// Above this many meta fields the snapshot keeps a sorted index for meta_find.
constexpr uint32_t linear_search_limit = 20;

template <size_t N>
const char* find_known(const char* const (&table)[N], const char* name) {
    size_t at;
    if (kpl::binary_search(N, [&](size_t i) { return kpl::strcmp(table[i], name); }, at)) return table[at];
    return nullptr;
}

template <size_t N>
bool is_table_text(const char* const (&table)[N], const char* name) {
    for (size_t i = 0; i < N; ++i) {
        if (table[i] == name) return true;
    }
    return false;
}

uint32_t add_size(uint32_t total, uint32_t more) {
    if (more > UINT32_MAX - total) kpl::throw_bad_alloc();
    return total + more;
}

uint32_t align_up(uint32_t offset) {
    const uint32_t a = alignof(void*);
    return add_size(offset, (a - offset % a) % a);
}

uint32_t text_size(const char* text) { return add_size(kpl::strnlen(text, UINT32_MAX), 1); }

}  // namespace

bool track_info_packed::is_known_name_text(const char* name) {
    return is_table_text(g_known_meta_names, name) || is_table_text(g_known_info_names, name);
}

void track_info_packed::copy(const track_info& source) { copy_from(source); }

void track_info_packed::copy_from(const track_info& source) {
    if (&source == this) return;
    const uint32_t n = source.meta_count();
    const uint32_t m = source.info_count();

    // First pass: the sizes of the parts.
    const uint32_t index_size = n > linear_search_limit ? kpl::checked_multiply(n, sizeof(uint32_t)) : 0;
    const uint32_t entries_offset = align_up(index_size);
    const uint32_t lists_offset = add_size(entries_offset, kpl::checked_multiply(n, sizeof(meta_entry)));
    uint32_t lists_size = 0;
    uint32_t strings_size = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t c = source.meta_value_count(i);
        if (c != 1) lists_size = add_size(lists_size, kpl::checked_multiply(c, sizeof(const char*)));
        if (!find_known(g_known_meta_names, source.meta_name(i))) strings_size = add_size(strings_size, text_size(source.meta_name(i)));
        for (uint32_t j = 0; j < c; ++j) strings_size = add_size(strings_size, text_size(source.meta_value(i, j)));
    }
    const uint32_t info_offset = add_size(lists_offset, lists_size);
    for (uint32_t i = 0; i < m; ++i) {
        if (!find_known(g_known_info_names, source.info_name(i))) strings_size = add_size(strings_size, text_size(source.info_name(i)));
        strings_size = add_size(strings_size, text_size(source.info_value(i)));
    }
    const uint32_t strings_offset = add_size(info_offset, kpl::checked_multiply(m, sizeof(info_entry)));
    const uint32_t total = add_size(strings_offset, strings_size);

    // Second pass: the contents, into a fresh block (this snapshot stays as it was until the end).
    kpl::array<uint8_t> block;
    block.resize_exact(total);
    uint8_t* base = block.data();
    meta_entry* meta = reinterpret_cast<meta_entry*>(base + entries_offset);
    const char** lists = reinterpret_cast<const char**>(base + lists_offset);
    info_entry* info = reinterpret_cast<info_entry*>(base + info_offset);
    char* strings = reinterpret_cast<char*>(base + strings_offset);

    auto store = [&strings](const char* text) -> const char* {
        uint32_t size = kpl::strnlen(text, UINT32_MAX) + 1;
        std::memcpy(strings, text, size - 1);
        strings[size - 1] = 0;
        const char* at = strings;
        strings += size;
        return at;
    };
    auto store_name = [&store](const char* name, const char* known) { return known ? known : store(name); };

    for (uint32_t i = 0; i < n; ++i) {
        uint32_t c = source.meta_value_count(i);
        meta[i].name = store_name(source.meta_name(i), find_known(g_known_meta_names, source.meta_name(i)));
        meta[i].count = c;
        if (c == 1) {
            meta[i].values = store(source.meta_value(i, 0));
        } else {
            meta[i].values = lists;
            for (uint32_t j = 0; j < c; ++j) *lists++ = store(source.meta_value(i, j));
        }
    }
    for (uint32_t i = 0; i < m; ++i) {
        info[i].name = store_name(source.info_name(i), find_known(g_known_info_names, source.info_name(i)));
        info[i].value = store(source.info_value(i));
    }

    uint32_t* index = nullptr;
    if (index_size) {
        index = reinterpret_cast<uint32_t*>(base);
        for (uint32_t i = 0; i < n; ++i) index[i] = i;
        kpl::sort_with(
            n,
            [&](size_t a, size_t b) {
                return track_info_compare_names(meta[index[a]].name, npos, meta[index[b]].name, npos);
            },
            [&](size_t a, size_t b) {
                uint32_t t = index[a];
                index[a] = index[b];
                index[b] = t;
            });
    }

    const double length = source.get_length();
    const replaygain_values replaygain = source.get_replaygain();

    m_block.swap(block);
    m_meta_count = n;
    m_info_count = m;
    m_meta = meta;
    m_info = info;
    m_index = index;
    m_length = length;
    m_replaygain = replaygain;
}

int32_t track_info_packed::meta_find(const char* name, uint32_t name_length) const {
    if (!m_index) return track_info::meta_find(name, name_length);
    uint32_t length = kpl::strnlen(name, name_length);
    uint32_t low = 0, high = m_meta_count;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        uint32_t field = m_index[middle];
        int c = track_info_compare_names(m_meta[field].name, npos, name, length);
        if (c == 0) return static_cast<int32_t>(field);
        if (c > 0) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return -1;
}

// A snapshot is never changed: each of these is a programming error.
void track_info_packed::set_length(double) { kpl::crash(); }
void track_info_packed::set_replaygain(const replaygain_values&) { kpl::crash(); }
uint32_t track_info_packed::meta_set(const char*, uint32_t, const char*, uint32_t) { kpl::crash(); }
void track_info_packed::meta_insert_value(uint32_t, uint32_t, const char*, uint32_t) { kpl::crash(); }
uint32_t track_info_packed::meta_remove_mask(const kpl::bit_mask&) { kpl::crash(); }
void track_info_packed::meta_reorder(const size_t*) { kpl::crash(); }
void track_info_packed::meta_remove_values(uint32_t, const kpl::bit_mask&) { kpl::crash(); }
void track_info_packed::meta_modify_value(uint32_t, uint32_t, const char*, uint32_t) { kpl::crash(); }
uint32_t track_info_packed::info_set(const char*, uint32_t, const char*, uint32_t) { kpl::crash(); }
uint32_t track_info_packed::info_remove_mask(const kpl::bit_mask&) { kpl::crash(); }
void track_info_packed::copy_meta(const track_info&) { kpl::crash(); }
void track_info_packed::copy_info(const track_info&) { kpl::crash(); }
uint32_t track_info_packed::meta_add(const char*, uint32_t, const char*, uint32_t) { kpl::crash(); }
uint32_t track_info_packed::info_add(const char*, uint32_t, const char*, uint32_t) { kpl::crash(); }
