#include "compressed_inputs/matroska/ebml_writer.h"

#include <algorithm>

namespace Matroska {

std::vector<uint8_t> ebml_encode(uint64_t value) {
    int n = 1;
    if (value >= 127) {
        n = 2;
        while (n <= 8 && value >= (uint64_t(1) << (7 * n)) - 1) ++n;
        if (n > 8) throw ketrel_io::exception_io_data();
    }
    std::vector<uint8_t> out;
    ebml_encode_width(value, n, out);
    return out;
}

bool ebml_encode_width(uint64_t value, int n, std::vector<uint8_t>& out) {
    if (n < 1 || n > 8 || value >= (uint64_t(1) << (7 * n)) - 1) return false;
    const uint64_t marked = value | (uint64_t(1) << (7 * n));
    out.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(marked >> (8 * (n - 1 - i)));
    return true;
}

std::vector<uint8_t> ebml_unsigned_bytes(uint64_t value) {
    int n = 1;
    while (n < 8 && value >= (uint64_t(1) << (8 * n))) ++n;
    std::vector<uint8_t> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * (n - 1 - i)));
    return out;
}

std::vector<uint8_t> ebml_element(uint32_t id, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out = ebml_encode(id);
    const std::vector<uint8_t> size = ebml_encode(data.size());
    out.insert(out.end(), size.begin(), size.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

namespace {

void write_at(ebml_reader& reader, uint64_t position, const std::vector<uint8_t>& bytes) {
    reader.reset(position, std::max(reader.size(), position));
    reader.write(bytes.data(), bytes.size());
}

struct element_header {
    uint32_t id;
    uint64_t data_start, end;
};

element_header header_at(ebml_reader& reader, uint64_t position, uint64_t limit) {
    reader.reset(position, limit);
    element_header h;
    h.id = ebml_read_id(reader);
    const uint64_t size = ebml_read_size(reader);
    reader.check(size);
    reader.set_remaining(size);
    h.data_start = reader.position();
    h.end = h.data_start + size;
    return h;
}

}  // namespace

void ebml_write_void(ebml_reader& reader, uint64_t position, uint64_t n) {
    if (n == 0) return;
    if (n == 1) throw ketrel_io::exception_io_data();
    std::vector<uint8_t> header;
    if (n <= 9) {
        header = {0xEC, static_cast<uint8_t>(0x80 | (n - 2))};
    } else {
        header = {0xEC, 0x01};
        for (int i = 6; i >= 0; --i) header.push_back(static_cast<uint8_t>((n - 9) >> (8 * i)));
    }
    write_at(reader, position, header);
}

uint64_t ebml_space_at(ebml_reader& reader, uint64_t position, uint32_t expected, uint64_t parent_end) {
    element_header h = header_at(reader, position, parent_end);
    if (h.id != expected) throw ketrel_io::exception_io_data();
    uint64_t end = h.end;
    while (end < parent_end) {
        reader.reset(end, parent_end);
        if (ebml_read_id(reader) != id::void_element) break;
        const uint64_t size = ebml_read_size(reader);
        if (size > reader.remaining()) break;
        end = reader.position() + size;
    }
    return end - position;
}

void ebml_blank(ebml_reader& reader, uint64_t position, uint32_t expected, uint64_t parent_end) {
    ebml_write_void(reader, position, ebml_space_at(reader, position, expected, parent_end));
}

bool ebml_write_in_region(ebml_reader& reader, uint64_t position, uint64_t room, uint32_t id,
                          const std::vector<uint8_t>& data) {
    const std::vector<uint8_t> element = ebml_element(id, data);
    if (element.size() > room || room - element.size() == 1) return false;
    write_at(reader, position, element);
    ebml_write_void(reader, position + element.size(), room - element.size());
    return true;
}

bool ebml_rewrite_size(ebml_reader& reader, uint64_t position, uint32_t expected, uint64_t size, bool check_only) {
    reader.reset(position, reader.size());
    if (ebml_read_id(reader) != expected) throw ketrel_io::exception_io_data();
    const uint64_t after_id = reader.position();
    const uint8_t first = reader.read_byte();
    if (first == 0) throw ketrel_io::exception_io_data();
    int width = 1;
    while (!(first & (0x80u >> (width - 1)))) ++width;
    std::vector<uint8_t> encoded;
    if (!ebml_encode_width(size, width, encoded)) return false;
    if (!check_only) write_at(reader, after_id, encoded);
    return true;
}

namespace {

// Where a new Seek entry goes: into a run of Voids inside a SeekHead, or at the end of a SeekHead grown into the
// Voids behind it.
struct seek_plan {
    bool needed = false;
    bool grow = false;
    uint64_t head = 0, content_start = 0, old_end = 0;
    uint64_t at = 0, end = 0;  // the Seek element at `at`, a Void from after it up to `end`
    std::vector<uint8_t> element;
};

bool plan_seek_entry(matroska_index& index, ebml_reader& reader, uint64_t tags_position, seek_plan& plan) {
    auto heads = index.positions.find(id::seek_head);
    if (heads == index.positions.end() || heads->second.empty()) return true;
    const std::vector<uint8_t> content = [&] {
        std::vector<uint8_t> c = ebml_element(id::seek_id, ebml_encode(id::tags));
        const std::vector<uint8_t> p = ebml_element(id::seek_position, ebml_unsigned_bytes(tags_position - index.segment_data_start));
        c.insert(c.end(), p.begin(), p.end());
        return c;
    }();
    plan.element = ebml_element(id::seek, content);
    plan.needed = true;
    const uint64_t s = plan.element.size();
    for (uint64_t head : heads->second) {
        const element_header h = header_at(reader, head, index.segment_end());
        if (h.id != id::seek_head) throw ketrel_io::exception_io_data();
        uint64_t run_start = h.data_start, last = h.data_start, pos = h.data_start;
        while (pos < h.end) {
            const element_header c = header_at(reader, pos, h.end);
            if (c.id == id::void_element) {
                const uint64_t run = c.end - run_start;
                if (run >= s && run - s != 1) {
                    plan.head = head;
                    plan.at = run_start;
                    plan.end = c.end;
                    return true;
                }
            } else {
                run_start = c.end;
                last = c.end;
            }
            pos = c.end;
        }
        // Grow the SeekHead into the Voids behind it.
        uint64_t x = h.end;
        for (;;) {
            if (x - last >= s && x - last - s != 1) {
                if (!ebml_rewrite_size(reader, head, id::seek_head, last + s - h.data_start, true)) break;
                plan.grow = true;
                plan.head = head;
                plan.content_start = h.data_start;
                plan.old_end = h.end;
                plan.at = last;
                plan.end = x;
                return true;
            }
            if (x >= index.segment_end()) break;
            const element_header next = header_at(reader, x, index.segment_end());
            if (next.id != id::void_element) break;
            x = next.end;
        }
    }
    return false;
}

void write_seek_entry(ebml_reader& reader, const seek_plan& plan) {
    const uint64_t s = plan.element.size();
    if (!plan.grow) {
        // The Void over the rest first: it lands inside the old Void, so the SeekHead stays whole.
        ebml_write_void(reader, plan.at + s, plan.end - plan.at - s);
        write_at(reader, plan.at, plan.element);
        return;
    }
    // Void children after the last entry leave the SeekHead first (they become Voids behind it), then the entry
    // and the Void behind it are written, and the SeekHead takes the entry in last.
    if (plan.at < plan.old_end) ebml_rewrite_size(reader, plan.head, id::seek_head, plan.at - plan.content_start);
    write_at(reader, plan.at, plan.element);
    ebml_write_void(reader, plan.at + s, plan.end - plan.at - s);
    ebml_rewrite_size(reader, plan.head, id::seek_head, plan.at + s - plan.content_start);
}

// Voids over every Tags element but `kept`, and over the Seek entries that point at them.
void retire_tags(matroska_index& index, ebml_reader& reader, uint64_t kept) {
    std::set<uint64_t> retired = index.positions[id::tags];
    retired.erase(kept);
    if (retired.empty()) return;
    auto heads = index.positions.find(id::seek_head);
    if (heads != index.positions.end()) {
        std::vector<std::pair<uint64_t, uint64_t>> entries;  // Seek position, its SeekHead's end
        for (uint64_t head : heads->second) {
            const element_header h = header_at(reader, head, index.segment_end());
            if (h.id != id::seek_head) throw ketrel_io::exception_io_data();
            for (uint64_t pos = h.data_start; pos < h.end;) {
                const element_header c = header_at(reader, pos, h.end);
                if (c.id == id::seek) {
                    uint32_t target = 0;
                    uint64_t position = matroska_absent;
                    for (uint64_t q = c.data_start; q < c.end;) {
                        const element_header v = header_at(reader, q, c.end);
                        if (v.id == id::seek_id) {
                            std::vector<uint8_t> bytes = read_binary(reader);
                            if (!ebml_parse_id(bytes.data(), bytes.size(), target)) target = 0;
                        } else if (v.id == id::seek_position) {
                            position = read_unsigned(reader);
                        }
                        q = v.end;
                    }
                    if (target == id::tags && position != matroska_absent &&
                        retired.count(index.segment_data_start + position))
                        entries.emplace_back(pos, h.end);
                }
                pos = c.end;
            }
        }
        for (const auto& e : entries) ebml_blank(reader, e.first, id::seek, e.second);
    }
    for (uint64_t p : retired) index.positions[id::tags].erase(p);
    for (uint64_t p : retired) ebml_blank(reader, p, id::tags, index.segment_end());
}

enum class placement { none, region, segment_end_shrink, segment_end_in_place, append };

}  // namespace

bool matroska_place_tags(matroska_index& index, ebml_reader& reader, const std::vector<uint8_t>& content) {
    const std::vector<uint8_t> element = ebml_element(id::tags, content);
    const uint64_t total = element.size();
    const uint64_t file_size = reader.size();
    const bool trailing = file_size > index.segment_end();

    // The choice of place, before anything is written.
    placement how = placement::none;
    uint64_t place = 0, room = 0;
    seek_plan seek;
    if (index.has(id::tags)) {
        for (uint64_t p : index.positions[id::tags]) {
            room = ebml_space_at(reader, p, id::tags, index.segment_end());
            if (p + room == index.segment_end() && !trailing) {
                place = p;
                if (total == room) {
                    how = placement::region;
                } else if (total < room && room - total != 1) {
                    how = placement::segment_end_shrink;
                } else if (ebml_rewrite_size(reader, index.segment_position, id::segment,
                                             p + total - index.segment_data_start, true)) {
                    // Growing: appended behind the old Tags, which is then retired; written over it only when no
                    // SeekHead can take the new position.
                    seek = seek_plan();
                    const uint64_t t = index.segment_end();
                    if (ebml_rewrite_size(reader, index.segment_position, id::segment, index.segment_size + total, true) &&
                        plan_seek_entry(index, reader, t, seek)) {
                        how = placement::append;
                        place = t;
                    } else {
                        how = placement::segment_end_in_place;
                    }
                }
                break;
            }
            if (total <= room && room - total != 1) {
                how = placement::region;
                place = p;
                break;
            }
        }
    }
    if (how == placement::none) {
        if (trailing) return false;
        const uint64_t t = index.segment_end();
        if (!ebml_rewrite_size(reader, index.segment_position, id::segment, index.segment_size + total, true)) return false;
        seek = seek_plan();
        if (!plan_seek_entry(index, reader, t, seek)) return false;
        how = placement::append;
        place = t;
    }

    std::vector<ebml_undo_entry> undo;
    reader.set_undo_log(&undo);
    const matroska_index before = index;
    try {
        switch (how) {
        case placement::region:
            ebml_write_in_region(reader, place, room, id::tags, content);
            break;
        case placement::segment_end_shrink:
            ebml_write_in_region(reader, place, room, id::tags, content);
            ebml_rewrite_size(reader, index.segment_position, id::segment, place + total - index.segment_data_start);
            index.segment_size = place + total - index.segment_data_start;
            reader.truncate(place + total);
            break;
        case placement::segment_end_in_place:
            ebml_rewrite_size(reader, index.segment_position, id::segment, place + total - index.segment_data_start);
            write_at(reader, place, element);
            reader.truncate(place + total);
            index.segment_size = place + total - index.segment_data_start;
            break;
        case placement::append:
            write_at(reader, place, element);
            ebml_rewrite_size(reader, index.segment_position, id::segment, index.segment_size + total);
            index.segment_size += total;
            if (seek.needed) write_seek_entry(reader, seek);
            index.positions[id::tags].insert(place);
            break;
        case placement::none:
            break;
        }
        retire_tags(index, reader, place);
    } catch (...) {
        // Undo what was written, newest first, and give the file its length back. Each undone write returns the
        // file to the state before it, so undoing stops at the first write that fails again.
        reader.set_undo_log(nullptr);
        index = before;
        bool restored = true;
        for (auto it = undo.rbegin(); restored && it != undo.rend(); ++it) {
            try {
                if (!it->bytes.empty()) write_at(reader, it->position, it->bytes);
            } catch (...) {
                restored = false;
            }
        }
        if (restored) {
            try {
                reader.truncate(file_size);
            } catch (...) {
            }
        }
        throw;
    }
    reader.set_undo_log(nullptr);
    return true;
}

}  // namespace Matroska
