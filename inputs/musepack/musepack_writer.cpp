#include "inputs/musepack/musepack_writer.h"

#include <cstring>
#include <string>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "inputs/musepack/musepack_gain.h"
#include "inputs/musepack/musepack_packets.h"
#include "inputs/safe_rewrite.h"
#include "metadata/tags/ape_tag.h"
#include "metadata/tags/leading_id3v2.h"
#include "metadata/tags/tag_file_ops.h"

namespace {

void put16be(kpl::array<uint8_t>& out, uint16_t v) {
    out.append(static_cast<uint8_t>(v >> 8));
    out.append(static_cast<uint8_t>(v));
}

uint64_t stream_start(file_stream& file, const abort_signal& abort) {
    uint64_t tags = skip_leading_id3v2(file, 0, abort);
    return tags;
}

void remove_leading_tags(file_stream_ref& file, const char* path, const abort_signal& abort) {
    safe_rewrite rewrite(path);
    try {
        leading_id3v2_remove(rewrite, *file, abort);
        rewrite.commit(file, abort);
    } catch (...) {
        rewrite.cancel();
        throw;
    }
}

// ReplayGain into the stream; false for a stream of another kind.
bool write_stream_replaygain(file_stream& file, const replaygain_values& rg, const abort_signal& abort) {
    const uint64_t start = stream_start(file, abort);
    uint8_t magic[4];
    file.seek(start, abort);
    if (file.read(magic, 4, abort) != 4) return false;
    if (magic[0] == 'M' && magic[1] == 'P' && magic[2] == '+' && (magic[3] & 0x0F) == 7) {
        uint8_t header[20];
        file.seek(start, abort);
        file.read_exact(header, 20, abort);
        if (std::memcmp(header, magic, 4) != 0) throw ketrel_io::exception_io_data();
        auto put16 = [&](int offset, uint16_t v) {
            header[offset] = static_cast<uint8_t>(v);
            header[offset + 1] = static_cast<uint8_t>(v >> 8);
        };
        put16(8, musepack_sv7_max_level(rg.track_peak));
        put16(12, musepack_sv7_peak(rg.track_peak));
        put16(14, static_cast<uint16_t>(musepack_sv7_gain(rg.track_gain)));
        put16(16, musepack_sv7_peak(rg.album_peak));
        put16(18, static_cast<uint16_t>(musepack_sv7_gain(rg.album_gain)));
        file.seek(start, abort);
        file.write(header, 20, abort);
        return true;
    }
    if (std::memcmp(magic, "MPCK", 4) != 0) return false;

    // The first "RG" packet is rewritten in place: key, a size field of the old size, the 9-byte payload,
    // zeros up to the old size.
    struct replace_rg final : sv8_walk_callbacks {
        explicit replace_rg(const replaygain_values& values) : rg(values) {}
        bool decide(const sv8_packet& h, sv8_packet_walker& walker, const abort_signal& abort) override {
            if (!h.is("RG")) return false;
            if (h.size > 0xFFFFFFFFull) throw kpl::exception_overflow();
            kpl::array<uint8_t> field = musepack_size_field(h.size);
            if (h.size < 2 + field.count() || h.size - 2 - field.count() < 9) throw ketrel_io::exception_io_data();
            kpl::array<uint8_t> packet;
            packet.append('R');
            packet.append('G');
            for (uint32_t i = 0; i < field.count(); ++i) packet.append(field[i]);
            packet.append(1);
            put16be(packet, musepack_sv8_gain(rg.track_gain));
            put16be(packet, musepack_sv8_peak(rg.track_peak));
            put16be(packet, musepack_sv8_gain(rg.album_gain));
            put16be(packet, musepack_sv8_peak(rg.album_peak));
            while (packet.count() < h.size) packet.append(0);
            walker.overwrite(h, packet, abort);
            done = true;
            return false;
        }
        bool more() override { return !done; }
        const replaygain_values& rg;
        bool done = false;
    } callbacks(rg);
    sv8_packet_walker(file, start, nullptr).walk(callbacks, abort);
    if (!callbacks.done) throw ketrel_io::exception_io_data();
    return true;
}

bool has_replaygain(const replaygain_values& rg) {
    return rg.has_album_gain() || rg.has_track_gain() || rg.has_album_peak() || rg.has_track_peak();
}

// ReplayGain into the stream, the rest into the trailing APEv2 tag (or no trailing tag at all).
void write_info_parts(file_stream_ref& file, const char* path, const track_info& info, const abort_signal& abort) {
    track_info_store copy;
    copy.copy(info);
    if (write_stream_replaygain(*file, copy.get_replaygain(), abort)) copy.replaygain_reset();
    if (copy.meta_count() > 0 || has_replaygain(copy.get_replaygain())) {
        safe_rewrite rewrite(path);
        try {
            trailing_tags_write(rewrite, *file, tag_flag_apev2, copy, abort);
            rewrite.commit(file, abort);
        } catch (...) {
            rewrite.cancel();
            throw;
        }
    } else {
        trailing_tags_remove(*file, abort);
    }
}

bool same_values(const track_info& a, uint32_t i, const track_info& b) {
    int32_t j = b.meta_find(a.meta_name(i));
    if (j < 0 || a.meta_value_count(i) != b.meta_value_count(static_cast<uint32_t>(j))) return false;
    for (uint32_t k = 0; k < a.meta_value_count(i); ++k) {
        if (std::strcmp(a.meta_value(i, k), b.meta_value(static_cast<uint32_t>(j), k)) != 0) return false;
    }
    return true;
}

void remove_field(track_info& info, const char* name) {
    int32_t i = info.meta_find(name);
    if (i >= 0) info.meta_remove_mask(kpl::bit_mask_one(static_cast<uint32_t>(i)));
}

}  // namespace

kpl::array<uint8_t> musepack_size_field(uint64_t size, uint32_t min_bytes) {
    uint32_t n = 1;
    while (n < 8 && (size >> (7 * n)) != 0) ++n;
    if (n < min_bytes) n = min_bytes;
    kpl::array<uint8_t> out;
    for (uint32_t i = n; i-- > 0;) {
        uint8_t b = static_cast<uint8_t>((size >> (7 * i)) & 0x7F);
        if (i) b |= 0x80;
        out.append(b);
    }
    return out;
}

kpl::array<uint8_t> musepack_packet(const char key[2], const uint8_t* payload, uint32_t size) {
    // The size field counts itself: the fewest bytes that hold key + field + payload.
    uint32_t n = 1;
    while (musepack_size_field(uint64_t(2) + n + size).count() > n) ++n;
    kpl::array<uint8_t> field = musepack_size_field(uint64_t(2) + n + size, n);
    kpl::array<uint8_t> out;
    out.append(static_cast<uint8_t>(key[0]));
    out.append(static_cast<uint8_t>(key[1]));
    for (uint32_t i = 0; i < field.count(); ++i) out.append(field[i]);
    for (uint32_t i = 0; i < size; ++i) out.append(payload[i]);
    return out;
}

void musepack_write_file_info(file_stream_ref& file, const char* path, const track_info& info,
                              const abort_signal& abort) {
    remove_leading_tags(file, path, abort);
    write_info_parts(file, path, info, abort);
}

void musepack_write_chapters(file_stream_ref& file, const char* path, const std::vector<musepack_chapter_write>& chapters,
                             uint32_t sample_rate, const abort_signal& abort) {
    (void)sample_rate;
    remove_leading_tags(file, path, abort);
    const uint64_t start = stream_start(*file, abort);
    uint8_t magic[4];
    file->seek(start, abort);
    if (file->read(magic, 4, abort) != 4 || std::memcmp(magic, "MPCK", 4) != 0) throw ketrel_io::exception_io_data();
    if (chapters.empty()) return;

    // Fields every chapter has with the same values belong to the file.
    std::vector<track_info_store> per_chapter(chapters.size());
    for (size_t c = 0; c < chapters.size(); ++c) per_chapter[c].copy(*chapters[c].info);
    track_info_store file_info;
    const track_info& first = *chapters[0].info;
    for (uint32_t i = 0; i < first.meta_count(); ++i) {
        bool common = true;
        for (size_t c = 1; c < chapters.size() && common; ++c) common = same_values(first, i, *chapters[c].info);
        if (common) file_info.copy_meta_field(first, i);
    }
    const bool track_common = file_info.meta_find("tracknumber") >= 0;
    const bool disc_common = file_info.meta_find("discnumber") >= 0;
    for (uint32_t i = 0; i < file_info.meta_count(); ++i) {
        const char* name = file_info.meta_name(i);
        bool stays = (!track_common && kpl::stricmp_ascii(name, "totaltracks") == 0) ||
                     (!disc_common && kpl::stricmp_ascii(name, "totaldiscs") == 0);
        if (stays) continue;
        for (track_info_store& c : per_chapter) remove_field(c, name);
    }
    if (!track_common) remove_field(file_info, "totaltracks");
    if (!disc_common) remove_field(file_info, "totaldiscs");
    replaygain_values rg = first.get_replaygain();
    for (size_t c = 1; c < chapters.size(); ++c) {
        replaygain_values other = chapters[c].info->get_replaygain();
        if (other.album_gain != rg.album_gain) rg.album_gain = replaygain_values::gain_invalid;
        if (other.track_gain != rg.track_gain) rg.track_gain = replaygain_values::gain_invalid;
        if (other.album_peak != rg.album_peak) rg.album_peak = replaygain_values::peak_invalid;
        if (other.track_peak != rg.track_peak) rg.track_peak = replaygain_values::peak_invalid;
    }
    file_info.set_replaygain(rg);

    // The new "CT" packets, each at the start the chapter had.
    kpl::array<kpl::array<uint8_t>> payloads;
    for (size_t c = 0; c < chapters.size(); ++c) {
        if (c > 0 && chapters[c].start <= chapters[c - 1].start) throw ketrel_io::exception_io_data();
        kpl::array<uint8_t> payload = musepack_size_field(chapters[c].start);
        replaygain_values crg = per_chapter[c].get_replaygain();
        put16be(payload, musepack_sv8_gain(crg.track_gain));
        put16be(payload, musepack_sv8_peak(crg.track_peak));
        per_chapter[c].replaygain_reset();
        ape_item_list items;
        ape_items_from_info(per_chapter[c], items);
        kpl::array<uint8_t> body;
        ape_body_serialize(items, body);
        for (uint32_t i = 0; i < body.count(); ++i) payload.append(body[i]);
        payloads.append(std::move(payload));
    }

    // Every old "CT" packet is dropped and the new ones go right before "SE", where the chapters of a
    // stream are looked for. The whole new file goes beside the old one, which is replaced only once the
    // new one is complete.
    struct place_chapters final : sv8_walk_callbacks {
        explicit place_chapters(const kpl::array<kpl::array<uint8_t>>& p) : payloads(p) {}
        void before(const sv8_packet& h, sv8_packet_walker& walker, const abort_signal& abort) override {
            if (!h.is("SE")) return;
            for (const kpl::array<uint8_t>& payload : payloads) walker.write_packet("CT", payload.data(), payload.count(), abort);
        }
        bool decide(const sv8_packet& h, sv8_packet_walker&, const abort_signal&) override { return h.is("CT"); }
        const kpl::array<kpl::array<uint8_t>>& payloads;
    } callbacks(payloads);
    safe_rewrite rewrite(path);
    try {
        file_stream_ref out;
        if (!rewrite.begin(out, abort)) throw ketrel_io::exception_io_denied();
        if (!sv8_packet_walker(*file, start, out.get()).walk(callbacks, abort)) throw ketrel_io::exception_io_data();
        out.reset();
        rewrite.commit(file, abort);
    } catch (...) {
        rewrite.cancel();
        throw;
    }
    write_info_parts(file, path, file_info, abort);
}
