#include "inputs/wav/wav_chunks.h"

#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"

const kpl::guid wav_guid_riff = kpl::guid_from_text("{66666972-912E-11CF-A5D6-28DB04C10000}");
const kpl::guid wav_guid_wave = kpl::guid_from_text("{65766177-ACF3-11D3-8CD1-00C04F8EDB8A}");
const kpl::guid wav_guid_fmt = kpl::guid_from_text("{20746D66-ACF3-11D3-8CD1-00C04F8EDB8A}");
const kpl::guid wav_guid_data = kpl::guid_from_text("{61746164-ACF3-11D3-8CD1-00C04F8EDB8A}");
const kpl::guid wav_guid_ds64 = kpl::guid_from_text("{A4C36709-02FB-4525-8E68-A9BBC8C40816}");
const kpl::guid wav_guid_junk = kpl::guid_from_text("{6B6E756A-ACF3-11D3-8CD1-00C04F8EDB8A}");
const kpl::guid wav_subformat_pcm = kpl::guid_from_text("{00000001-0000-0010-8000-00AA00389B71}");
const kpl::guid wav_subformat_float = kpl::guid_from_text("{00000003-0000-0010-8000-00AA00389B71}");

namespace {

struct code_entry {
    char code[5];
    const kpl::guid* id;
};

const code_entry g_codes[] = {
    {"RIFF", &wav_guid_riff}, {"WAVE", &wav_guid_wave}, {"fmt ", &wav_guid_fmt},
    {"data", &wav_guid_data}, {"ds64", &wav_guid_ds64}, {"JUNK", &wav_guid_junk},
};

constexpr uint32_t max_format_record = 0x100000;

// Reads one chunk header; exception_io_data for a header cut off by the end of the file or a Wave64 size
// below its own header.
void read_chunk_header(file_stream& file, wav_container_kind kind, kpl::guid& id, uint64_t& size,
                       const abort_signal& abort) {
    if (kind == wav_container_wave64) {
        uint8_t head[24];
        file.read_exact(head, 24, abort);
        std::memcpy(&id, head, 16);
        size = wav_le64(head + 16);
        if (size < 24) throw ketrel_io::exception_io_data();
        size -= 24;
    } else {
        uint8_t head[8];
        file.read_exact(head, 8, abort);
        id = wav_chunk_guid(reinterpret_cast<const char*>(head));
        size = wav_le32(head + 4);
    }
}

void read_format(file_stream& file, uint64_t size, kpl::array<uint8_t>& out, const abort_signal& abort) {
    if (size == 16) {
        out.resize_exact(18);
        file.read_exact(out.data(), 16, abort);
        out[16] = 0;
        out[17] = 0;
    } else {
        if (size < 18 || size > max_format_record) throw ketrel_io::exception_io_data();
        out.resize_exact(static_cast<uint32_t>(size));
        file.read_exact(out.data(), static_cast<size_t>(size), abort);
    }
    uint16_t extra = wav_le16(out.data() + 16);
    uint32_t room = out.count() - 18;
    if (extra > room) {
        out[16] = static_cast<uint8_t>(room);
        out[17] = static_cast<uint8_t>(room >> 8);
    }
    wav_format f(out);
    if (f.channels < 1 || f.channels > 256 || f.sample_rate < 1000 || f.sample_rate > 2822400 ||
        f.avg_bytes_per_second == 0 || f.block_align == 0) {
        throw ketrel_io::exception_io_data();
    }
}

}  // namespace

kpl::guid wav_chunk_guid(const char code[4]) {
    for (const code_entry& e : g_codes) {
        if (std::memcmp(e.code, code, 4) == 0) return *e.id;
    }
    return kpl::guid_null;
}

wav_format::wav_format(const kpl::array<uint8_t>& record) {
    record_size = record.count();
    if (record_size < 18) return;
    const uint8_t* p = record.data();
    tag = wav_le16(p);
    channels = wav_le16(p + 2);
    sample_rate = wav_le32(p + 4);
    avg_bytes_per_second = wav_le32(p + 8);
    block_align = wav_le16(p + 12);
    bits_per_sample = wav_le16(p + 14);
    extra_size = wav_le16(p + 16);
    if (record_size >= 40) {
        valid_bits = wav_le16(p + 18);
        channel_mask = wav_le32(p + 20);
        std::memcpy(&subformat, p + 24, 16);
    }
}

void wav_walk_chunks(file_stream& file, wav_layout& out, const abort_signal& abort) {
    if (!file.can_seek()) throw ketrel_io::exception_io_object_not_seekable();
    uint64_t file_size = file.get_size(abort);
    if (file_size == file_size_unknown) throw ketrel_io::exception_io_no_length();

    file.seek(0, abort);
    uint8_t magic[16];
    file.read_exact(magic, 4, abort);
    wav_container_kind kind;
    if (std::memcmp(magic, "RIFF", 4) == 0) {
        kind = wav_container_riff;
    } else if (std::memcmp(magic, "riff", 4) == 0) {
        file.read_exact(magic + 4, 12, abort);
        if (std::memcmp(magic, &wav_guid_riff, 16) != 0) throw ketrel_io::exception_io_data();
        kind = wav_container_wave64;
    } else if (std::memcmp(magic, "RF64", 4) == 0) {
        kind = wav_container_rf64;
    } else {
        throw ketrel_io::exception_io_data();
    }

    uint64_t end;
    kpl::guid form;
    if (kind == wav_container_wave64) {
        uint8_t size[8];
        file.read_exact(size, 8, abort);
        end = wav_le64(size);
        if (end < 24) throw ketrel_io::exception_io_data();
        file.read_exact(&form, 16, abort);
    } else {
        uint8_t rest[8];
        file.read_exact(rest, 8, abort);
        uint32_t size = wav_le32(rest);
        end = size != 0 ? uint64_t(size) + 8 : file_size;
        form = wav_chunk_guid(reinterpret_cast<const char*>(rest + 4));
    }
    if (end > file_size) end = file_size;
    if (form != wav_guid_wave) throw ketrel_io::exception_io_data();

    const uint64_t align = kind == wav_container_wave64 ? 8 : 2;
    bool ds64_read = kind != wav_container_rf64;
    uint64_t ds64_data_size = 0;
    bool have_format = false, have_data = false;
    kpl::array<uint8_t> format;

    uint64_t position = file.get_position(abort);
    while (position < end) {
        kpl::guid id;
        uint64_t size;
        try {
            read_chunk_header(file, kind, id, size, abort);
        } catch (const ketrel_io::exception_io_data&) {
            break;
        }
        const uint64_t p = file.get_position(abort);
        if (p > end || size > end - p) size = p > end ? 0 : end - p;
        if (id == wav_guid_data && size == 0 && p <= end) size = end - p;

        if (!ds64_read) {
            if (id != wav_guid_ds64 || size < 16) throw ketrel_io::exception_io_data();
            uint8_t ds[16];
            file.read_exact(ds, 16, abort);
            uint64_t riff_size = wav_le64(ds);
            ds64_data_size = wav_le64(ds + 8);
            if (riff_size > ~uint64_t(0) - 8) throw ketrel_io::exception_io_data();
            end = riff_size + 8;
            if (p + size > end) throw ketrel_io::exception_io_data();
            if (end > file_size) end = file_size;
            if (ds64_data_size == ~uint64_t(0)) throw ketrel_io::exception_io_data();
            ds64_read = true;
        } else if (id == wav_guid_fmt) {
            read_format(file, size, format, abort);
            have_format = true;
        } else if (id == wav_guid_data) {
            out.data_start = p;
            // The ds64 size is as untrusted as any other: no more than the file holds.
            const uint64_t held = file_size - p;
            out.data_size = kind == wav_container_rf64 ? (ds64_data_size < held ? ds64_data_size : held) : size;
            have_data = true;
        }

        uint64_t next = p + size;
        if (next % align) next += align - next % align;
        if (next > file_size) break;
        file.seek(next, abort);
        position = next;
    }
    if (!have_format || !have_data) throw ketrel_io::exception_io_data();
    out.kind = kind;
    out.format = format;
}
