// Reading "udta": chapters, the index map and the "tags" box ("meta" items: ilst_items.cpp).

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "compressed_inputs/mp4/atomkit/parse_flags.h"
#include "compressed_inputs/mp4/atomkit/user_data.h"

namespace atomkit {

namespace {

constexpr uint64_t max_picture = 16 * 1024 * 1024;

std::string read_string(byte_stream& s, uint64_t n) {
    s.check_available(n);
    std::string text(size_t(n), '\0');
    if (n) s.read_exact(&text[0], size_t(n));
    return text;
}

picture_ptr read_picture(byte_stream& s, const char* name, uint16_t index, uint64_t size) {
    s.check_available(size);
    auto p = std::make_shared<picture_entry>();
    p->name = name;
    p->index = index;
    p->data.resize(size_t(size));
    if (size) s.read_exact(p->data.data(), p->data.size());
    return p;
}

class udta_visitor final : public box_visitor {
public:
    udta_visitor(uint32_t flags, user_data& ud) : m_flags(flags), m_ud(ud) {}
    void on_box(atom_stream& child, uint32_t type, uint64_t size) override {
        if (type == fourcc("meta")) read_meta(child, size, m_flags, m_ud);
        else if (type == fourcc("chpl")) read_chpl(child, size, m_ud);
        else if (type == fourcc("tags")) read_tags_box(child, size, m_flags, m_ud);
        else if (type == fourcc("indx") && (m_flags & parse_metadata)) read_index_map(child, m_ud);
    }

private:
    uint32_t m_flags;
    user_data& m_ud;
};

class tseg_visitor final : public box_visitor {
public:
    explicit tseg_visitor(tag_segment& seg) : m_seg(seg) {}
    void on_box(atom_stream& child, uint32_t type, uint64_t size) override {
        if (type == fourcc("meta")) {
            read_tags_fields(child, size, m_seg.fields);
        } else if (type == fourcc("tshd")) {
            if (m_has_index) throw exception("duplicated tshd atom");
            if (size != 4) throw exception("invalid tshd atom");
            uint32_t index = read_u32(child);
            if (index > 1000) throw exception("invalid chapter number in tshd");
            m_seg.chapter = index;
            m_has_index = true;
        }
    }
    bool m_has_index = false;

private:
    tag_segment& m_seg;
};

class tags_visitor final : public box_visitor {
public:
    tags_visitor(uint32_t flags, user_data& ud) : m_flags(flags), m_ud(ud) {}
    void on_box(atom_stream& child, uint32_t type, uint64_t size) override {
        if (type == fourcc("meta") && (m_flags & parse_metadata)) {
            read_tags_fields(child, size, m_ud.tags_fields);
        } else if (type == fourcc("tseg") && (m_flags & parse_metadata)) {
            tag_segment seg;
            tseg_visitor v(seg);
            walk_children(child, size, v);
            if (!v.m_has_index) throw exception("tseg didn't specify chapter index");
            m_ud.tag_segments.push_back(std::move(seg));
        } else if (type == fourcc("tshd")) {
            throw exception("tshd atom not expected here");
        } else if (type == fourcc("covr") && (m_flags & parse_pictures)) {
            read_covr(child, size);
        } else if (type == fourcc("cvrx") && (m_flags & parse_pictures)) {
            read_cvrx(child);
        }
    }

private:
    void read_covr(byte_stream& s, uint64_t size) {
        if (size < 4) throw exception("invalid cover atom size");
        uint8_t a_bytes[4];
        s.read_exact(a_bytes, 4);
        const uint32_t a = uint32_t(a_bytes[0]) << 24 | uint32_t(a_bytes[1]) << 16 | uint32_t(a_bytes[2]) << 8 | a_bytes[3];
        if (a & 0xFFFF) {
            auto p = std::make_shared<picture_entry>();
            p->name = "front cover";
            s.check_available(size - 4);
            p->data.assign(a_bytes, a_bytes + 4);
            p->data.resize(size_t(size));
            if (size > 4) s.read_exact(p->data.data() + 4, size_t(size - 4));
            m_ud.tags_pictures.push_back(p);
            return;
        }
        const uint32_t count = read_u32(s);
        bool front = (a & 2) != 0, back = (a & 4) != 0;
        uint16_t booklet = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t n = read_u32(s);
            if (front) {
                front = false;
                m_ud.tags_pictures.push_back(read_picture(s, "front cover", 0, n));
            } else if (back) {
                back = false;
                m_ud.tags_pictures.push_back(read_picture(s, "back cover", 0, n));
            } else {
                m_ud.tags_pictures.push_back(read_picture(s, "booklet", booklet++, n));
            }
        }
    }
    void read_cvrx(byte_stream& s) {
        m_ud.tags_pictures.clear();
        if (read_u32(s) != 0) return;
        const uint32_t count = read_u32(s);
        for (uint32_t i = 0; i < count; ++i) {
            const std::string name = read_string(s, read_u16(s));
            const uint16_t index = read_u16(s);
            const uint32_t n = read_u32(s);
            if (n > max_picture) throw exception("cover art too big");
            m_ud.tags_pictures.push_back(read_picture(s, name.c_str(), index, n));
        }
    }

    uint32_t m_flags;
    user_data& m_ud;
};

}  // namespace

void read_user_data(byte_stream& s, uint64_t size, uint32_t flags, user_data& ud) {
    udta_visitor v(flags, ud);
    walk_children(s, size, v);
}

void read_chpl(byte_stream& s, uint64_t, user_data& ud) {
    uint8_t version;
    s.read_exact(&version, 1);
    if (version > 1) return;
    s.skip_exact(4);
    const uint32_t count = read_u32(s);
    if (count >= 1025) throw exception("invalid chapter count");
    std::vector<chpl_chapter> chapters(count);
    for (chpl_chapter& c : chapters) {
        c.start = version == 1 ? read_u64(s) : read_u32(s);
        uint8_t length;
        s.read_exact(&length, 1);
        c.title = read_string(s, length);
    }
    ud.chpl_chapters = std::move(chapters);
}

void read_index_map(byte_stream& s, user_data& ud) {
    const uint32_t count = read_u32(s);
    if (count > 100) throw exception("invalid index map");
    std::vector<index_entry> map(count);
    for (index_entry& e : map) {
        e.pregap = read_u64(s);
        const uint32_t n = read_u32(s);
        if (n > 100) throw exception("invalid index map");
        read_u64_array(s, e.points, n);
    }
    ud.index_map = std::move(map);
}

void read_tags_box(byte_stream& s, uint64_t size, uint32_t flags, user_data& ud) {
    if (!(flags & (parse_metadata | parse_pictures))) return;
    try {
        if (ud.tags_read) throw exception("duplicate ND tagging info found");
        ud.tags_read = true;
        ud.has_tags = true;
        tags_visitor v(flags, ud);
        walk_children(s, size, v);
    } catch (const exception&) {
        ud.has_tags = false;
        ud.tags_fields.clear();
        ud.tags_pictures.clear();
        ud.tag_segments.clear();
    }
}

void read_tags_fields(byte_stream& s, uint64_t size, field_set& out) {
    const uint32_t count = read_u32(s);
    if (count >= 65536) throw exception("suspiciously big field count (exploit attempt?)");
    if (count == 0) {
        if (size != 4) throw exception("false null meta atom");
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t head[3];
        s.read_exact(head, 3);
        const std::string name = read_string(s, head[2]);
        const uint16_t values = read_u16(s);
        bool is_meta, skip;
        if (head[0] == 1) {
            is_meta = true;
            skip = false;
        } else {
            is_meta = (head[0] & 0x80) != 0;
            skip = (head[0] & 0x7F) != 0;
        }
        if (head[1] != 0) skip = true;
        field_entry entry;
        entry.is_meta = is_meta;
        for (uint16_t j = 0; j < values; ++j) {
            const uint32_t length = read_u32(s);
            if (length > 0xFFFFF) throw exception("suspiciously long value (exploit attempt?)");
            if (skip) {
                s.skip_exact(length);
            } else {
                entry.values.push_back(read_string(s, length));
            }
        }
        if (!skip && !entry.values.empty()) out[name] = std::move(entry);
    }
}

}  // namespace atomkit
