#include "compressed_inputs/matroska/matroska_index.h"

#include "foundation/kpl/io_exceptions.h"

namespace Matroska {

namespace {

class ebml_header_handler final : public ebml_element_handler {
public:
    void child(uint32_t element, uint64_t, ebml_reader& reader) override {
        if (element == id::ebml_read_version) {
            if (read_unsigned(reader) > 1) throw ketrel_io::exception_io_data();
        } else if (element == id::doc_type_read_version) {
            if (read_unsigned(reader) > 2) throw ketrel_io::exception_io_data();
        } else if (element == id::doc_type) {
            doctype = read_ascii_string(reader);
        }
    }
    std::string doctype;
};

// The entries of one SeekHead (the reader limited to its data).
void read_seek_entries(matroska_index& index, ebml_reader& reader) {
    auto seek_head = make_handler([&](uint32_t element, uint64_t, ebml_reader& r) {
        if (element != id::seek) return;
        uint32_t target = 0;
        bool has_position = false;
        uint64_t position = 0;
        auto entry = make_handler([&](uint32_t child, uint64_t, ebml_reader& e) {
            if (child == id::seek_id) {
                std::vector<uint8_t> bytes = read_binary(e);
                if (!ebml_parse_id(bytes.data(), bytes.size(), target)) throw ketrel_io::exception_io_data();
            } else if (child == id::seek_position) {
                position = read_unsigned(e);
                has_position = true;
            }
        });
        ebml_walk_children(r, entry);
        if (target == 0 || !has_position || position >= index.segment_size) throw ketrel_io::exception_io_data();
        index.positions[target].insert(index.segment_data_start + position);
    });
    ebml_walk_children(reader, seek_head);
}

class segment_scan_handler final : public ebml_element_handler {
public:
    explicit segment_scan_handler(matroska_index& index) : m_index(index) {}
    void begin(ebml_reader& reader) override {
        m_index.segment_data_start = reader.position();
        m_index.segment_size = reader.remaining();
    }
    void child(uint32_t element, uint64_t, ebml_reader& reader) override {
        m_index.positions[element].insert(child_start);
        if (element == id::seek_head) {
            read_seek_entries(m_index, reader);
            m_index.seekheads_parsed.insert(child_start);
        }
    }
    bool want_more() override {
        if (m_index.has(id::seek_head)) return false;
        return !(m_index.has(id::tracks) && m_index.has(id::info) && m_index.has(id::chapters) &&
                 m_index.has(id::cues));
    }

private:
    matroska_index& m_index;
};

class top_level_handler final : public ebml_element_handler {
public:
    explicit top_level_handler(matroska_index& index) : m_segment(index), m_index(index) {}
    void child(uint32_t element, uint64_t, ebml_reader& reader) override {
        if (element == id::ebml) {
            ebml_parse_once(m_header, reader);
            if (m_header.doctype != "matroska" && m_header.doctype != "webm") {
                std::string text = "Unsupported document type: \"" + m_header.doctype + "\"";
                throw ketrel_io::exception_io_data(text.c_str());
            }
            m_index.doctype = m_header.doctype;
        } else if (element == id::segment) {
            if (m_segment.parsed) throw ketrel_io::exception_io_data();
            m_index.segment_position = child_start;
            ebml_parse_once(m_segment, reader);
        }
    }
    void end() override {
        if (!m_header.parsed || !m_segment.parsed) throw ketrel_io::exception_io_data();
    }

private:
    ebml_header_handler m_header;
    segment_scan_handler m_segment;
    matroska_index& m_index;
};

}  // namespace

void matroska_scan(matroska_index& index, ebml_reader& reader) {
    const uint64_t size = reader.size();
    reader.reset(0, size);
    // Junk before the header: up to the first 0x1A byte.
    uint64_t start = 0;
    for (;;) {
        if (reader.at_end()) throw ketrel_io::exception_io_data();
        uint8_t chunk[1024];
        const uint64_t n = reader.remaining() < sizeof chunk ? reader.remaining() : sizeof chunk;
        reader.read(chunk, n);
        uint64_t i = 0;
        while (i < n && chunk[i] != 0x1A) ++i;
        if (i < n) {
            start += i;
            break;
        }
        start += n;
    }
    reader.reset(start, size);
    top_level_handler top(index);
    ebml_walk_children(reader, top);

    // Follow the SeekHeads, also those that other SeekHeads point at.
    for (;;) {
        auto it = index.positions.find(id::seek_head);
        if (it == index.positions.end() || it->second.size() <= index.seekheads_parsed.size()) break;
        const std::set<uint64_t> heads = it->second;
        bool any = false;
        for (uint64_t p : heads) {
            if (index.seekheads_parsed.count(p)) continue;
            any = true;
            reader.reset(p, index.segment_end());
            if (ebml_read_id(reader) != id::seek_head) throw ketrel_io::exception_io_data();
            const uint64_t length = ebml_read_size(reader);
            reader.check(length);
            reader.set_remaining(length);
            read_seek_entries(index, reader);
            index.seekheads_parsed.insert(p);
        }
        if (!any) break;
    }
}

uint64_t matroska_read_single(matroska_index& index, ebml_reader& reader, uint32_t element,
                              ebml_element_handler& handler) {
    auto it = index.positions.find(element);
    if (it == index.positions.end() || it->second.size() != 1) throw ketrel_io::exception_io_data();
    const uint64_t p = *it->second.begin();
    reader.reset(p, index.segment_end());
    ebml_read_element(reader, element, handler);
    return reader.position() - p;
}

uint64_t matroska_read_all(matroska_index& index, ebml_reader& reader, uint32_t element,
                           ebml_element_handler& handler) {
    auto it = index.positions.find(element);
    if (it == index.positions.end() || it->second.empty()) throw ketrel_io::exception_io_data();
    uint64_t total = 0;
    const std::set<uint64_t> all = it->second;
    for (uint64_t p : all) {
        reader.reset(p, index.segment_end());
        ebml_read_element(reader, element, handler);
        total += reader.position() - p;
    }
    return total;
}

void info_handler::child(uint32_t element, uint64_t, ebml_reader& reader) {
    if (element == id::timecode_scale) m_out.timecode_scale = read_unsigned(reader);
    else if (element == id::duration) m_out.duration = read_float(reader);
}

void info_handler::end() {
    if (m_out.timecode_scale == 0) throw ketrel_io::exception_io_data();
}

bool matroska_has_encodings(const matroska_track& track, uint64_t scope_bit) {
    for (const auto& e : track.encodings) {
        if (e.second.scope & scope_bit) return true;
    }
    return false;
}

void matroska_apply_encodings(const matroska_track& track, uint64_t scope_bit, std::vector<uint8_t>& data) {
    for (const auto& each : track.encodings) {
        const matroska_content_encoding& e = each.second;
        if (!(e.scope & scope_bit)) continue;
        if (e.type == 1) throw ketrel_io::exception_io_data();
        if (e.type != 0) continue;
        if (e.algorithm != 3) throw ketrel_io::exception_io_data();
        data.insert(data.begin(), e.settings.begin(), e.settings.end());
    }
}

namespace {

void read_content_encodings(matroska_track& track, ebml_reader& reader) {
    auto list = make_handler([&](uint32_t element, uint64_t, ebml_reader& r) {
        if (element != id::content_encoding) return;
        matroska_content_encoding e;
        auto encoding = make_handler([&](uint32_t child, uint64_t, ebml_reader& c) {
            if (child == id::content_encoding_order) e.order = read_unsigned(c);
            else if (child == id::content_encoding_scope) e.scope = read_unsigned(c);
            else if (child == id::content_encoding_type) e.type = read_unsigned(c);
            else if (child == id::content_compression) {
                auto compression = make_handler([&](uint32_t k, uint64_t, ebml_reader& x) {
                    if (k == id::content_comp_algo) e.algorithm = read_unsigned(x);
                    else if (k == id::content_comp_settings) e.settings = read_binary(x);
                });
                ebml_walk_children(c, compression);
            }
        });
        ebml_walk_children(r, encoding);
        if (e.scope > 3) throw ketrel_io::exception_io_data();
        track.encodings.emplace(e.order, std::move(e));  // a repeated order keeps the first
    });
    ebml_walk_children(reader, list);
}

}  // namespace

void tracks_handler::child(uint32_t element, uint64_t, ebml_reader& reader) {
    if (element != id::track_entry) return;
    m_any = true;
    matroska_track t;
    auto audio = make_handler([&](uint32_t child, uint64_t, ebml_reader& r) {
        if (child == id::sampling_frequency) t.sample_rate = read_float(r);
        else if (child == id::output_sampling_frequency) t.output_sample_rate = read_float(r);
        else if (child == id::channels) t.channels = read_unsigned32(r);
        else if (child == id::bit_depth) t.bits_per_sample = read_unsigned32(r);
    });
    bool encodings_seen = false;
    auto entry = make_handler([&](uint32_t child, uint64_t, ebml_reader& r) {
        switch (child) {
        case id::track_type: t.type = read_unsigned32(r); break;
        case id::track_number: t.number = read_unsigned32(r); break;
        case id::track_uid: t.uid = read_unsigned_nonzero(r); break;
        case id::flag_enabled: t.enabled = read_boolean(r); break;
        case id::flag_default: t.is_default = read_boolean(r); break;
        case id::flag_forced: t.forced = read_boolean(r); break;
        case id::codec_id: t.codec_id = read_ascii_string(r); break;
        case id::codec_private: t.codec_private = read_binary(r); break;
        case id::codec_delay: t.codec_delay = read_unsigned(r); break;
        case id::audio:
            ebml_parse_once(audio, r);
            t.audio_seen = true;
            break;
        case id::content_encodings:
            if (encodings_seen) throw ketrel_io::exception_io_data();
            encodings_seen = true;
            read_content_encodings(t, r);
            break;
        default: break;
        }
    });
    ebml_walk_children(reader, entry);
    if (t.uid == 0 || t.type == -1 || (t.type == 2 && !t.audio_seen)) throw ketrel_io::exception_io_data();
    matroska_apply_encodings(t, 2, t.codec_private);
    m_out.push_back(std::move(t));
}

void tracks_handler::end() {
    if (!m_any) throw ketrel_io::exception_io_data();
}

void chapters_handler::child(uint32_t element, uint64_t, ebml_reader& reader) {
    if (element != id::edition_entry) return;
    std::vector<matroska_chapter> atoms;
    bool hidden = false, has_uid = false;
    auto edition = make_handler([&](uint32_t child, uint64_t, ebml_reader& r) {
        if (child == id::edition_uid) {
            if (has_uid) throw ketrel_io::exception_io_data();
            read_unsigned_nonzero(r);
            has_uid = true;
        } else if (child == id::edition_flag_hidden) {
            hidden = read_boolean(r);
        } else if (child == id::edition_flag_default) {
            read_boolean(r);
        } else if (child == id::chapter_atom) {
            matroska_chapter c;
            bool display_seen = false;
            auto atom = make_handler([&](uint32_t k, uint64_t, ebml_reader& a) {
                if (k == id::chapter_uid) c.uid = read_unsigned(a);
                else if (k == id::chapter_time_start) c.start = read_unsigned(a);
                else if (k == id::chapter_time_end) c.end = read_unsigned(a);
                else if (k == id::chapter_flag_hidden) c.hidden = read_boolean(a);
                else if (k == id::chapter_flag_enabled) c.enabled = read_boolean(a);
                else if (k == id::chapter_display && !display_seen) {
                    display_seen = true;
                    auto display = make_handler([&](uint32_t d, uint64_t, ebml_reader& x) {
                        if (d == id::chap_string) c.title = read_utf8_string(x);
                    });
                    ebml_walk_children(a, display);
                }
            });
            ebml_walk_children(r, atom);
            if (c.uid == matroska_absent || c.start == matroska_absent ||
                (c.end != matroska_absent && c.end <= c.start))
                throw ketrel_io::exception_io_data();
            atoms.push_back(std::move(c));
        }
    });
    ebml_walk_children(reader, edition);
    if (!hidden) m_visible.push_back(std::move(atoms));
}

void chapters_handler::end() {
    m_out.clear();
    for (auto& edition : m_visible) m_out.insert(m_out.end(), edition.begin(), edition.end());
}

void cues_handler::child(uint32_t element, uint64_t, ebml_reader& reader) {
    if (element != id::cue_point) return;
    bool has_time = false, kept = false;
    uint64_t time = 0, position = 0;
    auto point = make_handler([&](uint32_t child, uint64_t, ebml_reader& r) {
        if (child == id::cue_time) {
            time = read_unsigned(r);
            has_time = true;
        } else if (child == id::cue_track_positions) {
            bool has_track = false, has_position = false;
            uint64_t track = 0, cluster = 0;
            auto positions = make_handler([&](uint32_t k, uint64_t, ebml_reader& p) {
                if (k == id::cue_track) {
                    track = read_unsigned(p);
                    has_track = true;
                } else if (k == id::cue_cluster_position) {
                    cluster = read_unsigned(p);
                    has_position = true;
                }
            });
            ebml_walk_children(r, positions);
            if (!has_track || !has_position) throw ketrel_io::exception_io_data();
            if (m_track >= 0 && track == static_cast<uint64_t>(m_track)) {
                position = cluster;
                kept = true;
            }
        }
    });
    ebml_walk_children(reader, point);
    if (has_time && kept) m_out[time] = position;
}

void attachments_handler::child(uint32_t element, uint64_t, ebml_reader& reader) {
    if (element != id::attached_file) return;
    matroska_attachment a;
    bool has_name = false, has_type = false, has_data = false;
    auto file = make_handler([&](uint32_t child, uint64_t size, ebml_reader& r) {
        if (child == id::file_name) {
            if (has_name) throw ketrel_io::exception_io_data();
            has_name = true;
            a.name = read_utf8_string(r);
            if (a.name.empty()) throw ketrel_io::exception_io_data();
        } else if (child == id::file_mime_type) {
            if (has_type) throw ketrel_io::exception_io_data();
            has_type = true;
            a.mime_type = read_utf8_string(r);
            if (a.mime_type.empty()) throw ketrel_io::exception_io_data();
        } else if (child == id::file_data) {
            if (has_data) throw ketrel_io::exception_io_data();
            has_data = true;
            a.data_position = r.position();
            a.data_size = size;
        }
    });
    ebml_walk_children(reader, file);
    if (!has_data || !has_name) throw ketrel_io::exception_io_data();
    m_out.push_back(std::move(a));
}

}  // namespace Matroska
