#include "metadata/tags/ape_tag.h"

#include <cstring>

#include "foundation/kpl/case_mapping.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/kpl/utf8.h"
#include "inputs/field_value_map.h"
#include "metadata/replaygain.h"
#include "metadata/tags/tag_exceptions.h"

namespace {

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void put_le32(kpl::array<uint8_t>& out, uint32_t v) {
    out.append(static_cast<uint8_t>(v));
    out.append(static_cast<uint8_t>(v >> 8));
    out.append(static_cast<uint8_t>(v >> 16));
    out.append(static_cast<uint8_t>(v >> 24));
}

void put_bytes(kpl::array<uint8_t>& out, const void* data, uint32_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t at = out.count();
    out.resize_pow2(at + n);
    if (n) std::memcpy(out.data() + at, p, n);
}

void put_block(kpl::array<uint8_t>& out, uint32_t tag_size, uint32_t count, uint32_t flags) {
    put_bytes(out, "APETAGEX", 8);
    put_le32(out, ape_version_2);
    put_le32(out, tag_size);
    put_le32(out, count);
    put_le32(out, flags);
    put_le32(out, 0);
    put_le32(out, 0);
}

void serialize_items(const ape_item_list& items, kpl::array<uint8_t>& out) {
    for (ape_item* item = items.first_node(); item; item = item->next) {
        put_le32(out, item->value.count());
        put_le32(out, (item->read_only ? 1u : 0u) | item->type << 1);
        put_bytes(out, item->key.c_str(), item->key.length() + 1);
        put_bytes(out, item->value.data(), item->value.count());
    }
}

bool key_is(const ape_item& item, const char* key) { return kpl::stricmp_ascii(item.key.c_str(), key) == 0; }

const char* const replaygain_keys[4] = {"replaygain_album_gain", "replaygain_album_peak", "replaygain_track_gain",
                                        "replaygain_track_peak"};

bool is_replaygain_key(const ape_item& item) {
    for (const char* key : replaygain_keys) {
        if (key_is(item, key)) return true;
    }
    return false;
}

// A "Track" or "Disc" value: the number before the first "/", the total after it.
void add_number_and_total(field_value_map& map, const ape_item& item, const char* number_field, const char* total_field) {
    const char* v = reinterpret_cast<const char*>(item.value.data());
    uint32_t n = item.value.count();
    uint32_t slash = 0;
    while (slash < n && v[slash] != '/') ++slash;
    if (slash == n) {
        map.add(number_field, v ? v : "", n);
        return;
    }
    if (slash > 0) map.add(number_field, v, slash);
    uint32_t after = slash + 1;
    if (after < n && v[after] != 0) map.add(total_field, v + after, n - after);
}

// The key of a field: "Year" for "date"; otherwise the first character in upper case and the others in
// lower case.
kpl::utf8_string_tight key_for_field(const char* name) {
    kpl::utf8_string_tight key;
    if (kpl::stricmp_ascii(name, "date") == 0) {
        key = "Year";
        return key;
    }
    bool first = true;
    const char* p = name;
    while (*p) {
        uint32_t c;
        size_t n = kpl::utf8_decode_char(p, &c);
        if (n == 0) {
            key.append_cstr(p);  // an invalid sequence is kept as it is
            break;
        }
        kpl::string_append_codepoint(key, first ? kpl::codepoint_to_upper(c) : kpl::codepoint_to_lower(c));
        first = false;
        p += n;
    }
    return key;
}

void append_text_item(ape_item_list& items, const char* key, const kpl::array<uint8_t>& value) {
    ape_list_append(items, key, 0, 0, value.data(), value.count());
}

// The first value of a field, or null.
const char* first_value(const track_info& info, const char* name) { return info.meta_get_first(name); }

void append_number_item(const track_info& info, ape_item_list& items, const char* key, const char* number_field,
                        const char* total_field) {
    const char* number = first_value(info, number_field);
    if (!number) return;
    kpl::array<uint8_t> value;
    put_bytes(value, number, static_cast<uint32_t>(std::strlen(number)));
    if (const char* total = first_value(info, total_field)) {
        put_bytes(value, "/", 1);
        put_bytes(value, total, static_cast<uint32_t>(std::strlen(total)));
    }
    append_text_item(items, key, value);
}

bool is_number_field(const char* name) {
    return kpl::stricmp_ascii(name, "tracknumber") == 0 || kpl::stricmp_ascii(name, "totaltracks") == 0 ||
           kpl::stricmp_ascii(name, "discnumber") == 0 || kpl::stricmp_ascii(name, "totaldiscs") == 0;
}

}  // namespace

ape_item* ape_list_append(ape_item_list& items, const char* key, uint32_t type, uint8_t read_only, const void* value,
                          uint32_t size) {
    kpl::rc_ptr<ape_item> item(new ape_item);
    item->key = key;
    item->type = type;
    item->read_only = read_only;
    item->value.resize_exact(size);
    if (size) std::memcpy(item->value.data(), value, size);
    items.push_back(item.get());
    return item.get();
}

void ape_parse_items(const uint8_t* data, uint32_t size, uint32_t count, uint32_t version, ape_item_list& items) {
    uint32_t pos = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - pos < 8) break;
        uint32_t value_size = le32(data + pos);
        uint32_t flags = version == ape_version_1 ? 0 : le32(data + pos + 4);
        pos += 8;
        const uint8_t* key = data + pos;
        uint32_t left = size - pos;
        const void* zero = std::memchr(key, 0, left);
        if (!zero || value_size > ape_max_value_size) break;
        uint32_t key_length = static_cast<uint32_t>(static_cast<const uint8_t*>(zero) - key);
        if (key_length + 1 > left || value_size > left - key_length - 1) break;
        ape_list_append(items, reinterpret_cast<const char*>(key), (flags >> 1) & 3, flags & 1, key + key_length + 1,
                        value_size);
        pos += key_length + 1 + value_size;
        if (pos >= size) break;
    }
}

void ape_serialize(const ape_item_list& items, bool with_footer, kpl::array<uint8_t>& out) {
    kpl::array<uint8_t> body;
    serialize_items(items, body);
    uint32_t tag_size = body.count() + (with_footer ? ape_block_size : 0);
    out.resize_exact(0);
    put_block(out, tag_size, items.count(), 0xA0000000u);
    put_bytes(out, body.data(), body.count());
    if (with_footer) put_block(out, tag_size, items.count(), 0x80000000u);
}

void ape_body_serialize(const ape_item_list& items, kpl::array<uint8_t>& out) {
    kpl::array<uint8_t> tag;
    ape_serialize(items, false, tag);
    if (tag.count() <= 8) throw ketrel_io::exception_io_data();
    out.resize_exact(tag.count() - 8);
    std::memcpy(out.data(), tag.data() + 8, out.count());
}

void ape_body_parse(const uint8_t* data, uint32_t length, ape_item_list& items) {
    items.clear();
    if (length < 24) throw ketrel_io::exception_io_data();
    uint32_t version = le32(data);
    uint32_t size = le32(data + 4);
    if ((version != ape_version_1 && version != ape_version_2) || size > length - 24) throw ketrel_io::exception_io_data();
    ape_parse_items(data + 24, length - 24, le32(data + 8), version, items);
}

void ape_items_to_info(const ape_item_list& items, uint32_t version, track_info& info) {
    info.replaygain_reset();
    field_value_map map;
    for (ape_item* item = items.first_node(); item; item = item->next) {
        if (item->type != 0) continue;
        const char* value = reinterpret_cast<const char*>(item->value.data());
        uint32_t size = item->value.count();
        if (!value) value = "";
        if (item->read_only || is_replaygain_key(*item)) {
            info.set_info_or_replaygain(item->key.c_str(), value, size);
        } else if (key_is(*item, "Track")) {
            add_number_and_total(map, *item, "tracknumber", "totaltracks");
        } else if (key_is(*item, "tracknumber") || key_is(*item, "totaltracks") || key_is(*item, "discnumber") ||
                   key_is(*item, "totaldiscs")) {
            map.add(item->key.c_str(), value, size);
        } else if (key_is(*item, "Disc")) {
            add_number_and_total(map, *item, "discnumber", "totaldiscs");
        } else {
            const char* name = key_is(*item, "Year") ? "date" : item->key.c_str();
            if (!track_info::is_valid_field_name(name) || size == 0) continue;
            uint32_t start = 0;
            for (uint32_t i = 0; i <= size; ++i) {
                if (i == size || value[i] == 0) {
                    map.add(name, value + start, i - start);
                    start = i + 1;
                }
            }
        }
    }
    map.store_into_info(info);
    info.info_set("tagtype", track_info::npos, version == ape_version_1 ? "apev1" : "apev2", track_info::npos);
}

void ape_check_field_names(const track_info& info) {
    static const char* const reserved[] = {"ID3", "TAG", "OggS", "MP+"};
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        const char* name = info.meta_name(i);
        bool valid = track_info::is_valid_field_name(name);
        const size_t length = std::strlen(name);
        valid = valid && length >= 2 && length <= 255;
        for (const char* r : reserved) valid = valid && kpl::stricmp_ascii(name, r) != 0;
        if (!valid) throw exception_tag_field_name(name, "an APE tag");
    }
}

void ape_items_from_info(const track_info& info, ape_item_list& items) {
    ape_check_field_names(info);
    // An item is in one list at a time: hold the ones that stay, empty the list, link them again.
    kpl::array<kpl::rc_ptr<ape_item>> kept;
    for (ape_item* item = items.first_node(); item; item = item->next) {
        if (!item->is_editable_text()) kept.append(kpl::rc_ptr<ape_item>(item));
    }
    items.clear();
    for (const kpl::rc_ptr<ape_item>& item : kept) items.push_back(item.get());

    append_number_item(info, items, "Track", "tracknumber", "totaltracks");
    append_number_item(info, items, "Disc", "discnumber", "totaldiscs");

    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        const char* name = info.meta_name(i);
        uint32_t n = info.meta_value_count(i);
        if (n == 0 || is_number_field(name)) continue;
        kpl::array<uint8_t> value;
        for (uint32_t j = 0; j < n; ++j) {
            if (j) put_bytes(value, "", 1);
            const char* v = info.meta_value(i, j);
            put_bytes(value, v, static_cast<uint32_t>(std::strlen(v)));
        }
        append_text_item(items, key_for_field(name).c_str(), value);
    }

    replaygain_values rg = info.get_replaygain();
    char text[replaygain_gain_text_size > replaygain_peak_text_size ? replaygain_gain_text_size : replaygain_peak_text_size];
    struct rg_item {
        const char* key;
        bool is_gain;
        float value;
    } values[4] = {{replaygain_keys[0], true, rg.album_gain},
                   {replaygain_keys[1], false, rg.album_peak},
                   {replaygain_keys[2], true, rg.track_gain},
                   {replaygain_keys[3], false, rg.track_peak}};
    for (const rg_item& r : values) {
        bool ok = r.is_gain ? replaygain_gain_to_text(text, r.value) : replaygain_peak_to_text(text, r.value);
        if (!ok) continue;
        ape_list_append(items, r.key, 0, 0, text, static_cast<uint32_t>(std::strlen(text)));
    }
}
