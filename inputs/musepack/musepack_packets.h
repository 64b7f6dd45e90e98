#pragma once
// sv8_packet_walker: the one walk over the packets of a version-8 Musepack stream that every writer uses.
//
// A packet is a 2-letter key, a size field (1 to 4 bytes of 7 bits, most significant first, bit 7 on all
// but the last) counting the whole packet, and the payload. The walk starts behind the stream magic
// "MPCK" and ends after the "SE" (stream end) packet, at the end of the file, or when the callbacks say so.
//
//     struct find_rg final : sv8_walk_callbacks {
//         bool decide(const sv8_packet& p, sv8_packet_walker& w, const abort_signal& a) override {
//             if (p.is("RG")) { w.overwrite(p, new_bytes, a); done = true; }
//             return false;                     // keep every packet
//         }
//         bool more() override { return !done; }
//         bool done = false;
//     };
//     sv8_packet_walker(*file, start, nullptr).walk(cb, abort);     // in place: nothing copied
//
//     sv8_packet_walker walker(*file, start, out.get());            // a copy into `out`: the file before the
//     walker.walk(cb, abort);                                        // packets, the packets decide keeps, the
//                                                                    // ones the callbacks add, the rest
//
// With an output the file itself is not changed; the caller puts the copy in its place (safe_rewrite).
// A size field of more than 4 bytes, a size smaller than its key and field, or a packet that runs past the
// end of the file is ketrel_io::exception_io_data.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/tasks/abort_signal.h"

// A number of a version-8 stream: 7 bits per byte, most significant group first, bit 7 on all but the last; a
// packet's size field is one, and so are the numbers at the start of some payloads. More than `max_bytes` bytes
// is ketrel_io::exception_io_data. `bytes`, when given, receives how many bytes it took.
//     {0x82, 0x2C} -> 300, bytes 2
uint64_t sv8_read_number(file_stream& file, uint32_t max_bytes, const abort_signal& abort, uint32_t* bytes = nullptr);

struct sv8_packet {
    char key[2] = {0, 0};
    uint64_t position = 0;     // of the key
    uint64_t size = 0;         // the whole packet
    uint32_t size_bytes = 0;   // of the size field

    bool is(const char* k) const { return key[0] == k[0] && key[1] == k[1]; }
    uint64_t payload_position() const { return position + 2 + size_bytes; }
    uint64_t payload_size() const { return size - 2 - size_bytes; }
    uint64_t end() const { return position + size; }
};

class sv8_packet_walker;

class sv8_walk_callbacks {
public:
    // Before each packet is decided (new packets written here go in front of it).
    virtual void before(const sv8_packet& packet, sv8_packet_walker& walker, const abort_signal& abort) {
        (void)packet, (void)walker, (void)abort;
    }
    // True drops the packet from the copy (a replacement is written through the walker).
    virtual bool decide(const sv8_packet& packet, sv8_packet_walker& walker, const abort_signal& abort) = 0;
    virtual void after(const sv8_packet& packet) { (void)packet; }
    // After the last packet walked.
    virtual void finish(sv8_packet_walker& walker, const abort_signal& abort) { (void)walker, (void)abort; }
    // The walk goes on while true.
    virtual bool more() { return true; }

protected:
    ~sv8_walk_callbacks() = default;
};

class sv8_packet_walker {
public:
    // `stream_start`: where "MPCK" is. `out`: the copy, or null for a walk in place.
    sv8_packet_walker(file_stream& file, uint64_t stream_start, file_stream* out);

    // Walks the packets; true when it ended at an "SE" packet.
    bool walk(sv8_walk_callbacks& callbacks, const abort_signal& abort);

    // A new packet (key, the fewest size bytes, payload) into the copy.
    void write_packet(const char key[2], const uint8_t* payload, uint32_t size, const abort_signal& abort);
    // Writes `bytes` over the packet in the file itself; they must be exactly the packet's size.
    void overwrite(const sv8_packet& packet, const kpl::array<uint8_t>& bytes, const abort_signal& abort);

    file_stream& file() { return m_file; }

private:
    bool read_head(sv8_packet& out, const abort_signal& abort);
    void copy(uint64_t from, uint64_t to, const abort_signal& abort);

    file_stream& m_file;
    uint64_t m_start;
    file_stream* m_out;
    uint64_t m_size = 0;
};

// True when the decoding library would go wrong on a version-8 stream, which the input then refuses:
// - its seek table ("ST", in the header or where the header's "SO" packet points) declares no entries: the
//   library indexes such a table at -1 when it seeks;
// - a chapter ("CT") packet the library reads is too short for its own fields (the chapter's first sample,
//   a number, then 16-bit gain and peak): the library takes what follows them as the chapter's tag and
//   copies a negative length of it.
// The library reads chapters from the run of "CT" packets right behind the seek table an "SO" packet of the
// header (before the first "AP") points to; without such a table it walks the whole stream, and so does this,
// looking at every "CT" packet up to "SE". One walk of the header serves both checks; a file with a
// pointed-at table is not read past the table's chapters. What cannot be read is left to the library
// (false, unless an empty table was found before).
//     sv8_stream_refused(*file, position_of_MPCK, abort)
bool sv8_stream_refused(file_stream& file, uint64_t stream_start, const abort_signal& abort);
