#pragma once
// track_info: the metadata of one track.
//
// It holds the length in seconds (0 = unknown), the ReplayGain record, the meta fields (the tags a user
// sees: a name with an ordered list of values, "artist" = {"A", "B"}) and the technical info fields (a
// name with exactly one value describing the stream, "codec" = "FLAC").
//
//     track_info_store info;
//     info.meta_add("artist", track_info::npos, "A", track_info::npos);
//     info.meta_add_value("B", 0);                       // artist = {A, B}
//     info.meta_find("ARTIST") == 0;                     // names ignore ASCII letter case
//     info.meta_set("Artist", track_info::npos, "C", track_info::npos);   // replaced, moved to the end
//     info.info_set("codec", track_info::npos, "FLAC", track_info::npos);
//     track_info_packed snapshot;
//     snapshot.copy(info);                               // read-only copy in one allocation
//
// Conventions of every operation:
// - Text is UTF-8, passed as a pointer and a byte length; the text ends at the length or at its first
//   zero byte, whichever comes first; the length npos means "up to the terminating zero".
// - Returned texts are zero-terminated, owned by the info and valid until it next changes; an empty
//   stored text reads as "".
// - Field names compare without regard to ASCII letter case: A-Z fold to a-z, then bytes compare as
//   signed values. Bytes of multi-byte characters must match exactly ("É" does not find "é").
// - Fields are ordered by insertion; names need not be unique; lookups give the first match.
// - Indexes are not checked: i < field count, j < value count of field i.
//
// A track_info is a plain object owned by whoever declares it; it is not reference counted. One thread
// uses it at a time. Allocation failure throws std::bad_alloc ("bad allocation").

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/string.h"
#include "metadata/replaygain.h"

class track_info {
public:
    static constexpr uint32_t npos = 0xFFFFFFFF;

    // 1-4: length and ReplayGain.
    virtual double get_length() const = 0;
    virtual void set_length(double seconds) = 0;
    virtual void set_replaygain(const replaygain_values& values) = 0;
    virtual replaygain_values get_replaygain() const = 0;

    // 5-8: reading meta fields.
    virtual uint32_t meta_count() const = 0;
    virtual const char* meta_name(uint32_t i) const = 0;
    virtual uint32_t meta_value_count(uint32_t i) const = 0;
    virtual const char* meta_value(uint32_t i, uint32_t j) const = 0;

    // 9. Index of the first meta field with the name, or -1.
    virtual int32_t meta_find(const char* name, uint32_t name_length = npos) const;
    // 10. Removes the first field with the name (if any), then appends a field with this one value;
    //     returns its index. A replaced field therefore moves to the end.
    virtual uint32_t meta_set(const char* name, uint32_t name_length, const char* value, uint32_t value_length) = 0;
    // 11. Inserts a value into field i before `position`; a position past the value count appends.
    virtual void meta_insert_value(uint32_t i, uint32_t position, const char* value, uint32_t value_length) = 0;
    // 12. Removes every field the mask selects, keeping the order of the rest; returns the new count.
    virtual uint32_t meta_remove_mask(const kpl::bit_mask& mask) = 0;
    // 13. Field k afterwards is the field that stood at order[k] (order is a permutation of the indexes).
    virtual void meta_reorder(const size_t* order) = 0;
    // 14. Removes the selected values of field i, keeping the order of the rest; a field left without
    //     values is removed, so the fields after it move down by one index.
    virtual void meta_remove_values(uint32_t i, const kpl::bit_mask& mask) = 0;
    // 15. Replaces value j of field i.
    virtual void meta_modify_value(uint32_t i, uint32_t j, const char* value, uint32_t value_length) = 0;

    // 16-18: reading info fields.
    virtual uint32_t info_count() const = 0;
    virtual const char* info_name(uint32_t i) const = 0;
    virtual const char* info_value(uint32_t i) const = 0;
    // 19. Removes the first info field with the name (if any), then appends the pair; returns its index.
    virtual uint32_t info_set(const char* name, uint32_t name_length, const char* value, uint32_t value_length) = 0;
    // 20. Removes the selected info fields, keeping the order of the rest; returns the new count.
    virtual uint32_t info_remove_mask(const kpl::bit_mask& mask) = 0;
    // 21. Index of the first info field with the name, or -1.
    virtual int32_t info_find(const char* name, uint32_t name_length = npos) const;

    // 22. copy_meta, copy_info, the length and the ReplayGain record; copying an info onto itself does
    //     nothing.
    virtual void copy(const track_info& other);
    // 23. All meta fields become copies of the other's, in its order.
    virtual void copy_meta(const track_info& other);
    // 24. All info fields become copies of the other's, in its order.
    virtual void copy_info(const track_info& other);
    // 25. Appends a field with one value without looking for an existing one; returns its index.
    virtual uint32_t meta_add(const char* name, uint32_t name_length, const char* value, uint32_t value_length) = 0;
    // 26. Appends an info pair without looking; returns its index.
    virtual uint32_t info_add(const char* name, uint32_t name_length, const char* value, uint32_t value_length) = 0;

    virtual ~track_info() = default;

    // Helpers over the operations above.

    // The first value of the first field with the name; null when there is none or it has no values.
    const char* meta_get_first(const char* name, uint32_t name_length = npos) const;
    // Appends a value at the end of field i.
    void meta_add_value(const char* value, uint32_t i, uint32_t value_length = npos);
    // Appends a copy of the source's field i (all its values); returns the new index.
    uint32_t copy_meta_field(const track_info& source, uint32_t i);
    // Appends a copy of the source's info pair i; returns the new index.
    uint32_t copy_info_field(const track_info& source, uint32_t i);
    // The sum of all fields' value counts.
    uint32_t meta_total_value_count() const;
    // `out` = the values of field i joined by the separator.
    void meta_join_values(kpl::utf8_string& out, uint32_t i, const char* separator) const;
    // `out` = the values of the first field with the name joined by ", "; false (and "") without one.
    bool meta_get_joined(kpl::utf8_string& out, const char* name) const;
    void meta_remove_all();
    void info_remove_all();
    // No fields, length 0, ReplayGain all absent.
    void reset();
    // The value of the first info field with the name, or null.
    const char* info_get_by_name(const char* name, uint32_t name_length = npos) const;
    // That value read as a signed decimal number (leading blanks and a sign accepted, reading stops at the
    // first other character); 0 when the field is absent or holds no number.   " -12kbps" -> -12
    int64_t info_get_int(const char* name) const;
    // info_set with the decimal text of the value.
    void info_set_int(const char* name, int64_t value);
    // "bitrate" in kbit/s.
    void set_bitrate(int64_t kbps);
    // "bitrate" = floor(bytes * 8 / (seconds * 1000) + 0.5). A duration that is not positive sets nothing.
    void set_bitrate_from_size(uint64_t bytes, double seconds);
    // Where a cue track lies in its file (metadata/cue/cue_index_points.cpp), from 100 index times in seconds
    // ([0] INDEX 00, [1] INDEX 01, [n] INDEX n), as cue times (cue_time_text): "referenced_offset" = [1] when
    // above 0; "pregap" = [1] - [0] when above 0, else removed; "index 00" and "index 01" removed; "index NN"
    // (NN = 02..99) = [NN] - [1] when above 0, else removed.
    //     {1.0, 3.0, 5.0, 0...} -> referenced_offset "00:03:00", pregap "00:02:00", index 02 "00:02:00"
    void set_cue_index_points(const double* points);
    // "decoded_bitspersample" when it lies in 1..256, else "bitspersample" when that does, else 0.
    uint32_t effective_bits_per_sample() const;

    // ReplayGain helpers (metadata/replaygain.cpp).
    // The record becomes all absent.
    void replaygain_reset();
    // replaygain_parse_field on this info's record; true when the name was a ReplayGain field.
    bool replaygain_try_set_field(const char* name, const char* value, uint32_t value_length = npos);
    // replaygain_try_set_field, else info_set of the pair.
    void set_info_or_replaygain(const char* name, const char* value, uint32_t value_length = npos);

    // Tag merging (metadata/tag_merge.cpp), for a file that carries two tags.
    // Meta fields become copies of the source's; ReplayGain = merge(mine, source's); "tagtype" is taken
    // from the source when it has one.
    void copy_tags_from(const track_info& source);
    // Meta fields stay; ReplayGain as above; "tagtype" becomes mine + "|" + the source's when both have
    // one, the source's when only it has one.     "id3v2.3" + "apev2" -> "id3v2.3|apev2"
    void merge_tags_from(const track_info& source);

    // A valid field name is non-empty and made only of bytes 0x20-0x7E other than '%', '<', '=' and '>'.
    // The containers do not enforce it; writers skip names that fail it.
    static bool is_valid_field_name(const char* name, uint32_t name_length = npos);

protected:
    track_info() = default;
    track_info(const track_info&) = default;
    track_info& operator=(const track_info&) = default;
};

// Field-name comparison of all infos: 0 when equal without regard to ASCII letter case, else -1 or 1
// with bytes compared as signed values after folding A-Z.
int track_info_compare_names(const char* a, uint32_t a_length, const char* b, uint32_t b_length);

// The editable container. The first 10 meta fields and the first value of every field live inside the
// object; further ones go to growable arrays.
class track_info_store final : public track_info {
public:
    track_info_store() = default;
    track_info_store(const track_info_store& other) : track_info() { copy(other); }
    explicit track_info_store(const track_info& other) { copy(other); }
    track_info_store& operator=(const track_info_store& other) {
        copy(other);
        return *this;
    }
    ~track_info_store() override;

    double get_length() const override { return m_length; }
    void set_length(double seconds) override { m_length = seconds; }
    void set_replaygain(const replaygain_values& values) override { m_replaygain = values; }
    replaygain_values get_replaygain() const override { return m_replaygain; }

    uint32_t meta_count() const override { return m_inline_count + m_overflow.count(); }
    const char* meta_name(uint32_t i) const override { return entry(i).name.c_str(); }
    uint32_t meta_value_count(uint32_t i) const override { return entry(i).value_count(); }
    const char* meta_value(uint32_t i, uint32_t j) const override { return entry(i).value(j).c_str(); }
    uint32_t meta_set(const char* name, uint32_t name_length, const char* value, uint32_t value_length) override;
    void meta_insert_value(uint32_t i, uint32_t position, const char* value, uint32_t value_length) override;
    uint32_t meta_remove_mask(const kpl::bit_mask& mask) override;
    void meta_reorder(const size_t* order) override;
    void meta_remove_values(uint32_t i, const kpl::bit_mask& mask) override;
    void meta_modify_value(uint32_t i, uint32_t j, const char* value, uint32_t value_length) override;

    uint32_t info_count() const override { return m_info.count(); }
    const char* info_name(uint32_t i) const override { return m_info[i].name.c_str(); }
    const char* info_value(uint32_t i) const override { return m_info[i].value.c_str(); }
    uint32_t info_set(const char* name, uint32_t name_length, const char* value, uint32_t value_length) override;
    uint32_t info_remove_mask(const kpl::bit_mask& mask) override;

    void copy_meta(const track_info& other) override;
    void copy_info(const track_info& other) override;
    uint32_t meta_add(const char* name, uint32_t name_length, const char* value, uint32_t value_length) override;
    uint32_t info_add(const char* name, uint32_t name_length, const char* value, uint32_t value_length) override;

    using track_info::copy;

    // How many meta fields live inside the object (the rest are in the overflow array).
    static constexpr uint32_t inline_meta_capacity = 10;
    // Where field i is kept (for tests of the storage layout): true when inside the object.
    bool meta_is_inline(uint32_t i) const { return i < m_inline_count; }

private:
    // An owned text: the bytes and a terminator; no storage for "".
    class text {
    public:
        const char* c_str() const { return m_bytes.count() ? m_bytes.data() : ""; }
        uint32_t length() const { return m_bytes.count() ? m_bytes.count() - 1 : 0; }
        // Exactly n bytes of `source` (no zero byte among them). Keeps the old text on failure.
        void set(const char* source, uint32_t n);
        void clear() { m_bytes.clear(); }
        void swap(text& other) { m_bytes.swap(other.m_bytes); }

    private:
        kpl::array<char> m_bytes;
    };

    struct meta_entry {
        text name;
        text first;               // value 0
        uint32_t inline_values = 0;  // 0 or 1
        kpl::array<text> more;    // values 1..n-1

        uint32_t value_count() const { return inline_values + more.count(); }
        text& value(uint32_t j) { return j == 0 ? first : more[j - 1]; }
        const text& value(uint32_t j) const { return j == 0 ? first : more[j - 1]; }
        void clear();
        void swap(meta_entry& other);
    };

    struct info_entry {
        text name;
        text value;
        void swap(info_entry& other) {
            name.swap(other.name);
            value.swap(other.value);
        }
    };

    meta_entry& entry(uint32_t i) { return i < inline_meta_capacity ? m_inline[i] : m_overflow[i - inline_meta_capacity]; }
    const meta_entry& entry(uint32_t i) const {
        return i < inline_meta_capacity ? m_inline[i] : m_overflow[i - inline_meta_capacity];
    }
    // Appends a prepared entry (swapped in); returns its index.
    uint32_t append_entry(meta_entry& prepared);
    // Cuts the meta list to n fields (n <= count).
    void cut_meta(uint32_t n);
    // Sets the value count of field i to n (n <= count).
    static void cut_values(meta_entry& e, uint32_t n);

    meta_entry m_inline[inline_meta_capacity];
    uint32_t m_inline_count = 0;
    kpl::array<meta_entry> m_overflow;
    kpl::array<info_entry> m_info;
    double m_length = 0;
    replaygain_values m_replaygain;
};

// The read-only snapshot: everything in one allocation. Field names found byte for byte in the tables of
// common names ("artist", "Title", "codec", ...) are not copied. Beyond 20 meta fields a sorted index
// makes meta_find a binary search; with names occurring more than once, which of them it finds is then
// not fixed.
//
// It becomes meaningful through copy (which may be called again and rebuilds the whole block). Every
// operation that would change it is a programming error that stops the process (kpl::crash).
class track_info_packed final : public track_info {
public:
    track_info_packed() = default;
    explicit track_info_packed(const track_info& source) { copy_from(source); }
    track_info_packed(const track_info_packed& other) : track_info() { copy_from(other); }
    track_info_packed& operator=(const track_info_packed& other) {
        copy(other);
        return *this;
    }
    ~track_info_packed() override = default;

    double get_length() const override { return m_length; }
    replaygain_values get_replaygain() const override { return m_replaygain; }
    uint32_t meta_count() const override { return m_meta_count; }
    const char* meta_name(uint32_t i) const override { return m_meta[i].name; }
    uint32_t meta_value_count(uint32_t i) const override { return m_meta[i].count; }
    const char* meta_value(uint32_t i, uint32_t j) const override {
        return m_meta[i].count == 1 ? static_cast<const char*>(m_meta[i].values)
                                    : static_cast<const char* const*>(m_meta[i].values)[j];
    }
    int32_t meta_find(const char* name, uint32_t name_length = npos) const override;
    uint32_t info_count() const override { return m_info_count; }
    const char* info_name(uint32_t i) const override { return m_info[i].name; }
    const char* info_value(uint32_t i) const override { return m_info[i].value; }

    // Rebuilds the snapshot from the source (nothing when the source is this snapshot).
    void copy(const track_info& source) override;
    void copy_from(const track_info& source);

    // Every change stops the process.
    void set_length(double) override;
    void set_replaygain(const replaygain_values&) override;
    uint32_t meta_set(const char*, uint32_t, const char*, uint32_t) override;
    void meta_insert_value(uint32_t, uint32_t, const char*, uint32_t) override;
    uint32_t meta_remove_mask(const kpl::bit_mask&) override;
    void meta_reorder(const size_t*) override;
    void meta_remove_values(uint32_t, const kpl::bit_mask&) override;
    void meta_modify_value(uint32_t, uint32_t, const char*, uint32_t) override;
    uint32_t info_set(const char*, uint32_t, const char*, uint32_t) override;
    uint32_t info_remove_mask(const kpl::bit_mask&) override;
    void copy_meta(const track_info&) override;
    void copy_info(const track_info&) override;
    uint32_t meta_add(const char*, uint32_t, const char*, uint32_t) override;
    uint32_t info_add(const char*, uint32_t, const char*, uint32_t) override;

    // Whether meta_find searches through the sorted index (more than 20 meta fields).
    bool has_sorted_index() const { return m_index != nullptr; }
    // Whether a name is one of the constant table texts rather than a copy (for tests of the packing).
    static bool is_known_name_text(const char* name);
    // The size of the one block.
    uint32_t block_size() const { return m_block.count(); }

private:
    struct meta_entry {
        const char* name;
        uint32_t count;
        const void* values;  // the value itself when count == 1, else the list of value pointers
    };
    struct info_entry {
        const char* name;
        const char* value;
    };

    kpl::array<uint8_t> m_block;
    uint32_t m_meta_count = 0;
    uint32_t m_info_count = 0;
    const meta_entry* m_meta = nullptr;
    const info_entry* m_info = nullptr;
    const uint32_t* m_index = nullptr;
    double m_length = 0;
    replaygain_values m_replaygain;
};
