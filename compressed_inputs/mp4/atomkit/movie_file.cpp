// The file model: the top-level scan, the decode range and the chapter list.

#include "compressed_inputs/mp4/atomkit/movie_file.h"

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/atom_stream.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "compressed_inputs/mp4/atomkit/movie_parser.h"
#include "compressed_inputs/mp4/atomkit/sample_index.h"

namespace atomkit {

uint64_t to_ticks(uint64_t value, uint32_t time_scale) {
    if (time_scale == 0) throw exception_invalid_timescale();
    return (value * 10000000u + time_scale / 2) / time_scale;
}

bool parse_itunsmpb(const std::string& value, uint64_t& delay, uint64_t& length) {
    uint64_t fields[4] = {0, 0, 0, 0};
    size_t field = 0, i = 0;
    while (i < value.size() && value[i] == ' ') ++i;
    while (i < value.size()) {
        uint64_t v = 0;
        for (; i < value.size() && value[i] != ' '; ++i) {
            const char c = value[i];
            uint32_t d = 0;
            if (c >= '0' && c <= '9') d = uint32_t(c - '0');
            else if (c >= 'a' && c <= 'f') d = uint32_t(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') d = uint32_t(c - 'A' + 10);
            v = v << 4 | d;
        }
        if (field < 4) fields[field] = v;
        ++field;
        while (i < value.size() && value[i] == ' ') ++i;
    }
    delay = fields[1];
    length = fields[3];
    return length != 0 && delay + length >= delay;
}

void movie_file::reset() { *this = movie_file(); }

void movie_file::open(byte_stream& s, uint32_t open_flags, bool allow_unoptimized) {
    flags = open_flags;
    scan_movie(s, allow_unoptimized);
    if (movie_duration == 0 || movie_time_scale == 0) throw exception("invalid or missing mvhd data");
    build_chapters();
}

void movie_file::scan_movie(byte_stream& s, bool allow_unoptimized) {
    uint64_t position = 0;
    data_end = 0;
    bool moov_found = false;
    for (;;) {
        box_header h;
        if (!read_box_header(s, h, true)) {
            if (moov_found) return;
            throw exception("moov box not found");
        }
        data_end = position + h.header_size + h.payload_size;
        if (!allow_unoptimized && h.type == fourcc("mdat")) {
            if (moov_found) return;
            throw exception("attempting to stream a non-optimized file");
        }
        if (h.type == fourcc("moov")) {
            if (moov_found) throw exception("duplicate moov box");
            moov_offset = position;
            moov_size = h.header_size + h.payload_size;
            moov_found = true;
            s.check_available(h.payload_size);
            atom_stream child(s, h.payload_size);
            parse_movie_box(*this, child, h.payload_size);
            child.finish();
        } else {
            try {
                s.skip_exact(h.payload_size);
            } catch (const exception_truncation&) {
                if (h.type == fourcc("mdat") && moov_found) return;
                if (h.type == fourcc("mdat")) throw exception("moov box not found");
                throw;
            }
        }
        position += h.header_size + h.payload_size;
    }
}

double movie_file::chapter_start_seconds(size_t i) const {
    if (i >= chapters.size()) throw exception_out_of_range();
    return double(chapters[i].start) * 1e-7;
}

double movie_file::chapter_end_seconds(size_t i) const {
    if (i >= chapters.size()) throw exception_out_of_range();
    if (i + 1 < chapters.size()) return chapter_start_seconds(i + 1);
    return double(end_ticks) * 1e-7;
}

uint32_t movie_file::audio_time_scale() const {
    for (const track_ptr& t : tracks) {
        if (is_audio_kind(t->kind) && t->time_scale != 0) return t->time_scale;
    }
    return 0;
}

void movie_file::build_chapters() {
    fields.clear();
    if (ud.has_ilst) fields = ud.ilst_fields;
    if (ud.has_tags) {
        for (const auto& f : ud.tags_fields) {
            fields.erase(f.first);
            fields.insert(f);
        }
    }
    pictures.clear();
    if (ud.has_tags && !ud.tags_pictures.empty()) pictures = ud.tags_pictures;
    else if (ud.has_ilst && ud.cover) pictures.push_back(ud.cover);

    uint64_t start = 0, end = 0;
    bool itunsmpb_used = false;
    auto smpb = ud.ilst_fields.find("ITUNSMPB");
    uint64_t delay = 0, length = 0;
    const uint32_t scale = audio_time_scale();
    if (ud.has_ilst && smpb != ud.ilst_fields.end() && !smpb->second.values.empty() && scale != 0 &&
        parse_itunsmpb(smpb->second.values[0], delay, length)) {
        start = to_ticks(delay, scale);
        end = to_ticks(delay + length, scale);
        itunsmpb_used = true;
    } else {
        bool video_present = false;
        for (const track_ptr& t : tracks) {
            if (is_audio_kind(t->kind)) {
                start = to_ticks(priming(*t), t->time_scale);
                // An unknown media duration gives the track no end of its own: the movie's is used.
                end = t->media_duration == unknown_duration ? to_ticks(movie_duration, movie_time_scale)
                                                            : to_ticks(t->media_duration, t->time_scale);
            } else if (is_video_kind(t->kind)) {
                video_present = true;
            }
        }
        if (video_present || end <= start) {
            end = to_ticks(movie_duration, movie_time_scale);
            start = 0;
        }
    }
    end_ticks = end;

    chapters.clear();
    const size_t n = ud.chpl_chapters.size();
    if (n == 0 || (n == 1 && itunsmpb_used)) {
        chapter_entry c;
        c.fields = fields;
        c.start = int64_t(start);
        chapters.push_back(std::move(c));
    } else {
        for (size_t i = 0; i < n; ++i) {
            chapter_entry c;
            c.start = int64_t(ud.chpl_chapters[i].start);
            c.fields = fields;
            if (!ud.chpl_chapters[i].title.empty() && c.fields.find("title") == c.fields.end()) {
                c.fields["title"].values.push_back(ud.chpl_chapters[i].title);
            }
            const tag_segment* segment = nullptr;
            if (ud.has_tags) {
                for (const tag_segment& s : ud.tag_segments) {
                    if (s.chapter == i) {
                        segment = &s;
                        break;
                    }
                }
            }
            if (segment) {
                for (const auto& f : segment->fields) {
                    c.fields.erase(f.first);
                    c.fields.insert(f);
                }
            } else if (!ud.has_tags && n > 1 && c.fields.find("track") == c.fields.end()) {
                c.fields["track"].values.push_back(std::to_string(i + 1));
            }
            chapters.push_back(std::move(c));
        }
    }
    if (ud.index_map.size() != chapters.size()) ud.index_map.clear();
}

void movie_file::prepare_user_data(uint32_t mode) {
    ud.has_ilst = false;
    ud.has_tags = false;
    field_set common;
    if (!chapters.empty()) {
        for (const auto& f : chapters[0].fields) {
            bool everywhere = true;
            for (size_t i = 1; i < chapters.size() && everywhere; ++i) {
                auto it = chapters[i].fields.find(f.first);
                everywhere = it != chapters[i].fields.end() && it->second == f.second;
            }
            if (everywhere) common.insert(f);
        }
    }
    fields = common;
    if (mode & 1) {
        ud.has_ilst = true;
        ud.ilst_fields = common;
        ud.cover.reset();
        for (const picture_ptr& p : pictures) {
            if (p->name == "front cover" && p->index == 0) {
                ud.cover = p;
                break;
            }
        }
    }
    if (mode & 2) {
        ud.has_tags = true;
        ud.tags_fields = common;
        ud.tags_pictures = pictures;
        ud.tag_segments.clear();
        for (size_t c = 0; c < chapters.size(); ++c) {
            tag_segment seg;
            seg.chapter = uint32_t(c);
            for (const auto& f : chapters[c].fields) {
                auto it = common.find(f.first);
                if (it == common.end() || it->second != f.second) seg.fields.insert(f);
            }
            ud.tag_segments.push_back(std::move(seg));
        }
    }
}

}  // namespace atomkit
