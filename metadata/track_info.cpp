#include "metadata/track_info.h"

#include <cmath>

#include "foundation/kpl/text_compare.h"

namespace {

uint32_t bounded_length(const char* text, uint32_t max) { return kpl::strnlen(text, max); }

// Selects every field.
const kpl::bit_mask_all_set g_select_all;

}  // namespace

int track_info_compare_names(const char* a, uint32_t a_length, const char* b, uint32_t b_length) {
    return kpl::stricmp_ascii_counted(a, bounded_length(a, a_length), b, bounded_length(b, b_length));
}

// ---- interface defaults -------------------------------------------------------------------------------

int32_t track_info::meta_find(const char* name, uint32_t name_length) const {
    uint32_t n = bounded_length(name, name_length);
    uint32_t count = meta_count();
    for (uint32_t i = 0; i < count; ++i) {
        if (track_info_compare_names(meta_name(i), npos, name, n) == 0) return static_cast<int32_t>(i);
    }
    return -1;
}

int32_t track_info::info_find(const char* name, uint32_t name_length) const {
    uint32_t n = bounded_length(name, name_length);
    uint32_t count = info_count();
    for (uint32_t i = 0; i < count; ++i) {
        if (track_info_compare_names(info_name(i), npos, name, n) == 0) return static_cast<int32_t>(i);
    }
    return -1;
}

void track_info::copy(const track_info& other) {
    if (&other == this) return;
    copy_meta(other);
    copy_info(other);
    set_length(other.get_length());
    set_replaygain(other.get_replaygain());
}

void track_info::copy_meta(const track_info& other) {
    if (&other == this) return;
    meta_remove_mask(g_select_all);
    uint32_t count = other.meta_count();
    for (uint32_t i = 0; i < count; ++i) copy_meta_field(other, i);
}

void track_info::copy_info(const track_info& other) {
    if (&other == this) return;
    info_remove_mask(g_select_all);
    uint32_t count = other.info_count();
    for (uint32_t i = 0; i < count; ++i) copy_info_field(other, i);
}

// ---- helpers ------------------------------------------------------------------------------------------

const char* track_info::meta_get_first(const char* name, uint32_t name_length) const {
    int32_t i = meta_find(name, name_length);
    if (i < 0 || meta_value_count(i) == 0) return nullptr;
    return meta_value(i, 0);
}

void track_info::meta_add_value(const char* value, uint32_t i, uint32_t value_length) {
    meta_insert_value(i, meta_value_count(i), value, value_length);
}

uint32_t track_info::copy_meta_field(const track_info& source, uint32_t i) {
    // A field always gets at least one value here; one without values (which no container builds
    // through its operations) arrives with one empty value.
    uint32_t values = source.meta_value_count(i);
    uint32_t at = meta_add(source.meta_name(i), npos, values ? source.meta_value(i, 0) : "", npos);
    for (uint32_t j = 1; j < values; ++j) meta_add_value(source.meta_value(i, j), at);
    return at;
}

uint32_t track_info::copy_info_field(const track_info& source, uint32_t i) {
    return info_add(source.info_name(i), npos, source.info_value(i), npos);
}

uint32_t track_info::meta_total_value_count() const {
    uint32_t total = 0;
    uint32_t count = meta_count();
    for (uint32_t i = 0; i < count; ++i) total += meta_value_count(i);
    return total;
}

void track_info::meta_join_values(kpl::utf8_string& out, uint32_t i, const char* separator) const {
    out.reset();
    uint32_t values = meta_value_count(i);
    for (uint32_t j = 0; j < values; ++j) {
        if (j > 0) out.append(separator);
        out.append(meta_value(i, j));
    }
}

bool track_info::meta_get_joined(kpl::utf8_string& out, const char* name) const {
    int32_t i = meta_find(name);
    if (i < 0) {
        out.reset();
        return false;
    }
    meta_join_values(out, i, ", ");
    return true;
}

void track_info::meta_remove_all() { meta_remove_mask(g_select_all); }

void track_info::info_remove_all() { info_remove_mask(g_select_all); }

void track_info::reset() {
    info_remove_all();
    meta_remove_all();
    set_length(0);
    replaygain_reset();
}

const char* track_info::info_get_by_name(const char* name, uint32_t name_length) const {
    int32_t i = info_find(name, name_length);
    return i < 0 ? nullptr : info_value(i);
}

int64_t track_info::info_get_int(const char* name) const {
    const char* value = info_get_by_name(name);
    if (!value) return 0;
    while (*value == ' ' || *value == '\t' || *value == '\n' || *value == '\r' || *value == '\v' || *value == '\f')
        ++value;
    bool negative = false;
    if (*value == '+' || *value == '-') negative = *value++ == '-';
    uint64_t magnitude = 0;
    for (; *value >= '0' && *value <= '9'; ++value) magnitude = magnitude * 10 + static_cast<uint64_t>(*value - '0');
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

void track_info::info_set_int(const char* name, int64_t value) {
    kpl::utf8_string_pow2 text;
    text.append_int(value);
    info_set(name, npos, text.c_str(), npos);
}

void track_info::set_bitrate(int64_t kbps) { info_set_int("bitrate", kbps); }

void track_info::set_bitrate_from_size(uint64_t bytes, double seconds) {
    if (!(seconds > 0)) return;  // no duration: no bitrate rather than a division by zero
    double rate = std::floor(static_cast<double>(bytes) * 8.0 / (seconds * 1000.0) + 0.5);
    if (!(rate < 9.2e18)) return;
    set_bitrate(static_cast<int64_t>(rate));
}

uint32_t track_info::effective_bits_per_sample() const {
    int64_t bits = info_get_int("decoded_bitspersample");
    if (bits >= 1 && bits <= 256) return static_cast<uint32_t>(bits);
    bits = info_get_int("bitspersample");
    if (bits >= 1 && bits <= 256) return static_cast<uint32_t>(bits);
    return 0;
}

bool track_info::is_valid_field_name(const char* name, uint32_t name_length) {
    uint32_t n = bounded_length(name, name_length);
    if (n == 0) return false;
    for (uint32_t k = 0; k < n; ++k) {
        unsigned char c = static_cast<unsigned char>(name[k]);
        if (c < 0x20 || c > 0x7E || c == '%' || c == '<' || c == '=' || c == '>') return false;
    }
    return true;
}
