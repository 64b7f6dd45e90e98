#pragma once
// browse_fields: the digest of a track's info that its handle caches and lists are drawn from: the length
// in seconds and eight display texts. A text holding several values has them joined by "; ".
//
//     index  0 Title  1 Artist  2 Album Artist  3 Genre  4 Album  5 TrackNumber  6 DiscNumber  7 Date
//
//     browse_fields_builder b;
//     b.fill_from_info(info);      // info: album "Greatest Hits Disc 2", artist {"A", "B"}
//     b.get(browse_album);         // "Greatest Hits"
//     b.get(browse_disc_number);   // "2"
//     b.get(browse_artist);        // "A; B"
//     browse_fields_packed p;
//     p.copy_from(b);  p.length = b.length;   // the eight texts in one allocation
//
// Stream form (write / read), integers little-endian:
//     length    4 bytes   seconds, 32-bit IEEE float
//     n         4 bytes   byte count of the text block, at least 8
//     texts     n bytes   the eight texts in index order, each followed by one zero byte, nothing after
// An empty record is n = 8 and eight zero bytes. A size below 8, fewer than eight texts, a text running
// past n or bytes after the eighth text give ketrel_io::exception_io_data.

#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"

class abort_signal;
class byte_sink;
class byte_source;
class track_info;

enum browse_field_id : uint32_t {
    browse_title = 0,
    browse_artist = 1,
    browse_album_artist = 2,
    browse_genre = 3,
    browse_album = 4,
    browse_track_number = 5,
    browse_disc_number = 6,
    browse_date = 7,
};
constexpr uint32_t browse_field_count = 8;

// The field name of an index ("Title" ... "Date").
const char* browse_field_name(uint32_t index);
// The index of a field name (any ASCII letter case; the name ends at `length` bytes or its first zero
// byte), or -1.     browse_field_index("album artist", 12) == 2
int32_t browse_field_index(const char* name, uint32_t length);

class browse_fields {
public:
    static constexpr uint32_t npos = 0xFFFFFFFF;

    // 1. The text of a field; "" when empty.
    virtual const char* get(uint32_t index) const = 0;
    // 2. Replaces a text (up to `length` bytes or its first zero byte).
    virtual void set(uint32_t index, const char* text, uint32_t length = npos) = 0;
    // 3. Appends "; " and the text when the field is not empty, else sets it.
    virtual void add(uint32_t index, const char* text, uint32_t length = npos) = 0;
    // 4. All eight texts become "".
    virtual void clear() = 0;
    // 5. The length and the eight texts from an info; see browse_fields_builder::fill_from_info.
    virtual void fill_from_info(const track_info& info) = 0;
    // 6. The stream form.
    virtual void write(byte_sink& sink, const abort_signal& abort) const;
    // 7. Reads the stream form (length included).
    virtual void read(byte_source& source, const abort_signal& abort) = 0;
    // 8. The eight texts of another record; the length is left alone.
    virtual void copy_from(const browse_fields& other) = 0;

    virtual ~browse_fields() = default;

    // Steps over one record in stream form (its size is checked as read checks it).
    static void skip(byte_source& source, const abort_signal& abort);

    // Seconds; 0 when unknown.
    float length = 0;

protected:
    browse_fields() = default;
    browse_fields(const browse_fields&) = default;
    browse_fields& operator=(const browse_fields&) = default;
};

// Eight separate strings; every operation works. Used to build a record.
class browse_fields_builder final : public browse_fields {
public:
    browse_fields_builder() = default;

    const char* get(uint32_t index) const override { return m_texts[index].c_str(); }
    void set(uint32_t index, const char* text, uint32_t length = npos) override;
    void add(uint32_t index, const char* text, uint32_t length = npos) override;
    void clear() override;
    // length = the info's length as a 32-bit float. An album ending in a disc number (" Disc 2", " CD2",
    // " (Disc 2)", " (CD 02)", any letter case, with at least one character in front) is split: Album = the
    // text in front without trailing spaces, DiscNumber = the number without leading zeros; the track's own
    // disc number is then not used. Every other text = the values of the first meta field of that name
    // joined by "; ".
    void fill_from_info(const track_info& info) override;
    void read(byte_source& source, const abort_signal& abort) override;
    void copy_from(const browse_fields& other) override;

private:
    kpl::utf8_string_pow2 m_texts[browse_field_count];
};

// The eight texts back to back in one block, each with its zero byte, and the offset of each in the block
// (a constant "" stands for all of them while the block is empty). Every track handle holds one, so it is
// kept small: offsets rather than pointers. set and add are programming errors that stop the process.
class browse_fields_packed final : public browse_fields {
public:
    browse_fields_packed();
    browse_fields_packed(const browse_fields_packed& other);
    browse_fields_packed& operator=(const browse_fields_packed& other);

    const char* get(uint32_t index) const override {
        if (!m_block.count()) return "";
        if (index == 0) return m_block.data();
        const uint16_t offset = m_offsets[index - 1];
        return offset != far_text ? m_block.data() + offset : find_text(index);
    }
    void set(uint32_t, const char*, uint32_t = npos) override;
    void add(uint32_t, const char*, uint32_t = npos) override;
    // Frees the block.
    void clear() override;
    // Builds the record with a browse_fields_builder and copies it in.
    void fill_from_info(const track_info& info) override;
    // On any failure the record is left empty (block freed, all texts "", length 0) and the exception
    // passes on.
    void read(byte_source& source, const abort_signal& abort) override;
    void copy_from(const browse_fields& other) override;

    // Exchanges two records (texts and length) without copying.
    void swap(browse_fields_packed& other) noexcept;

private:
    // The offset held for a text that starts too far into the block for 16 bits (found by walking then).
    static constexpr uint16_t far_text = 0xFFFF;

    // Finds the texts in the block (which holds eight zero-terminated texts); all 0 without one.
    void point_texts();
    // Walks the block to text `index`.
    const char* find_text(uint32_t index) const;

    kpl::array<char> m_block;
    uint16_t m_offsets[browse_field_count - 1];  // of texts 1 to 7; text 0 starts the block
};
