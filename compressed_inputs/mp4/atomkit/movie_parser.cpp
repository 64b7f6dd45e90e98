// The movie box: movie header, tracks, media headers and sample tables.

#include "compressed_inputs/mp4/atomkit/movie_parser.h"

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "compressed_inputs/mp4/atomkit/movie_file.h"
#include "compressed_inputs/mp4/atomkit/parse_flags.h"

namespace atomkit {

namespace {

uint8_t read_u8(byte_stream& s) {
    uint8_t b;
    s.read_exact(&b, 1);
    return b;
}

// Version byte and three flag bytes, then the entry count, checked against what the box holds.
uint32_t table_head(byte_stream& s, uint64_t entry_bytes) {
    s.skip_exact(4);
    const uint32_t n = read_u32(s);
    s.check_available(uint64_t(n) * entry_bytes);
    return n;
}

class stbl_visitor final : public box_visitor {
public:
    stbl_visitor(track_record& t, uint32_t flags) : m_t(t), m_flags(flags) {}
    void on_box(atom_stream& s, uint32_t type, uint64_t size) override {
        const uint32_t k = m_t.kind;
        if (k != kind_none) {
            if (is_audio_kind(k) && !(m_flags & parse_audio_tracks)) return;
            if (is_video_kind(k) && !(m_flags & parse_video_tracks)) return;
            if (!is_audio_kind(k) && !is_video_kind(k)) return;
        }
        const bool tables = (m_flags & parse_sample_tables) != 0;
        if (type == fourcc("stsd")) {
            parse_sample_description(m_t, s, size, m_flags);
        } else if (type == fourcc("stts")) {
            if (m_t.has_stts) throw exception("duplicate stts data");
            m_t.has_stts = true;
            const uint32_t n = table_head(s, 8);
            m_t.time_to_sample.resize(n);
            uint32_t total = 0;
            for (stts_entry& e : m_t.time_to_sample) {
                e.count = read_u32(s);
                e.delta = read_u32(s);
                total += e.count;
            }
            m_t.sample_count = total;
        } else if (type == fourcc("stsz")) {
            s.skip_exact(4);
            m_t.constant_sample_size = read_u32(s);
            const uint32_t n = read_u32(s);
            if (m_t.constant_sample_size == 0) read_u32_array(s, m_t.sample_sizes, n);
        } else if (type == fourcc("stsc") && tables) {
            const uint32_t n = table_head(s, 12);
            m_t.sample_to_chunk.resize(n);
            for (stsc_entry& e : m_t.sample_to_chunk) {
                e.first_chunk = read_u32(s);
                e.samples_per_chunk = read_u32(s);
                e.description_index = read_u32(s);
            }
        } else if (type == fourcc("stco") && tables) {
            s.skip_exact(4);
            read_u32_array_widened(s, m_t.chunk_offsets, read_u32(s));
        } else if (type == fourcc("co64") && tables) {
            s.skip_exact(4);
            read_u64_array(s, m_t.chunk_offsets, read_u32(s));
        } else if (type == fourcc("ctts")) {
            if (is_video_kind(k) && !tables) return;
            if (!m_t.composition_offsets.empty()) throw exception("duplicate ctts data");
            const uint32_t n = table_head(s, 8);
            m_t.composition_offsets.resize(n);
            for (ctts_entry& e : m_t.composition_offsets) {
                e.count = read_u32(s);
                e.offset = read_u32(s);
            }
        } else if (type == fourcc("stss") && tables) {
            const uint32_t n = table_head(s, 4);
            m_t.sync_samples.resize(n);
            uint32_t previous = 0;
            for (uint32_t& v : m_t.sync_samples) {
                const uint32_t number = read_u32(s);
                if (number <= previous) throw exception("invalid stss data");
                previous = number;
                v = number - 1;
            }
        }
    }

private:
    track_record& m_t;
    uint32_t m_flags;
};

// "trak", "mdia" and "minf": each hands one or two child types on.
class track_visitor final : public box_visitor {
public:
    track_visitor(track_record& t, uint32_t flags) : m_t(t), m_flags(flags) {}
    void on_box(atom_stream& s, uint32_t type, uint64_t size) override {
        if (type == fourcc("mdia") || type == fourcc("minf")) {
            walk_children(s, size, *this);
        } else if (type == fourcc("stbl")) {
            stbl_visitor v(m_t, m_flags);
            walk_children(s, size, v);
        } else if (type == fourcc("mdhd")) {
            const uint8_t version = read_u8(s);
            s.skip_exact(3);
            if (version == 1) {
                read_u64(s);
                read_u64(s);
                m_t.time_scale = read_u32(s);
                m_t.media_duration = read_u64(s);
            } else if (version == 0) {
                read_u32(s);
                read_u32(s);
                m_t.time_scale = read_u32(s);
                const uint32_t d = read_u32(s);
                m_t.media_duration = d == 0xFFFFFFFF ? unknown_duration : d;
            } else {
                throw exception("unknown mdhd version");
            }
            if (m_t.time_scale == 0) throw exception_invalid_timescale();
            read_u16(s);
            read_u16(s);
        }
    }

private:
    track_record& m_t;
    uint32_t m_flags;
};

// "trak" holds "mdia" only; the shared visitor above also takes "minf" and "stbl", which sit deeper.
class trak_visitor final : public box_visitor {
public:
    trak_visitor(track_record& t, uint32_t flags) : m_inner(t, flags) {}
    void on_box(atom_stream& s, uint32_t type, uint64_t size) override {
        if (type == fourcc("mdia")) m_inner.on_box(s, type, size);
    }

private:
    track_visitor m_inner;
};

class moov_visitor final : public box_visitor {
public:
    explicit moov_visitor(movie_file& m) : m_model(m) {}
    void on_box(atom_stream& s, uint32_t type, uint64_t size) override {
        if (type == fourcc("mvhd")) {
            const uint8_t version = read_u8(s);
            s.skip_exact(3);
            if (version == 0) {
                read_u32(s);
                read_u32(s);
                m_model.movie_time_scale = read_u32(s);
                m_model.movie_duration = read_u32(s);
            } else if (version == 1) {
                read_u64(s);
                read_u64(s);
                m_model.movie_time_scale = read_u32(s);
                m_model.movie_duration = read_u64(s);
            } else {
                throw exception("unknown mvhd version");
            }
        } else if (type == fourcc("trak")) {
            auto t = std::make_shared<track_record>();
            try {
                trak_visitor v(*t, m_model.flags);
                walk_children(s, size, v);
            } catch (const exception&) {
                return;  // a damaged track is left out; the bounded child stream skips its rest
            }
            m_model.tracks.push_back(t);
        } else if (type == fourcc("udta")) {
            read_user_data(s, size, m_model.flags, m_model.ud);
        }
    }

private:
    movie_file& m_model;
};

}  // namespace

void parse_movie_box(movie_file& model, byte_stream& s, uint64_t size) {
    moov_visitor v(model);
    walk_children(s, size, v);
}

}  // namespace atomkit
