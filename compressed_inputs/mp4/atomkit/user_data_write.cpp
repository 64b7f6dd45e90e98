// Writing "udta" content: chapters, the index map and the "tags" box ("ilst": ilst_items.cpp).

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/box_buffer.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "compressed_inputs/mp4/atomkit/user_data.h"
#include "foundation/kpl/exceptions.h"

namespace atomkit {

namespace {

void put8(box_buffer& out, uint32_t v) {
    uint8_t b = uint8_t(v);
    out.append(&b, 1);
}
void put16(box_buffer& out, uint32_t v) {
    uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    out.append(b, 2);
}
void put64(box_buffer& out, uint64_t v) {
    write_u32_be(out, uint32_t(v >> 32));
    write_u32_be(out, uint32_t(v));
}

}  // namespace

bool chpl_wanted(const std::vector<chapter_entry>& chapters) {
    return chapters.size() >= 2 || (chapters.size() == 1 && chapters[0].start != 0);
}

void write_chpl(const std::vector<chapter_entry>& chapters, box_buffer& out) {
    put8(out, 1);
    write_u32_be(out, 0);
    write_u32_be(out, uint32_t(chapters.size()));
    for (const chapter_entry& c : chapters) {
        put64(out, uint64_t(c.start));
        auto it = c.fields.find("title");
        if (it != c.fields.end() && it->second.is_meta && it->second.values.size() == 1) {
            const std::string title = cut_utf8(it->second.values[0], 255);
            put8(out, uint32_t(title.size()));
            out.append(title.data(), title.size());
        } else {
            put8(out, 0);
        }
    }
}

void write_index_map(const std::vector<index_entry>& map, box_buffer& out) {
    write_u32_be(out, uint32_t(map.size()));
    for (const index_entry& e : map) {
        put64(out, e.pregap);
        write_u32_be(out, uint32_t(e.points.size()));
        for (uint64_t p : e.points) put64(out, p);
    }
}

void write_tags_fields(const field_set& fields, box_buffer& out) {
    const size_t count = fields.size() < 65535 ? fields.size() : 65535;
    write_u32_be(out, uint32_t(count));
    size_t written = 0;
    for (const auto& f : fields) {
        if (written++ == count) break;
        put8(out, f.second.is_meta ? 0x80 : 0);
        put8(out, 0);
        const std::string name = cut_utf8(f.first, 255);
        put8(out, uint32_t(name.size()));
        out.append(name.data(), name.size());
        const size_t values = f.second.values.size() < 65535 ? f.second.values.size() : 65535;
        put16(out, uint32_t(values));
        for (size_t i = 0; i < values; ++i) {
            const std::string v = cut_utf8(f.second.values[i], 0xFFFFF);
            write_u32_be(out, uint32_t(v.size()));
            out.append(v.data(), v.size());
        }
    }
}

void write_tags_box(const user_data& ud, box_buffer& out) {
    if (!ud.tags_fields.empty()) {
        box_buffer meta;
        write_tags_fields(ud.tags_fields, meta);
        write_box(out, fourcc("meta"), meta.data(), meta.size());
    }
    if (!ud.tags_pictures.empty()) {
        box_buffer cvrx;
        write_u32_be(cvrx, 0);
        write_u32_be(cvrx, uint32_t(ud.tags_pictures.size()));
        for (const picture_ptr& p : ud.tags_pictures) {
            if (p->name.size() > 65535) throw kpl::exception_overflow();
            put16(cvrx, uint32_t(p->name.size()));
            cvrx.append(p->name.data(), p->name.size());
            put16(cvrx, p->index);
            write_u32_be(cvrx, uint32_t(p->data.size()));
            if (!p->data.empty()) cvrx.append(p->data.data(), p->data.size());
        }
        write_box(out, fourcc("cvrx"), cvrx.data(), cvrx.size());
    }
    for (const tag_segment& seg : ud.tag_segments) {
        box_buffer tseg, tshd, meta;
        write_u32_be(tshd, seg.chapter);
        write_box(tseg, fourcc("tshd"), tshd.data(), tshd.size());
        write_tags_fields(seg.fields, meta);
        write_box(tseg, fourcc("meta"), meta.data(), meta.size());
        write_box(out, fourcc("tseg"), tseg.data(), tseg.size());
    }
}

}  // namespace atomkit
