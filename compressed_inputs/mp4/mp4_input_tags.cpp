// mp4_input_core: track info from the chapters' fields, staging new fields and committing them.

#include <cstring>
#include <string>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/retag_writer.h"
#include "compressed_inputs/mp4/atomkit/structure_check.h"
#include "compressed_inputs/mp4/mp4_exceptions.h"
#include "compressed_inputs/mp4/mp4_input_core.h"
#include "compressed_inputs/mp4/mp4_stream_adapter.h"
#include "foundation/kpl/text_compare.h"
#include "inputs/field_value_map.h"
#include "metadata/replaygain.h"

namespace {

bool is_replaygain_name(const std::string& name) {
    return name.size() >= 11 && kpl::stricmp_ascii_counted(name.data(), 11, "replaygain_", 11) == 0;
}

}  // namespace

// atomkit's errors (a chapter index out of range, the writer's "invalid box/atom header") leave as the
// program's own I/O data error.
template <class F>
void translated_tags(F f) {
    try {
        f();
    } catch (const atomkit::exception&) {
        throw exception_io_data_atomkit();
    }
}

void mp4_input_core::get_info(uint32_t subsong, track_info& info, const abort_signal& abort) {
    translated_tags([&] { read_info(subsong, info, abort); });
}

void mp4_input_core::stage_info(uint32_t subsong, const track_info& info, const abort_signal&) {
    translated_tags([&] { stage(subsong, info); });
}

void mp4_input_core::commit_info(const abort_signal& abort) {
    translated_tags([&] { commit(abort); });
}

void mp4_input_core::read_info(uint32_t subsong, track_info& info, const abort_signal& abort) {
    double start = 0, end = 0;
    chapter_range(subsong, start, end);
    info.set_length(end - start);
    const atomkit::field_set& fields = subsong == 0 ? m_model.fields : m_model.chapters[subsong - 1].fields;
    field_value_map map;
    for (const auto& f : fields) {
        const std::string& name = f.first;
        if (f.second.is_meta) {
            const char* shown = name.c_str();
            if (atomkit::names_equal(name, "year")) shown = "date";
            else if (atomkit::names_equal(name, "track")) shown = "tracknumber";
            else if (atomkit::names_equal(name, "disc")) shown = "discnumber";
            if (!track_info::is_valid_field_name(shown)) continue;
            for (const std::string& v : f.second.values) map.add(shown, v.data(), uint32_t(v.size()));
            continue;
        }
        const char* shown = nullptr;
        if (atomkit::names_equal(name, "tool")) shown = "tool";
        else if (atomkit::names_equal(name, "codec")) shown = "encoder";
        else if (is_replaygain_name(name)) shown = name.c_str();
        if (!shown || f.second.values.empty()) continue;
        const std::string& v = f.second.values[0];
        if (!info.replaygain_try_set_field(shown, v.data(), uint32_t(v.size()))) {
            info.info_set(shown, track_info::npos, v.data(), uint32_t(v.size()));
        }
    }
    if (map.find("itunescompilation") && !map.find("album artist")) map.add("album artist", "Various Artists");
    map.store_into_info(info);

    if (m_summary_bitrate != 0) {
        info.set_bitrate(int64_t((m_summary_bitrate + 500) / 1000));
    } else {
        const uint64_t size = m_file->get_size(abort);
        if (size != file_size_unknown) info.set_bitrate_from_size(size, end - start);
    }
    info.info_set_int("channels", m_channels);
    info.info_set_int("samplerate", m_sample_rate);
    for (uint32_t i = 0; i < m_decoder_info.info_count(); ++i) {
        info.info_set(m_decoder_info.info_name(i), track_info::npos, m_decoder_info.info_value(i), track_info::npos);
    }

    if (subsong > 0 && !m_model.ud.index_map.empty() && subsong - 1 < m_model.ud.index_map.size()) {
        const atomkit::index_entry& e = m_model.ud.index_map[subsong - 1];
        double points[100] = {};
        points[0] = -double(e.pregap) * 1e-7;
        for (size_t k = 0; k < e.points.size() && k < 98; ++k) points[2 + k] = double(e.points[k]) * 1e-7;
        info.set_cue_index_points(points);
    }
}

void mp4_input_core::stage(uint32_t subsong, const track_info& info) {
    atomkit::field_set fresh;
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        std::string name = info.meta_name(i);
        if (atomkit::names_equal(name, "date")) name = "year";
        else if (atomkit::names_equal(name, "tracknumber")) name = "track";
        else if (atomkit::names_equal(name, "discnumber")) name = "disc";
        atomkit::field_entry& e = fresh[name];
        e.is_meta = true;
        for (uint32_t j = 0; j < info.meta_value_count(i); ++j) e.values.push_back(info.meta_value(i, j));
    }
    const replaygain_values rg = info.get_replaygain();
    char text[replaygain_peak_text_size > replaygain_gain_text_size ? replaygain_peak_text_size
                                                                    : replaygain_gain_text_size];
    auto technical = [&](const char* name, bool present) {
        if (!present) return;
        atomkit::field_entry& e = fresh[name];
        e.is_meta = false;
        e.values.assign(1, text);
    };
    technical(replaygain_field_album_gain, replaygain_gain_to_text(text, rg.album_gain));
    technical(replaygain_field_album_peak, replaygain_peak_to_text(text, rg.album_peak));
    technical(replaygain_field_track_gain, replaygain_gain_to_text(text, rg.track_gain));
    technical(replaygain_field_track_peak, replaygain_peak_to_text(text, rg.track_peak));

    atomkit::chapter_entry* chapter = nullptr;
    if (subsong == 0) {
        if (m_model.chapters.size() != 1) return;
        chapter = &m_model.chapters[0];
    } else {
        if (subsong > m_model.chapters.size()) throw atomkit::exception_out_of_range();
        chapter = &m_model.chapters[subsong - 1];
    }
    const atomkit::field_set& old = chapter->fields;
    // The "Various Artists" that get_info shows for a compilation without an album artist is not the file's.
    auto album_artist = fresh.find("album artist");
    if (album_artist != fresh.end() && old.find("album artist") == old.end() &&
        old.find("itunescompilation") != old.end() && album_artist->second.values.size() == 1 &&
        album_artist->second.values[0] == "Various Artists") {
        fresh.erase(album_artist);
    }
    for (const auto& f : old) {
        if (!f.second.is_meta && !is_replaygain_name(f.first)) fresh[f.first] = f.second;
    }
    chapter->fields = std::move(fresh);
}

void mp4_input_core::commit(const abort_signal& abort) {
    {
        mp4_stream_adapter stream(*m_file, abort);
        atomkit::structure_report r;
        atomkit::remove_trailing_garbage(stream, r);
        for (const std::string& m : r.messages) report(m.c_str(), 1);
    }
    uint32_t mode = 3;
    if (m_model.chapters.size() == 1) {
        const auto& p = m_model.pictures;
        if (p.empty() || (p.size() == 1 && p[0]->name == "front cover" && p[0]->index == 0)) mode = 1;
    }
    mp4_stream_adapter stream(*m_file, abort);
    atomkit::write_movie(m_model, stream, mode);
}
