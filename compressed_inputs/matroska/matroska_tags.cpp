#include "compressed_inputs/matroska/matroska_tags.h"

#include <functional>
#include <set>

#include "compressed_inputs/matroska/ebml_writer.h"
#include "compressed_inputs/matroska/matroska_file.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/replaygain.h"

namespace Matroska {

const char* const reserved_field_name = "{E795F63E-6219-4848-A38C-E69BA4094667}";

bool nocase_less::operator()(const std::string& a, const std::string& b) const {
    return kpl::stricmp_ascii(a.c_str(), b.c_str()) < 0;
}

namespace {

bool same(const std::string& a, const char* b) { return kpl::stricmp_ascii(a.c_str(), b) == 0; }

struct writing_row {
    const char* field;
    const char* tag_name;
    uint64_t level;
};
const writing_row writing_table[] = {
    {"album", "TITLE", 50},
    {"title", "TITLE", 30},
    {"artist", "ARTIST", 30},
    {"album artist", "ARTIST", 50},
    {"tracknumber", "PART_NUMBER", 30},
    {"totaltracks", "TOTAL_PARTS", 50},
    {"discnumber", "PART_NUMBER", 50},
    {"totaldiscs", "TOTAL_PARTS", 60},
    {"date", "DATE_RECORDED", 50},
    {"release date", "DATE_RELEASED", 50},
    {"replaygain_track_gain", "REPLAYGAIN_GAIN", 30},
    {"replaygain_track_peak", "REPLAYGAIN_PEAK", 30},
    {"replaygain_album_gain", "REPLAYGAIN_GAIN", 50},
    {"replaygain_album_peak", "REPLAYGAIN_PEAK", 50},
};

}  // namespace

std::string matroska_field_name(const std::string& tag_name, uint64_t level) {
    struct reading_row {
        const char* tag_name;
        const char* below, *at, *above;
    };
    static const reading_row rows[] = {
        {"TITLE", "title", "album", "album"},
        {"ARTIST", "artist", "album artist", "album artist"},
        {"PART_NUMBER", "tracknumber", "discnumber", "discnumber"},
        {"TOTAL_PARTS", "totaltracks", "totaltracks", "totaldiscs"},
        {"REPLAYGAIN_GAIN", "replaygain_track_gain", "replaygain_album_gain", "replaygain_album_gain"},
        {"REPLAYGAIN_PEAK", "replaygain_track_peak", "replaygain_album_peak", "replaygain_album_peak"},
        {"DATE_RELEASED", "release date", "release date", "release date"},
        {"DATE_RECORDED", "date", "date", "date"},
    };
    for (const reading_row& r : rows) {
        if (same(tag_name, r.tag_name)) return level < 50 ? r.below : level == 50 ? r.at : r.above;
    }
    return tag_name;
}

void matroska_tag_name(const std::string& field, std::string& tag_name, uint64_t& level) {
    for (const writing_row& r : writing_table) {
        if (same(field, r.field)) {
            tag_name = r.tag_name;
            level = r.level;
            return;
        }
    }
    tag_name = field;
    level = 30;
}

tag_structure matroska_read_tags(matroska_index& index, ebml_reader& reader) {
    tag_structure out;
    if (!index.has(id::tags)) return out;
    auto tags = make_handler([&](uint32_t element, uint64_t, ebml_reader& r) {
        if (element != id::tag) return;
        bool targets_seen = false, has_level = false;
        uint64_t level = 0;
        std::set<uint64_t> track_uids, edition_uids, chapter_uids, attachment_uids;
        struct pending {
            std::string name, value;
            bool has_value = false;
            uint64_t position = 0;
        };
        std::vector<pending> records;
        class tag_handler final : public ebml_element_handler {
        public:
            explicit tag_handler(std::function<void(uint32_t, uint64_t, ebml_reader&, uint64_t)> f) : m_f(std::move(f)) {}
            void child(uint32_t k, uint64_t size, ebml_reader& t) override { m_f(k, size, t, child_start); }

        private:
            std::function<void(uint32_t, uint64_t, ebml_reader&, uint64_t)> m_f;
        };
        tag_handler tag([&](uint32_t k, uint64_t, ebml_reader& t, uint64_t start) {
            if (k == id::targets) {
                if (targets_seen) throw ketrel_io::exception_io_data();
                targets_seen = true;
                auto targets = make_handler([&](uint32_t x, uint64_t, ebml_reader& g) {
                    switch (x) {
                    case id::target_type_value: level = read_unsigned(g); has_level = true; break;
                    case id::tag_track_uid: track_uids.insert(read_unsigned(g)); break;
                    case id::tag_edition_uid: edition_uids.insert(read_unsigned(g)); break;
                    case id::tag_chapter_uid: chapter_uids.insert(read_unsigned(g)); break;
                    case id::tag_attachment_uid: attachment_uids.insert(read_unsigned(g)); break;
                    default: break;
                    }
                });
                ebml_walk_children(t, targets);
            } else if (k == id::simple_tag) {
                pending p;
                p.position = start;
                auto simple = make_handler([&](uint32_t x, uint64_t, ebml_reader& s) {
                    if (x == id::tag_name) {
                        p.name = read_utf8_string(s);
                    } else if (x == id::tag_string) {
                        if (p.has_value) throw ketrel_io::exception_io_data();
                        p.value = read_utf8_string(s);
                        p.has_value = true;
                    }
                });
                ebml_walk_children(t, simple);
                records.push_back(std::move(p));
            }
        });
        ebml_walk_children(r, tag);
        const bool file_level = (track_uids.empty() && edition_uids.empty() && chapter_uids.empty() &&
                                 attachment_uids.empty()) ||
                                chapter_uids.count(0);
        if (!has_level) level = file_level ? 50 : 30;
        auto file_into = [&](field_map& map) {
            for (const pending& p : records) {
                const std::string field = p.has_value ? matroska_field_name(p.name, level) : reserved_field_name;
                map[field].push_back(tag_record{p.value, p.name, level, p.position});
            }
        };
        if (file_level) {
            file_into(out.file);
            return;
        }
        for (uint64_t uid : chapter_uids) file_into(out.chapters[uid]);
        for (uint64_t uid : edition_uids) file_into(out.editions[uid]);
        for (uint64_t uid : track_uids) file_into(out.tracks[uid]);
        for (uint64_t uid : attachment_uids) file_into(out.attachments[uid]);
    });
    matroska_read_all(index, reader, id::tags, tags);
    return out;
}

void matroska_push_down(tag_structure& tags, const std::vector<uint64_t>& keys) {
    for (uint64_t key : keys) {
        field_map& chapter = tags.chapters[key];
        for (const auto& field : tags.file) {
            if (field.first == reserved_field_name) continue;
            std::vector<tag_record>& list = chapter[field.first];
            list.insert(list.end(), field.second.begin(), field.second.end());
        }
    }
    for (auto it = tags.file.begin(); it != tags.file.end();) {
        if (it->first == reserved_field_name) ++it;
        else it = tags.file.erase(it);
    }
}

void matroska_fill_info(const field_map& map, track_info& info) {
    info.meta_remove_all();
    info.replaygain_reset();
    for (const auto& field : map) {
        if (field.first == reserved_field_name || field.first.empty() || field.second.empty()) continue;
        if (info.replaygain_try_set_field(field.first.c_str(), field.second[0].value.c_str())) continue;
        const uint32_t i = info.meta_set(field.first.c_str(), track_info::npos, field.second[0].value.c_str(),
                                         track_info::npos);
        for (size_t j = 1; j < field.second.size(); ++j) info.meta_add_value(field.second[j].value.c_str(), i);
    }
}

void matroska_apply_info(field_map& map, const track_info& info) {
    std::set<std::string, nocase_less> noted;
    for (const auto& field : map) {
        if (field.first != reserved_field_name) noted.insert(field.first);
    }
    auto replace = [&](const std::string& name, const std::vector<std::string>& values) {
        std::string tag_name;
        uint64_t level;
        matroska_tag_name(name, tag_name, level);
        std::vector<tag_record> list;
        for (const std::string& v : values) list.push_back(tag_record{v, tag_name, level, matroska_absent});
        map[name] = std::move(list);
    };
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        const std::string name = info.meta_name(i);
        if (name == reserved_field_name) continue;
        std::vector<std::string> values;
        for (uint32_t j = 0; j < info.meta_value_count(i); ++j) values.push_back(info.meta_value(i, j));
        auto it = map.find(name);
        bool changed = it == map.end() || it->second.size() != values.size();
        for (size_t j = 0; !changed && j < values.size(); ++j) changed = it->second[j].value != values[j];
        if (changed) replace(name, values);
        noted.erase(name);
    }
    const replaygain_values rg = info.get_replaygain();
    char text[64];
    if (replaygain_gain_to_text(text, rg.album_gain)) replace("replaygain_album_gain", {text}), noted.erase("replaygain_album_gain");
    if (replaygain_gain_to_text(text, rg.track_gain)) replace("replaygain_track_gain", {text}), noted.erase("replaygain_track_gain");
    if (replaygain_peak_to_text(text, rg.album_peak)) replace("replaygain_album_peak", {text}), noted.erase("replaygain_album_peak");
    if (replaygain_peak_to_text(text, rg.track_peak)) replace("replaygain_track_peak", {text}), noted.erase("replaygain_track_peak");
    for (const std::string& name : noted) map.erase(name);
}

namespace {

void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) { out.insert(out.end(), more.begin(), more.end()); }

std::vector<uint8_t> text_element(uint32_t element, const std::string& text) {
    return ebml_element(element, std::vector<uint8_t>(text.begin(), text.end()));
}

// The Tag elements of one field map; uid_element 0 for none.
void serialise_map(const field_map& map, uint32_t uid_element, uint64_t uid, ebml_reader& reader,
                   matroska_index& index, std::vector<uint8_t>& out) {
    bool open = false;
    uint64_t level = 0;
    std::vector<uint8_t> tag;
    auto close = [&] {
        if (open) append(out, ebml_element(id::tag, tag));
        open = false;
    };
    for (const auto& field : map) {
        for (const tag_record& r : field.second) {
            if (!open || r.level != level) {
                close();
                std::vector<uint8_t> targets;
                if (uid_element) append(targets, ebml_element(uid_element, ebml_unsigned_bytes(uid)));
                append(targets, ebml_element(id::target_type_value, ebml_unsigned_bytes(r.level)));
                tag = ebml_element(id::targets, targets);
                open = true;
                level = r.level;
            }
            std::vector<uint8_t> simple;
            if (r.position == matroska_absent) {
                append(simple, text_element(id::tag_name, r.tag_name));
                append(simple, text_element(id::tag_string, r.value));
                append(simple, text_element(id::tag_language, "und"));
                append(simple, ebml_element(id::tag_default, ebml_unsigned_bytes(1)));
            } else {
                reader.reset(r.position, index.segment_end());
                if (ebml_read_id(reader) != id::simple_tag) throw ketrel_io::exception_io_data();
                const uint64_t size = ebml_read_size(reader);
                reader.check(size);
                reader.set_remaining(size);
                simple = read_binary(reader);
            }
            append(tag, ebml_element(id::simple_tag, simple));
        }
    }
    close();
}

// Moves every field that all keys' chapter maps hold with equal values to the file level.
void lift_common(tag_structure& tags, const std::vector<uint64_t>& keys) {
    if (keys.empty()) return;
    const field_map& first = tags.chapters[keys[0]];
    std::vector<std::string> common;
    for (const auto& field : first) {
        if (field.first == reserved_field_name) continue;
        bool everywhere = true;
        for (size_t k = 1; everywhere && k < keys.size(); ++k) {
            const field_map& other = tags.chapters[keys[k]];
            auto it = other.find(field.first);
            everywhere = it != other.end() && it->second.size() == field.second.size();
            for (size_t j = 0; everywhere && j < field.second.size(); ++j)
                everywhere = it->second[j].value == field.second[j].value;
        }
        if (everywhere) common.push_back(field.first);
    }
    for (const std::string& name : common) {
        tags.file[name] = tags.chapters[keys[0]][name];
        for (uint64_t key : keys) tags.chapters[key].erase(name);
    }
}

}  // namespace

std::vector<uint8_t> matroska_build_tags(matroska_index& index, ebml_reader& reader,
                                         const std::map<uint64_t, track_info_packed>& staged,
                                         const std::vector<uint64_t>& keys) {
    tag_structure tags = matroska_read_tags(index, reader);
    if (staged.count(0)) {
        matroska_apply_info(tags.file, staged.at(0));
    } else if (!staged.empty()) {
        matroska_push_down(tags, keys);
        for (const auto& s : staged) matroska_apply_info(tags.chapters[s.first], s.second);
        lift_common(tags, keys);
    }
    std::vector<uint8_t> out;
    if (!tags.file.empty()) serialise_map(tags.file, 0, 0, reader, index, out);
    for (const auto& m : tags.chapters) serialise_map(m.second, id::tag_chapter_uid, m.first, reader, index, out);
    for (const auto& m : tags.editions) serialise_map(m.second, id::tag_edition_uid, m.first, reader, index, out);
    for (const auto& m : tags.tracks) serialise_map(m.second, id::tag_track_uid, m.first, reader, index, out);
    for (const auto& m : tags.attachments) serialise_map(m.second, id::tag_attachment_uid, m.first, reader, index, out);
    return out;
}

// The opened file's side.

void matroska_file::load_tags(const abort_signal& abort) {
    if (m_tags_loaded) return;
    m_tag_cache.clear();
    std::vector<uint64_t> keys;
    if (m_chapters.empty()) keys.push_back(0);
    for (const matroska_chapter& c : m_chapters) keys.push_back(c.uid);
    for (uint64_t k : keys) m_tag_cache[k];
    ebml_reader reader(m_file, abort);
    tag_structure tags = matroska_read_tags(m_index, reader);
    if (m_chapters.empty()) {
        matroska_fill_info(tags.file, m_tag_cache[0]);
    } else {
        matroska_push_down(tags, keys);
        for (uint64_t k : keys) {
            auto it = tags.chapters.find(k);
            if (it != tags.chapters.end()) matroska_fill_info(it->second, m_tag_cache[k]);
            else m_tag_cache[k].replaygain_reset();
        }
    }
    m_tags_loaded = true;
}

void matroska_file::stage_info(uint32_t subsong, const track_info& info, const abort_signal&) {
    const uint64_t key = subsong_key(subsong);
    m_staged[key] = track_info_packed(info);
}

void matroska_file::commit_info(const abort_signal& abort) {
    std::vector<uint64_t> keys;
    if (m_chapters.empty()) keys.push_back(0);
    for (const matroska_chapter& c : m_chapters) keys.push_back(c.uid);
    ebml_reader reader(m_file, abort);
    const std::vector<uint8_t> content = matroska_build_tags(m_index, reader, m_staged, keys);
    if (!matroska_place_tags(m_index, reader, content)) throw FileNotTaggable();
    m_staged.clear();
    m_tag_cache.clear();
    m_tags_loaded = false;
}

}  // namespace Matroska
