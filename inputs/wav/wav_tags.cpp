#include "inputs/wav/wav_tags.h"

#include <cstring>
#include <vector>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/memory_file.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/services/service_registry.h"
#include "foundation/kpl/codepage.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/wav/wav_chunks.h"
#include "metadata/tags/id3_streams.h"
#include "metadata/tags/id3_tag.h"
#include "metadata/tags/id3v2_mapping.h"
#include "metadata/tags/id3v2_tag_io.h"
#include "metadata/tags/leading_id3v2.h"

const wav_info_field wav_info_field_table[14] = {
    {"IPRD", "album"},   {"INAM", "title"},     {"IART", "artist"},   {"IWRI", "writer"},  {"IGNR", "genre"},
    {"ITRK", "tracknumber"}, {"ICMT", "comment"}, {"ICNT", "country"}, {"ICOP", "copyright"},
    {"IMED", "medium"},  {"IENG", "engineer"},  {"ISRC", "source"},   {"ILNG", "language"}, {"ICRD", "date"},
};

namespace {

using bytes = std::vector<uint8_t>;

// The extent of the RIFF chunk the tag code works within.
struct riff_extent {
    uint64_t end = 0;          // where the RIFF chunk's content ends
    uint32_t size_field = 0;   // the size the file states
    uint64_t file_size = 0;
    // A last chunk whose size runs past the end of the file, or a "data" chunk of size 0 that runs to it: its
    // header's position and the bytes it really has; its size is written when the file is changed, so that
    // chunks appended behind it are not read as its content.
    uint64_t open_chunk = 0;
    uint32_t open_chunk_size = 0;
};

struct chunk_header {
    char code[4];
    uint32_t size;
};

bool read_header(file_stream& file, uint64_t position, chunk_header& out, const abort_signal& abort) {
    uint8_t h[8];
    file.seek(position, abort);
    if (file.read(h, 8, abort) != 8) return false;
    std::memcpy(out.code, h, 4);
    out.size = wav_le32(h + 4);
    return true;
}

// Walks the chunks from offset 12 up to `limit`; answers where the walk ended (the end of the last chunk whose
// header lies below the limit, padded to even) and whether a "data" chunk was among them.
uint64_t walk_end(file_stream& file, uint64_t limit, bool& saw_data, const abort_signal& abort) {
    uint64_t pos = 12;
    chunk_header h;
    saw_data = false;
    while (pos + 8 <= limit && read_header(file, pos, h, abort)) {
        if (std::memcmp(h.code, "data", 4) == 0) saw_data = true;
        pos += 8 + uint64_t(h.size) + (h.size & 1);
    }
    return pos;
}

// Checks "RIFF" .. "WAVE" and finds the end of the RIFF content. The size field is used when the chunks end
// exactly there (or one pad byte later) and the "data" chunk lies inside; otherwise the end is that of the
// chunks found in the whole file.
riff_extent check_head(file_stream& file, const abort_signal& abort) {
    riff_extent r;
    r.file_size = file.get_size(abort);
    if (r.file_size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    uint8_t head[12];
    file.seek(0, abort);
    if (file.read(head, 12, abort) != 12) throw ketrel_io::exception_io_data();
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        throw ketrel_io::exception_io_data();
    }
    r.size_field = wav_le32(head + 4);
    const uint64_t declared = uint64_t(r.size_field) + 8;
    if (r.size_field != 0 && declared > r.file_size) throw ketrel_io::exception_io_data();
    if (r.size_field != 0) {
        bool saw_data;
        uint64_t pos = walk_end(file, declared, saw_data, abort);
        if (saw_data && (pos == declared || pos == declared + 1)) {
            r.end = declared;
            return r;
        }
    }
    uint64_t pos = 12;
    chunk_header h;
    while (pos + 8 <= r.file_size && read_header(file, pos, h, abort)) {
        uint64_t rest = r.file_size - pos - 8;
        bool open_data = h.size == 0 && std::memcmp(h.code, "data", 4) == 0;
        if (open_data || h.size > rest) {
            if (rest >= 0x100000000ull) throw ketrel_io::exception_io_data();
            r.open_chunk = pos;
            r.open_chunk_size = static_cast<uint32_t>(rest);
            pos = r.file_size;
            break;
        }
        pos += 8 + uint64_t(h.size) + (h.size & 1);
    }
    r.end = pos > r.file_size ? r.file_size : pos;
    return r;
}

// Refuses a RIFF whose content no longer fits the 32-bit size field.
void check_size_fits(const riff_extent& r) {
    if (r.end - 8 >= 0x100000000ull || r.end < 20) throw ketrel_io::exception_io_data();
}

void write_size(file_stream& file, riff_extent& r, const abort_signal& abort) {
    if (r.open_chunk && r.open_chunk + 8 <= r.end) {
        uint8_t b[4];
        uint64_t room = r.end - r.open_chunk - 8;
        wav_put_le32(b, room < r.open_chunk_size ? static_cast<uint32_t>(room) : r.open_chunk_size);
        file.seek(r.open_chunk + 4, abort);
        file.write(b, 4, abort);
        r.open_chunk = 0;
    }
    uint64_t size = r.end - 8;
    if (size >= 0x100000000ull || size < 12) throw ketrel_io::exception_io_data();
    if (size == r.size_field) return;
    uint8_t b[4];
    wav_put_le32(b, static_cast<uint32_t>(size));
    file.seek(4, abort);
    file.write(b, 4, abort);
    r.size_field = static_cast<uint32_t>(size);
}

void write_chunk_header(file_stream& file, uint64_t position, const char* code, uint64_t size,
                        const abort_signal& abort) {
    uint8_t h[8];
    std::memcpy(h, code, 4);
    wav_put_le32(h + 4, static_cast<uint32_t>(size));
    file.seek(position, abort);
    file.write(h, 8, abort);
}

bool is_info_list(file_stream& file, uint64_t position, const chunk_header& h, const abort_signal& abort) {
    if (std::memcmp(h.code, "LIST", 4) != 0 || h.size < 4) return false;
    char type[4];
    file.seek(position + 8, abort);
    if (file.read(type, 4, abort) != 4) return false;
    return std::memcmp(type, "INFO", 4) == 0;
}

// The payloads of the first "id3 " chunk and of the first LIST "INFO" chunk (after the type).
struct tag_payloads {
    bool have_id3 = false, have_info = false;
    bytes id3, info;
};

// Reads a chunk's payload, clipped to the RIFF content: a size field never sizes more than the file holds.
void read_payload(file_stream& file, const riff_extent& r, uint64_t position, uint64_t size, bytes& out,
                  const abort_signal& abort) {
    const uint64_t held = position < r.end ? r.end - position : 0;
    if (size > held) size = held;
    out.resize(static_cast<size_t>(size));
    try {
        file.seek(position, abort);
        if (size) file.read_exact(out.data(), out.size(), abort);
    } catch (const ketrel_io::exception_io_seek_out_of_range&) {
        throw ketrel_io::exception_io_data();
    }
}

tag_payloads find_payloads(file_stream& file, const riff_extent& r, const abort_signal& abort) {
    tag_payloads out;
    uint64_t pos = 12;
    chunk_header h;
    while (pos + 8 <= r.end && read_header(file, pos, h, abort)) {
        if (!out.have_id3 && std::memcmp(h.code, "id3 ", 4) == 0) {
            read_payload(file, r, pos + 8, h.size, out.id3, abort);
            out.have_id3 = true;
        } else if (!out.have_info && is_info_list(file, pos, h, abort)) {
            read_payload(file, r, pos + 12, h.size - 4, out.info, abort);
            out.have_info = true;
        }
        pos += 8 + uint64_t(h.size) + (h.size & 1);
    }
    return out;
}

const wav_info_field* info_field_of(const uint8_t* code) {
    for (const wav_info_field& f : wav_info_field_table) {
        if (std::memcmp(f.code, code, 4) == 0) return &f;
    }
    return nullptr;
}

void parse_info(const bytes& payload, track_info& info) {
    size_t pos = 0;
    while (pos + 8 <= payload.size()) {
        const uint8_t* h = payload.data() + pos;
        uint32_t size = wav_le32(h + 4);
        const wav_info_field* field = info_field_of(h);
        size_t left = payload.size() - pos - 8;
        if (field) {
            if (size == 0xFFFFFFFF || size > left) throw ketrel_io::exception_io_data();
            size_t n = 0;
            while (n < size && h[8 + n] != 0) ++n;
            std::string text(reinterpret_cast<const char*>(h + 8), n);
            kpl::utf8_string_tight value = kpl::ansi_to_utf8(text.c_str());
            info.meta_set(field->field, track_info::npos, value.c_str(), value.length());
        } else if (size > left) {
            break;
        }
        pos += 8 + size_t(size) + (size & 1);
    }
}

// Subchunks of an old INFO payload that carry no field of the table, with their pad bytes.
void append_unknown_subchunks(const bytes& payload, bytes& out) {
    size_t pos = 0;
    while (pos + 8 <= payload.size()) {
        const uint8_t* h = payload.data() + pos;
        uint32_t size = wav_le32(h + 4);
        if (size > payload.size() - pos - 8) break;
        if (!info_field_of(h)) {
            out.insert(out.end(), h, h + 8 + size);
            if (size & 1) out.push_back(0);
        }
        pos += 8 + size_t(size) + (size & 1);
    }
}

void build_info_payload(const track_info& info, const tag_payloads& old, bytes& out) {
    out.clear();
    append_unknown_subchunks(old.info, out);
    for (const wav_info_field& f : wav_info_field_table) {
        kpl::utf8_string_pow2 joined;
        if (!info.meta_get_joined(joined, f.field)) continue;
        kpl::array<char> text;
        kpl::utf8_to_codepage(text, joined.c_str(), joined.length(), 20127);
        size_t n = std::strlen(text.data());
        uint32_t size = static_cast<uint32_t>(n + 1);
        uint8_t h[8];
        std::memcpy(h, f.code, 4);
        wav_put_le32(h + 4, size);
        out.insert(out.end(), h, h + 8);
        out.insert(out.end(), text.data(), text.data() + n);
        out.push_back(0);
        if (size & 1) out.push_back(0);
    }
}

// The new "id3 " payload: an ID3v2.3 tag without padding built from the info over the old payload's tag,
// followed by whatever came after that tag. False when the tag has no frame.
bool build_id3_payload(const track_info& info, const tag_payloads& old, bytes& out, const abort_signal& abort) {
    file_stream_ref mem = memory_file::create();
    if (!old.id3.empty()) mem->write(old.id3.data(), old.id3.size(), abort);
    mem->seek(0, abort);
    id3parser::tag t;
    leading_id3v2_read(*mem, t, id3parser::frameFilter::everything(), abort);
    uint64_t old_size = t.oldSize;
    if (t.version != 3) {
        id3parser::convertForVersion(t, 3);
        t.version = 3;
    }
    id3v2_info_to_tag(info, t);
    if (t.frameCount() == 0) return false;
    id3parser::vectorWriter writer;
    id3parser::writeTag(writer, t, 0, 0);
    out = writer.bytes();
    if (old_size < old.id3.size()) out.insert(out.end(), old.id3.begin() + static_cast<long>(old_size), old.id3.end());
    return true;
}

// Cuts the file at `position`, which becomes the end of the RIFF content.
void cut_at(file_stream& file, riff_extent& r, uint64_t position, const abort_signal& abort) {
    if (position > r.file_size || position - 8 < 12 || position - 8 >= 0x100000000ull) {
        throw ketrel_io::exception_io_data();
    }
    file.resize(position, abort);
    r.file_size = position;
    r.end = position;
    write_size(file, r, abort);
}

void strip(file_stream& file, riff_extent& r, const abort_signal& abort) {
    uint64_t run_start = 12, pos = 12;
    bool in_run = false;
    chunk_header h;
    while (pos + 8 <= r.end && read_header(file, pos, h, abort)) {
        uint64_t chunk_end = pos + 8 + uint64_t(h.size) + (h.size & 1);
        if (chunk_end > r.end) chunk_end = r.end;
        bool removable = std::memcmp(h.code, "JUNK", 4) == 0 || std::memcmp(h.code, "id3 ", 4) == 0 ||
                         is_info_list(file, pos, h, abort);
        if (removable) {
            if (run_start % 2 || chunk_end % 2 || chunk_end < run_start + 8) throw ketrel_io::exception_io_data();
            write_chunk_header(file, run_start, "JUNK", chunk_end - run_start - 8, abort);
            in_run = true;
        } else {
            run_start = chunk_end;
            in_run = false;
        }
        pos = chunk_end;
    }
    if (in_run) {
        cut_at(file, r, run_start, abort);
    } else {
        write_size(file, r, abort);
    }
}

void place(file_stream& file, riff_extent& r, const char* code, const bytes& payload, const abort_signal& abort) {
    const uint64_t n = payload.size();
    const uint64_t t = 8 + n + (n & 1);
    uint64_t pos = 12, free_start = 12;
    bool in_junk = false;
    chunk_header h;
    auto write_at = [&](uint64_t at) {
        write_chunk_header(file, at, code, n, abort);
        if (n) file.write(payload.data(), static_cast<size_t>(n), abort);
        if (n & 1) file.write("", 1, abort);
    };
    while (pos + 8 <= r.end && read_header(file, pos, h, abort)) {
        uint64_t chunk_end = pos + 8 + uint64_t(h.size) + (h.size & 1);
        if (chunk_end > r.end) chunk_end = r.end;
        if (std::memcmp(h.code, "JUNK", 4) == 0) {
            if (!in_junk) free_start = pos;
            in_junk = true;
            uint64_t length = chunk_end - free_start;
            if (length == t) {
                write_at(free_start);
                write_size(file, r, abort);
                return;
            }
            if (length >= t + 8) {
                write_at(free_start);
                write_chunk_header(file, free_start + t, "JUNK", length - t - 8, abort);
                write_size(file, r, abort);
                return;
            }
        } else {
            in_junk = false;
        }
        pos = chunk_end;
    }
    if (in_junk) cut_at(file, r, free_start, abort);
    uint64_t start = r.end + (r.end & 1);
    uint64_t new_end = start + t;
    if (new_end - 8 >= 0x100000000ull) throw ketrel_io::exception_io_data();
    file.resize(r.end, abort);
    if (start != r.end) {
        file.seek(r.end, abort);
        file.write("", 1, abort);
    }
    write_at(start);
    r.end = new_end;
    r.file_size = new_end;
    write_size(file, r, abort);
}

}  // namespace

void wav_tags_read(file_stream& file, track_info& info, const abort_signal& abort) {
    riff_extent r = check_head(file, abort);
    tag_payloads found = find_payloads(file, r, abort);
    if (found.have_id3) {
        file_stream_ref mem = memory_file::create();
        if (!found.id3.empty()) mem->write(found.id3.data(), found.id3.size(), abort);
        mem->seek(0, abort);
        service_ptr<id3v2_tag_io> io;
        service_class::get_single(io);
        io->read(*mem, info, abort);
        int32_t i = info.info_find("tagtype");
        if (i >= 0) {
            info.info_remove_mask(kpl::bit_mask_one(static_cast<uint32_t>(i)));
        }
    } else if (found.have_info) {
        parse_info(found.info, info);
    }
}

void wav_tags_strip(file_stream& file, const abort_signal& abort) {
    riff_extent r = check_head(file, abort);
    check_size_fits(r);
    strip(file, r, abort);
}

void wav_tags_write(file_stream& file, const track_info& info, const abort_signal& abort) {
    riff_extent r = check_head(file, abort);
    check_size_fits(r);
    tag_payloads old = find_payloads(file, r, abort);
    // Everything new is built before the file changes.
    bytes info_payload, id3_payload;
    build_info_payload(info, old, info_payload);
    bool have_id3 = build_id3_payload(info, old, id3_payload, abort);
    strip(file, r, abort);
    if (!info_payload.empty()) {
        bytes list(info_payload.size() + 4);
        std::memcpy(list.data(), "INFO", 4);
        std::memcpy(list.data() + 4, info_payload.data(), info_payload.size());
        place(file, r, "LIST", list, abort);
    }
    if (have_id3) place(file, r, "id3 ", id3_payload, abort);
}
