#include "metadata/tags/id3v2_tag_io.h"

#include <cstring>
#include <string>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_registry.h"
#include "metadata/tags/id3_text.h"
#include "metadata/tags/id3v2_mapping.h"
#include "metadata/tags/leading_id3v2.h"
#include "metadata/tags/tag_exceptions.h"

namespace {

constexpr uint64_t max_padding = 16384;

class id3v2_tag_io_impl final : public service_static<id3v2_tag_io> {
public:
    void read(file_stream& file, track_info& info, const abort_signal& abort) override {
        id3parser::tag t;
        if (!leading_id3v2_read(file, t, id3parser::frameFilter::allBut(id3parser::frameId("APIC")), abort)) {
            throw exception_tag_not_found();
        }
        id3v2_tag_to_info(t, info);
        file.seek(t.oldSize, abort);
        kpl::utf8_string_tight tag_type("id3v2.");
        tag_type.append_int(t.version);
        info.info_set("tagtype", track_info::npos, tag_type.c_str(), tag_type.length());
    }

    bool write(file_stream& file, const track_info& info, const abort_signal& abort) override {
        tag_rewriter_none none;
        return write_with_rewriter(none, file, info, abort);
    }

    bool write_with_rewriter(tag_rewriter& rewriter, file_stream& file, const track_info& info,
                             const abort_signal& abort) override {
        id3v2_write_plan plan;
        id3parser::tag old_tag;
        id3v2_plan_write(file, info, plan, old_tag, abort);
        if (plan.bytes.count() == plan.old_size) {
            // One write over the old tag; once it starts it is not aborted.
            abort.check();
            file.seek(0, abort_never);
            file.write(plan.bytes.data(), plan.bytes.count(), abort_never);
        } else {
            uint64_t size = file.get_size(abort);
            if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
            kpl::array<uint8_t> none;
            rebuild_file(rewriter, file, plan.bytes, plan.old_size, size, none, abort);
        }
        return plan.frame_count > 0;
    }
};

service_factory_single<id3v2_tag_io_impl, id3v2_tag_io> g_id3v2_tag_io;

// A word of hexadecimal digits; any other character counts as the digit 0.
uint64_t hex_word(const std::string& word) {
    uint64_t value = 0;
    for (char c : word) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        }
        value = value << 4 | digit;
    }
    return value;
}

bool parse_gapless(const std::string& text, uint64_t& delay, uint64_t& samples) {
    uint64_t words[4] = {};
    unsigned count = 0;
    size_t i = 0;
    while (count < 4) {
        while (i < text.size() && text[i] == ' ') ++i;
        if (i == text.size()) break;
        size_t start = i;
        while (i < text.size() && text[i] != ' ') ++i;
        words[count++] = hex_word(text.substr(start, i - start));
    }
    if (count < 4 || words[3] == 0 || words[1] > ~uint64_t(0) - words[3]) return false;
    delay = words[1];
    samples = words[3];
    return true;
}

}  // namespace

void id3v2_plan_write(file_stream& file, const track_info& info, id3v2_write_plan& plan, id3parser::tag& old_tag,
                      const abort_signal& abort) {
    if (!file.can_seek()) throw ketrel_io::exception_io_object_not_seekable();
    id3parser::tag t;
    leading_id3v2_read(file, t, id3parser::frameFilter::everything(), abort);
    old_tag = t;
    int32_t version = (t.version == 3 || t.version == 4) ? t.version : 3;
    if (version != t.version) {
        t.version = version;
        id3parser::convertForVersion(t, version);
    }
    id3v2_info_to_tag(info, t);
    id3parser::vectorWriter out;
    id3parser::writeTag(out, t, t.oldSize, max_padding);
    const std::vector<uint8_t>& bytes = out.bytes();
    plan.bytes.resize_exact(static_cast<uint32_t>(bytes.size()));
    std::memcpy(plan.bytes.data(), bytes.data(), bytes.size());
    plan.old_size = t.oldSize;
    plan.frame_count = t.frameCount();
}

bool read_id3v2_gapless_data(file_stream& file, uint64_t& delay, uint64_t& samples, const abort_signal& abort) {
    id3parser::tag t;
    try {
        if (!leading_id3v2_read(file, t, id3parser::frameFilter::only(id3parser::frameId("COMM")), abort)) return false;
    } catch (const ketrel_io::exception_io_data&) {
        return false;
    }
    for (const id3parser::frame& f : t.frames) {
        try {
            id3parser::textCursor cursor;
            if (id3parser::getValue(f, 0, cursor, false) != "iTunSMPB") continue;
            if (parse_gapless(id3parser::getValue(f, 1, cursor, false), delay, samples)) return true;
        } catch (const id3parser::parseError&) {
        }
    }
    return false;
}

bool picture_type_to_album_art_kind(uint32_t type, kpl::guid& out) {
    static const kpl::guid front = {0xF1E66F4E, 0xFE09, 0x4B94, {0x91, 0xA3, 0x67, 0xC2, 0x3E, 0xD1, 0x44, 0x5E}};
    static const kpl::guid back = {0xCB552D19, 0x86D5, 0x434C, {0xAC, 0x77, 0xBB, 0x24, 0xED, 0x56, 0x7E, 0xE4}};
    static const kpl::guid disc = {0x3DBA9F36, 0xF928, 0x4FA4, {0x87, 0x9C, 0xD3, 0x40, 0x47, 0x59, 0x58, 0x7E}};
    static const kpl::guid icon = {0x74CDF5B4, 0x7053, 0x4B3D, {0x9A, 0x3C, 0x54, 0x69, 0xF5, 0x82, 0x6E, 0xEC}};
    static const kpl::guid artist = {0x9A654042, 0xACD1, 0x43F7, {0xBF, 0xCF, 0xD3, 0xEC, 0x0F, 0xFE, 0x40, 0xFA}};
    switch (type) {
    case 0:
        out = kpl::guid();
        return true;
    case 1:
    case 2:
        out = icon;
        return true;
    case 3:
        out = front;
        return true;
    case 4:
        out = back;
        return true;
    case 6:
        out = disc;
        return true;
    case 7:
    case 8:
    case 10:
        out = artist;
        return true;
    default:
        return false;
    }
}
