// The sample index of a track: the cursor over "stts", "ctts" and "stsc", offsets, sizes and the summary.

#include "compressed_inputs/mp4/atomkit/sample_index.h"

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"

namespace atomkit {

namespace {

// Continues the "stsc" walk of the cursor up to sample n.
void stsc_walk(sample_cursor& c, const track_record& t, uint32_t n) {
    const std::vector<stsc_entry>& e = t.sample_to_chunk;
    uint64_t f = 1, s = 0;
    if (c.stsc_next > 0) {
        f = e[c.stsc_next - 1].first_chunk;
        s = e[c.stsc_next - 1].samples_per_chunk;
    }
    uint64_t r = c.run_first_sample;
    while (c.stsc_next < e.size()) {
        const uint64_t first = e[c.stsc_next].first_chunk;
        const uint64_t d = r + (first - f) * s;
        if (n < d) break;
        f = first;
        s = e[c.stsc_next].samples_per_chunk;
        r = d;
        ++c.stsc_next;
    }
    const uint64_t chunk = s != 0 ? (n - r) / s + f : 1;
    c.chunk = uint32_t(chunk);
    c.chunk_first_sample = uint32_t((chunk - f) * s + r);
    c.run_first_sample = uint32_t(r);
}

}  // namespace

uint64_t chunk_offset(const track_record& t, uint32_t k) {
    if (t.chunk_offsets.empty()) return 8;
    if (k == 0) throw exception_out_of_range();
    if (k > t.chunk_offsets.size()) return t.chunk_offsets.back();
    return t.chunk_offsets[k - 1];
}

uint32_t sample_size(const track_record& t, uint32_t n) {
    if (t.constant_sample_size) return t.constant_sample_size;
    if (n >= t.sample_sizes.size()) throw exception_out_of_range();
    return t.sample_sizes[n];
}

uint64_t samples_size(const track_record& t, uint32_t a, uint32_t n) {
    if (t.constant_sample_size) return uint64_t(t.constant_sample_size) * (n - a);
    if (n >= t.sample_sizes.size() && n > a) throw exception_out_of_range();
    uint64_t total = 0;
    for (uint32_t i = a; i < n; ++i) total += t.sample_sizes[i];
    return total;
}

void cursor_seek(sample_cursor& c, const track_record& t, uint32_t n) {
    c = sample_cursor();
    c.sample = n;
    uint64_t before = 0;
    for (size_t i = 0; i < t.composition_offsets.size(); ++i) {
        const uint64_t count = t.composition_offsets[i].count;
        if (n < before + count) {
            c.ctts_entry = int64_t(i);
            c.ctts_pos = int64_t(n - before);
            break;
        }
        before += count;
    }
    before = 0;
    uint64_t time = 0;
    for (size_t i = 0; i < t.time_to_sample.size(); ++i) {
        const stts_entry& e = t.time_to_sample[i];
        if (n < before + e.count) {
            c.stts_entry = int64_t(i);
            c.stts_pos = int64_t(n - before);
            time += (n - before) * uint64_t(e.delta);
            break;
        }
        before += e.count;
        time += uint64_t(e.count) * e.delta;
    }
    c.decode_time = time;
    stsc_walk(c, t, n);
    c.offset_in_chunk = samples_size(t, c.chunk_first_sample, n);
}

bool cursor_next(sample_cursor& c, const track_record& t) {
    if (uint64_t(c.sample) + 1 >= t.sample_count) return false;
    const uint32_t previous = c.sample;
    const uint32_t previous_chunk = c.chunk;
    ++c.sample;
    if (c.ctts_entry >= 0) {
        if (uint64_t(++c.ctts_pos) >= t.composition_offsets[size_t(c.ctts_entry)].count) {
            c.ctts_pos = 0;
            // Entries with a count of 0 hold no sample.
            do {
                ++c.ctts_entry;
            } while (size_t(c.ctts_entry) < t.composition_offsets.size() &&
                     t.composition_offsets[size_t(c.ctts_entry)].count == 0);
            if (size_t(c.ctts_entry) >= t.composition_offsets.size()) c.ctts_entry = c.ctts_pos = -1;
        }
    }
    if (c.stts_entry >= 0) {
        c.decode_time += t.time_to_sample[size_t(c.stts_entry)].delta;
        if (uint64_t(++c.stts_pos) >= t.time_to_sample[size_t(c.stts_entry)].count) {
            c.stts_pos = 0;
            do {
                ++c.stts_entry;
            } while (size_t(c.stts_entry) < t.time_to_sample.size() && t.time_to_sample[size_t(c.stts_entry)].count == 0);
            if (size_t(c.stts_entry) >= t.time_to_sample.size()) c.stts_entry = c.stts_pos = -1;
        }
    }
    stsc_walk(c, t, c.sample);
    if (c.chunk == previous_chunk) {
        c.offset_in_chunk += sample_size(t, previous);
    } else {
        c.offset_in_chunk = samples_size(t, c.chunk_first_sample, c.sample);
    }
    return true;
}

sample_info cursor_info(const sample_cursor& c, const track_record& t) {
    sample_info i;
    if (c.stts_entry >= 0) {
        i.duration = t.time_to_sample[size_t(c.stts_entry)].delta;
    }
    if (c.ctts_entry >= 0) i.composition_offset = t.composition_offsets[size_t(c.ctts_entry)].offset;
    i.composition_time = c.stts_entry >= 0 ? c.decode_time + i.composition_offset : 0;
    i.time_scale = t.time_scale;
    i.file_offset = chunk_offset(t, c.chunk) + c.offset_in_chunk;
    i.size = sample_size(t, c.sample);
    return i;
}

uint32_t time_to_sample(const track_record& t, uint64_t ticks, uint64_t& remainder) {
    uint64_t time = 0, sample = 0;
    for (const stts_entry& e : t.time_to_sample) {
        const uint64_t span = uint64_t(e.count) * e.delta;
        if (ticks < time + span) {
            const uint64_t in = ticks - time;
            remainder = in % e.delta;
            return uint32_t(sample + in / e.delta);
        }
        time += span;
        sample += e.count;
    }
    throw exception_out_of_range();
}

uint64_t priming(const track_record& t) {
    if (t.kind != kind_mp4a) return 0;
    uint64_t p = 0;
    for (const ctts_entry& e : t.composition_offsets) {
        if (e.count != 0) {
            p = e.offset;
            break;
        }
    }
    if ((t.media_duration >> 32) == 0 && p > t.media_duration) p = t.media_duration;
    return p;
}

track_summary summary(const track_record& t) {
    track_summary s;
    s.sample_rate = t.sample_rate;
    s.channels = t.channels;
    s.bits_per_sample = t.bits_per_sample;
    s.time_scale = t.time_scale;
    s.sample_count = t.sample_count;
    s.media_duration = t.media_duration;
    s.width = t.width;
    s.height = t.height;
    s.priming = priming(t);
    s.max_bitrate = t.max_bitrate;
    if (t.media_duration != 0 && t.media_duration != unknown_duration) {
        uint64_t bytes = 0;
        if (t.constant_sample_size) {
            bytes = uint64_t(t.constant_sample_size) * t.sample_count;
        } else {
            for (uint32_t v : t.sample_sizes) bytes += v;
        }
        s.bitrate = bytes ? bytes * 8 * t.time_scale / t.media_duration : 0;
    } else {
        s.bitrate = t.avg_bitrate;
    }
    return s;
}

}  // namespace atomkit
