#pragma once
// ebml_reader: a cursor over an open file that also counts the bytes still allowed before the current limit
// (the end of the file, or of the element being read). Element walks narrow the limit to one child at a time,
// so a size that runs past its parent, and any unknown size, is ketrel_io::exception_io_data:
//
//     Matroska::ebml_reader r(file, abort);               // remaining = the file's size
//     uint32_t id = Matroska::ebml_read_id(r);            // 1A 45 DF A3 -> 0x0A45DFA3
//     uint64_t size = Matroska::ebml_read_size(r);        // FF -> all ones, refused by the next check
//     r.check(size);
//
// The walk of a master's children calls a handler once per child with the reader limited to that child; what
// the handler leaves unread is skipped:
//
//     auto h = Matroska::make_handler([&](uint32_t id, uint64_t size, Matroska::ebml_reader& r) {
//         if (id == Matroska::id::timecode_scale) scale = Matroska::read_unsigned(r);
//     });
//     Matroska::ebml_read_element(r, Matroska::id::info, h);
//
// Value readers work on a reader limited to one element's data: an unsigned of 0 or more than 8 bytes, a float
// of other than 4 or 8 bytes, an ASCII string with a byte outside 0x20..0x7E before its first zero (or a non-zero
// byte after it), a UTF-8 string that is not valid UTF-8: all ketrel_io::exception_io_data.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"

namespace Matroska {

// What a write replaced: the bytes that were at the position (those inside the file then).
struct ebml_undo_entry {
    uint64_t position;
    std::vector<uint8_t> bytes;
};

class ebml_reader {
public:
    // remaining starts at the file's size (unknown size: ketrel_io::exception_io_no_length).
    ebml_reader(file_stream_ref file, const abort_signal& abort);

    void read(void* buffer, uint64_t n);
    uint8_t read_byte();
    void skip(uint64_t n);
    // n above remaining: ketrel_io::exception_io_data.
    void check(uint64_t n) const;
    uint64_t position();
    bool at_end() const { return m_remaining == 0; }
    // p beyond the limit's end (position + remaining): ketrel_io::exception_io_data.
    void seek(uint64_t p);
    uint64_t size();
    // Moves to p and sets the limit's end to `end` (p above end: ketrel_io::exception_io_data).
    void reset(uint64_t p, uint64_t end);
    // Cuts (or extends) the file to p bytes; remaining becomes p - position.
    void truncate(uint64_t p);
    // Writes at the position; remaining drops by n, not below 0. With an undo log, the bytes it replaces are
    // read and logged first.
    void write(const void* data, size_t n);
    void set_undo_log(std::vector<ebml_undo_entry>* log) { m_undo = log; }

    uint64_t remaining() const { return m_remaining; }
    void set_remaining(uint64_t n) { m_remaining = n; }
    file_stream& file() { return *m_file; }
    const abort_signal& abort() const { return m_abort; }

private:
    file_stream_ref m_file;
    const abort_signal& m_abort;
    uint64_t m_remaining;
    uint64_t m_position;
    std::vector<ebml_undo_entry>* m_undo = nullptr;
};

// The callback interface of a master element. The walk sets child_start before each child() call and parsed
// once the walk is over.
class ebml_element_handler {
public:
    virtual ~ebml_element_handler() = default;
    virtual void begin(ebml_reader&) {}
    virtual void child(uint32_t id, uint64_t size, ebml_reader& reader) = 0;
    virtual void end() {}
    virtual bool want_more() { return true; }

    bool parsed = false;
    uint64_t child_start = 0;
};

// A handler whose child() is a callable (id, size, reader).
template <class F>
class lambda_handler final : public ebml_element_handler {
public:
    explicit lambda_handler(F f) : m_f(std::move(f)) {}
    void child(uint32_t id, uint64_t size, ebml_reader& reader) override { m_f(id, size, reader); }

private:
    F m_f;
};
template <class F>
lambda_handler<F> make_handler(F f) {
    return lambda_handler<F>(std::move(f));
}

uint32_t ebml_read_id(ebml_reader& reader);
// All ones for the one-byte unknown size 0xFF.
uint64_t ebml_read_size(ebml_reader& reader);
// An ID read from the given bytes, which it must use up (a SeekID's content); false when it does not.
bool ebml_parse_id(const uint8_t* data, size_t n, uint32_t& id);

void ebml_walk_children(ebml_reader& reader, ebml_element_handler& handler);
// Reads the element at the position, which must carry `expected`, and walks its children.
void ebml_read_element(ebml_reader& reader, uint32_t expected, ebml_element_handler& handler);
// Walks a master into a handler that has not been used before; a second one is ketrel_io::exception_io_data.
void ebml_parse_once(ebml_element_handler& handler, ebml_reader& reader);

uint64_t read_unsigned(ebml_reader& reader);
uint32_t read_unsigned32(ebml_reader& reader);
uint64_t read_unsigned_nonzero(ebml_reader& reader);
bool read_boolean(ebml_reader& reader);
double read_float(ebml_reader& reader);
std::string read_ascii_string(ebml_reader& reader);
std::string read_utf8_string(ebml_reader& reader);
std::vector<uint8_t> read_binary(ebml_reader& reader);

}  // namespace Matroska
