#include "compressed_inputs/wma/asf_header.h"

#include <cstring>
#include <map>

#include "foundation/fs/file_helpers.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/safe_rewrite.h"

namespace {

// GUIDs in their on-disk byte order.
struct disk_guid {
    uint8_t b[16];
};

constexpr disk_guid make_guid(uint32_t d1, uint16_t d2, uint16_t d3, uint8_t a, uint8_t b, uint8_t c, uint8_t d,
                              uint8_t e, uint8_t f, uint8_t g, uint8_t h) {
    return disk_guid{{uint8_t(d1), uint8_t(d1 >> 8), uint8_t(d1 >> 16), uint8_t(d1 >> 24), uint8_t(d2),
                      uint8_t(d2 >> 8), uint8_t(d3), uint8_t(d3 >> 8), a, b, c, d, e, f, g, h}};
}

constexpr disk_guid g_header = make_guid(0x75B22630, 0x668E, 0x11CF, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C);
constexpr disk_guid g_file_properties =
    make_guid(0x8CABDCA1, 0xA947, 0x11CF, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65);
constexpr disk_guid g_stream_properties =
    make_guid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65);
constexpr disk_guid g_audio_media = make_guid(0xF8699E40, 0x5B4D, 0x11CF, 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B);
constexpr disk_guid g_content_description =
    make_guid(0x75B22633, 0x668E, 0x11CF, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C);
constexpr disk_guid g_extended_content =
    make_guid(0xD2D0A440, 0xE307, 0x11D2, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50);
constexpr disk_guid g_header_extension =
    make_guid(0x5FBF03B5, 0xA92E, 0x11CF, 0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65);
constexpr disk_guid g_extension_reserved =
    make_guid(0xABD3D211, 0xA9BA, 0x11CF, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65);
constexpr disk_guid g_metadata = make_guid(0xC5F8CBEA, 0x5BAF, 0x4877, 0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA);
constexpr disk_guid g_metadata_library =
    make_guid(0x44231C94, 0x9498, 0x49D1, 0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54);

const char* const g_description_names[5] = {"Title", "Author", "Copyright", "Description", "Rating"};

constexpr size_t object_header = 24;

bool is_guid(const uint8_t* p, const disk_guid& g) { return std::memcmp(p, g.b, 16) == 0; }

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }

[[noreturn]] void bad_header() { throw ketrel_io::exception_io_data("Corrupted ASF header"); }

struct span {
    size_t offset = 0;
    size_t size = 0;
};

// The objects inside [begin, end): each a GUID, a 64-bit size counting its own 24 bytes, and its data.
std::vector<span> child_objects(const uint8_t* data, size_t begin, size_t end) {
    std::vector<span> out;
    size_t at = begin;
    while (at < end) {
        if (end - at < object_header) bad_header();
        uint64_t size = le64(data + at + 16);
        if (size < object_header || size > end - at) bad_header();
        out.push_back({at, static_cast<size_t>(size)});
        at += static_cast<size_t>(size);
    }
    return out;
}

// The file's value types in the runtime's numbering (WMT_ATTR_DATATYPE); an unknown one is left out of range.
uint16_t runtime_type(uint16_t file_type) {
    static const uint16_t map[7] = {wma_type_string, wma_type_binary, wma_type_bool, wma_type_dword,
                                    wma_type_qword,  wma_type_word,   wma_type_guid};
    return file_type < 7 ? map[file_type] : static_cast<uint16_t>(0x100 + file_type);
}

struct entry {
    wma_attribute attribute;
    span raw;
};

// Everything of a header the reader and the rewriter need.
struct parsed_header {
    std::vector<span> children;
    std::vector<span> extension_children;
    int file_properties = -1, content_description = -1, extended_content = -1, extension = -1;
    int metadata = -1, metadata_library = -1;   // indexes into extension_children
    std::vector<entry> extended_entries, metadata_entries, library_entries;
};

wma_attribute text_attribute(const char* name, const uint8_t* data, size_t size, uint16_t stream) {
    wma_attribute a;
    a.name = name;
    a.type = wma_type_string;
    a.stream = stream;
    a.value.assign(data, data + size);
    if (a.value.size() % 2) a.value.pop_back();
    if (a.value.size() < 2 || a.value[a.value.size() - 1] || a.value[a.value.size() - 2]) {
        a.value.push_back(0);
        a.value.push_back(0);
    }
    return a;
}

std::string name_of(const uint8_t* data, size_t size) { return wma_text_from_utf16(data, size); }

void parse_extended_content(const uint8_t* data, span object, parsed_header& out) {
    size_t at = object.offset + object_header, end = object.offset + object.size;
    if (end - at < 2) bad_header();
    uint16_t count = le16(data + at);
    at += 2;
    for (uint16_t i = 0; i < count; ++i) {
        size_t start = at;
        if (end - at < 2) bad_header();
        uint16_t name_length = le16(data + at);
        at += 2;
        if (end - at < size_t(name_length) + 4) bad_header();
        entry e;
        e.attribute.name = name_of(data + at, name_length);
        at += name_length;
        uint16_t type = le16(data + at), value_length = le16(data + at + 2);
        at += 4;
        if (end - at < value_length) bad_header();
        e.attribute.type = runtime_type(type);
        e.attribute.value.assign(data + at, data + at + value_length);
        if (e.attribute.type == wma_type_string) {
            e.attribute = text_attribute(e.attribute.name.c_str(), data + at, value_length, 0);
        }
        at += value_length;
        e.raw = {start, at - start};
        out.extended_entries.push_back(std::move(e));
    }
}

// Metadata (library = false) and Metadata Library entries.
void parse_metadata(const uint8_t* data, span object, bool library, std::vector<entry>& out) {
    size_t at = object.offset + object_header, end = object.offset + object.size;
    if (end - at < 2) bad_header();
    uint16_t count = le16(data + at);
    at += 2;
    for (uint16_t i = 0; i < count; ++i) {
        size_t start = at;
        if (end - at < 12) bad_header();
        uint16_t stream = le16(data + at + 2), name_length = le16(data + at + 4), type = le16(data + at + 6);
        uint32_t value_length = le32(data + at + 8);
        at += 12;
        if (end - at < name_length || end - at - name_length < value_length) bad_header();
        entry e;
        e.attribute.name = name_of(data + at, name_length);
        at += name_length;
        e.attribute.stream = stream;
        e.attribute.type = runtime_type(type);
        if (!library && type == 6) e.attribute.type = 0x106;   // no GUIDs outside the library
        if (e.attribute.type == wma_type_string) {
            e.attribute = text_attribute(e.attribute.name.c_str(), data + at, value_length, stream);
        } else {
            e.attribute.value.assign(data + at, data + at + value_length);
        }
        at += value_length;
        e.raw = {start, at - start};
        out.push_back(std::move(e));
    }
}

// Parses the structure; `attributes` (may be null) receives the attributes in file order, `audio` the first
// audio stream.
void parse(const uint8_t* data, size_t size, parsed_header& out, std::vector<wma_attribute>* attributes,
           asf_audio_format* audio) {
    if (size < 30 || !is_guid(data, g_header) || le64(data + 16) != size) bad_header();
    out.children = child_objects(data, 30, size);
    for (size_t k = 0; k < out.children.size(); ++k) {
        const span c = out.children[k];
        const uint8_t* p = data + c.offset;
        const uint8_t* body = p + object_header;
        const size_t body_size = c.size - object_header;
        if (is_guid(p, g_file_properties)) {
            if (body_size < 80) bad_header();
            if (out.file_properties < 0) {
                out.file_properties = static_cast<int>(k);
                uint64_t play = le64(body + 40), preroll = le64(body + 56);
                uint64_t preroll_units = preroll * 10000;
                uint64_t duration = play > preroll_units ? play - preroll_units : 0;
                if (attributes) {
                    wma_attribute a;
                    a.name = "Duration";
                    a.type = wma_type_qword;
                    for (int i = 0; i < 8; ++i) a.value.push_back(static_cast<uint8_t>(duration >> (8 * i)));
                    attributes->push_back(std::move(a));
                }
            }
        } else if (is_guid(p, g_stream_properties)) {
            if (body_size < 54) bad_header();
            uint32_t type_length = le32(body + 40), correction_length = le32(body + 44);
            if (type_length > body_size - 54 || correction_length > body_size - 54 - type_length) bad_header();
            if (is_guid(body, g_audio_media) && audio && !audio->present) {
                if (type_length < 16) bad_header();
                const uint8_t* w = body + 54;
                audio->present = true;
                audio->stream_number = le16(body + 48) & 0x7F;
                audio->format_tag = le16(w);
                audio->channels = le16(w + 2);
                audio->sample_rate = le32(w + 4);
                audio->average_bytes_per_second = le32(w + 8);
                audio->bits_per_sample = le16(w + 14);
                if (attributes) {
                    wma_attribute a;
                    a.name = "Bitrate";
                    a.type = wma_type_dword;
                    uint32_t bits = audio->average_bytes_per_second * 8u;
                    for (int i = 0; i < 4; ++i) a.value.push_back(static_cast<uint8_t>(bits >> (8 * i)));
                    attributes->push_back(std::move(a));
                }
            }
        } else if (is_guid(p, g_content_description)) {
            if (body_size < 10) bad_header();
            size_t at = 10, total = 0;
            for (int i = 0; i < 5; ++i) total += le16(body + 2 * i);
            if (total > body_size - 10) bad_header();
            if (out.content_description < 0) {
                out.content_description = static_cast<int>(k);
                for (int i = 0; i < 5; ++i) {
                    uint16_t length = le16(body + 2 * i);
                    if (attributes && length) {
                        attributes->push_back(text_attribute(g_description_names[i], body + at, length, 0));
                    }
                    at += length;
                }
            }
        } else if (is_guid(p, g_extended_content)) {
            if (out.extended_content < 0) {
                out.extended_content = static_cast<int>(k);
                parse_extended_content(data, c, out);
                if (attributes) {
                    for (const entry& e : out.extended_entries) attributes->push_back(e.attribute);
                }
            }
        } else if (is_guid(p, g_header_extension)) {
            if (body_size < 22) bad_header();
            uint32_t inner = le32(body + 18);
            if (inner > body_size - 22) bad_header();
            if (out.extension >= 0) continue;
            out.extension = static_cast<int>(k);
            const size_t begin = c.offset + object_header + 22;
            out.extension_children = child_objects(data, begin, begin + inner);
            for (size_t j = 0; j < out.extension_children.size(); ++j) {
                const span e = out.extension_children[j];
                if (is_guid(data + e.offset, g_metadata) && out.metadata < 0) {
                    out.metadata = static_cast<int>(j);
                    parse_metadata(data, e, false, out.metadata_entries);
                    if (attributes) {
                        for (const entry& m : out.metadata_entries) attributes->push_back(m.attribute);
                    }
                } else if (is_guid(data + e.offset, g_metadata_library) && out.metadata_library < 0) {
                    out.metadata_library = static_cast<int>(j);
                    parse_metadata(data, e, true, out.library_entries);
                    if (attributes) {
                        for (const entry& m : out.library_entries) attributes->push_back(m.attribute);
                    }
                }
            }
        }
    }
    if (out.file_properties < 0) bad_header();
}

// Output helpers.
void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void put64(std::vector<uint8_t>& out, uint64_t v) {
    put32(out, static_cast<uint32_t>(v));
    put32(out, static_cast<uint32_t>(v >> 32));
}
void put_bytes(std::vector<uint8_t>& out, const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }
void put_object(std::vector<uint8_t>& out, const disk_guid& g, const std::vector<uint8_t>& body) {
    put_bytes(out, g.b, 16);
    put64(out, body.size() + object_header);
    put_bytes(out, body.data(), body.size());
}

struct new_value {
    std::vector<uint8_t> name;    // UTF-16LE with its zero
    std::vector<uint8_t> value;   // UTF-16LE with its zero
};

bool removed(const entry& e) { return e.attribute.stream == 0 && wma_attribute_is_managed(e.attribute.name.c_str()); }

// Entries kept from the old object plus the new ones, as a Metadata or Extended Content body.
std::vector<uint8_t> entry_list(const uint8_t* data, const std::vector<entry>& old, const std::vector<new_value>& added,
                                bool library) {
    std::vector<uint8_t> body;
    size_t count = 0;
    put16(body, 0);
    for (const entry& e : old) {
        if (removed(e)) continue;
        put_bytes(body, data + e.raw.offset, e.raw.size);
        ++count;
    }
    for (const new_value& v : added) {
        if (library) {
            put16(body, 0);   // language list index
            put16(body, 0);   // stream 0
            put16(body, static_cast<uint32_t>(v.name.size()));
            put16(body, 0);   // text
            put32(body, static_cast<uint32_t>(v.value.size()));
        } else {
            put16(body, static_cast<uint32_t>(v.name.size()));
            put_bytes(body, v.name.data(), v.name.size());
            put16(body, 0);
            put16(body, static_cast<uint32_t>(v.value.size()));
        }
        if (library) put_bytes(body, v.name.data(), v.name.size());
        put_bytes(body, v.value.data(), v.value.size());
        ++count;
    }
    if (count > 0xFFFF) throw ketrel_io::exception_io_data("Too many ASF attributes");
    body[0] = static_cast<uint8_t>(count);
    body[1] = static_cast<uint8_t>(count >> 8);
    return body;
}

bool entries_change(const std::vector<entry>& old, size_t added) {
    if (added) return true;
    for (const entry& e : old) {
        if (removed(e)) return true;
    }
    return false;
}

}  // namespace

void asf_header_parse(const uint8_t* data, size_t size, asf_header& out) {
    parsed_header parsed;
    out.attributes.clear();
    out.audio = asf_audio_format();
    parse(data, size, parsed, &out.attributes, &out.audio);
    const uint8_t* body = data + parsed.children[static_cast<size_t>(parsed.file_properties)].offset + object_header;
    const uint32_t smallest = le32(body + 68), largest = le32(body + 72);
    out.packet_size = smallest == largest ? smallest : 0;
    out.bytes.assign(data, data + size);
}

void asf_header_read(file_stream& file, asf_header& out, const abort_signal& abort) {
    file.seek(0, abort);
    uint8_t head[30];
    if (file.read(head, sizeof head, abort) != sizeof head || !is_guid(head, g_header)) {
        throw ketrel_io::exception_io_data("Not an ASF file");
    }
    const uint64_t size = le64(head + 16);
    const uint64_t file_size = file.get_size(abort);
    if (size < 30 || size > asf_header_max_size || (file_size != file_size_unknown && size > file_size)) bad_header();
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    std::memcpy(bytes.data(), head, sizeof head);
    file.read_exact(bytes.data() + sizeof head, bytes.size() - sizeof head, abort);
    asf_header_parse(bytes.data(), bytes.size(), out);
}

std::vector<uint8_t> asf_header_retag(const asf_header& header, const std::vector<wma_string_attribute>& values,
                                      uint64_t rest_size) {
    const uint8_t* data = header.bytes.data();
    parsed_header parsed;
    parse(data, header.bytes.size(), parsed, nullptr, nullptr);

    // Where each new value goes.
    std::map<std::string, size_t> per_name;
    for (const wma_string_attribute& v : values) ++per_name[v.name];
    std::vector<uint8_t> description[5];
    std::vector<new_value> extended, library;
    for (const wma_string_attribute& v : values) {
        new_value n{wma_utf16_from_text(v.name), wma_utf16_from_text(v.value)};
        const bool single = per_name[v.name] == 1;
        const bool short_text = n.value.size() <= 0xFFFF && n.name.size() <= 0xFFFF;
        int slot = -1;
        for (int i = 0; i < 5; ++i) {
            if (v.name == g_description_names[i]) slot = i;
        }
        if (single && short_text && slot >= 0) {
            description[slot] = n.value;
        } else if (single && short_text) {
            extended.push_back(std::move(n));
        } else {
            if (n.name.size() > 0xFFFF || n.value.size() > 0xFFFFFFFFu) throw ketrel_io::exception_io_data();
            library.push_back(std::move(n));
        }
    }

    // The Header Extension's new body, when anything in it changes.
    bool extension_changes = entries_change(parsed.metadata_entries, 0) ||
                             entries_change(parsed.library_entries, library.size());
    std::vector<uint8_t> extension_body;
    if (extension_changes) {
        std::vector<uint8_t> inner;
        bool library_written = false;
        for (size_t j = 0; j < parsed.extension_children.size(); ++j) {
            const span e = parsed.extension_children[j];
            if (static_cast<int>(j) == parsed.metadata) {
                std::vector<uint8_t> body = entry_list(data, parsed.metadata_entries, {}, false);
                put_object(inner, g_metadata, body);
            } else if (static_cast<int>(j) == parsed.metadata_library) {
                put_object(inner, g_metadata_library, entry_list(data, parsed.library_entries, library, true));
                library_written = true;
            } else {
                put_bytes(inner, data + e.offset, e.size);
            }
        }
        if (!library_written && !library.empty()) {
            put_object(inner, g_metadata_library, entry_list(data, {}, library, true));
        }
        if (parsed.extension >= 0) {
            const uint8_t* old = data + parsed.children[parsed.extension].offset + object_header;
            put_bytes(extension_body, old, 18);
        } else {
            put_bytes(extension_body, g_extension_reserved.b, 16);
            put16(extension_body, 6);
        }
        put32(extension_body, static_cast<uint32_t>(inner.size()));
        put_bytes(extension_body, inner.data(), inner.size());
    }

    std::vector<uint8_t> description_body;
    bool any_description = false;
    for (int i = 0; i < 5; ++i) {
        put16(description_body, static_cast<uint32_t>(description[i].size()));
        any_description = any_description || !description[i].empty();
    }
    for (int i = 0; i < 5; ++i) put_bytes(description_body, description[i].data(), description[i].size());

    std::vector<uint8_t> children;
    uint32_t count = 0;
    size_t file_properties_at = 0;
    for (size_t k = 0; k < parsed.children.size(); ++k) {
        const span c = parsed.children[k];
        const int index = static_cast<int>(k);
        if (index == parsed.content_description) {
            if (any_description) put_object(children, g_content_description, description_body), ++count;
            any_description = false;
            continue;
        }
        if (index == parsed.extended_content) {
            put_object(children, g_extended_content, entry_list(data, parsed.extended_entries, extended, false));
            extended.clear();
            ++count;
            continue;
        }
        if (index == parsed.extension && extension_changes) {
            put_object(children, g_header_extension, extension_body);
            extension_changes = false;
            ++count;
            continue;
        }
        if (index == parsed.file_properties) file_properties_at = children.size();
        put_bytes(children, data + c.offset, c.size);
        ++count;
    }
    if (any_description) put_object(children, g_content_description, description_body), ++count;
    if (!extended.empty()) put_object(children, g_extended_content, entry_list(data, {}, extended, false)), ++count;
    if (extension_changes) put_object(children, g_header_extension, extension_body), ++count;

    std::vector<uint8_t> out;
    put_bytes(out, g_header.b, 16);
    put64(out, 30 + children.size());
    put32(out, count);
    put_bytes(out, data + 28, 2);
    const size_t file_size_at = out.size() + file_properties_at + object_header + 16;
    put_bytes(out, children.data(), children.size());
    const uint64_t file_size = out.size() + rest_size;
    for (int i = 0; i < 8; ++i) out[file_size_at + i] = static_cast<uint8_t>(file_size >> (8 * i));
    return out;
}

void asf_write_tags(file_stream_ref& file, const char* path, const std::vector<wma_string_attribute>& values,
                    const abort_signal& abort) {
    asf_header header;
    asf_header_read(*file, header, abort);
    const uint64_t size = file->get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    const uint64_t rest = size - header.bytes.size();
    const std::vector<uint8_t> bytes = asf_header_retag(header, values, rest);
    safe_rewrite rewrite(path);
    try {
        file_stream_ref out;
        if (!rewrite.begin(out, abort)) throw ketrel_io::exception_io_denied();
        out->write(bytes.data(), bytes.size(), abort);
        file->seek(header.bytes.size(), abort);
        stream_copy_exact(*file, *out, rest, abort);
        out.reset();
        rewrite.commit(file, abort);
    } catch (...) {
        rewrite.cancel();
        throw;
    }
}
