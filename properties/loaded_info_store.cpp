#include "properties/loaded_info_store.h"

#include <algorithm>

loaded_info_store_ptr loaded_info_store::create(loaded_info_store* previous) {
    loaded_info_store* store = new loaded_info_store();
    loaded_info_store_ptr held;
    held.m_ref.assign(store);
    static_cast<info_observer*>(store)->release();  // the count of one from creation now lives in `held`
    if (previous) {
        // Each info copied, so the new store never shares what a later operation may replace.
        for (const auto& e : previous->m_entries) {
            entry copy;
            copy.handle = e.second.handle;
            copy.info = std::make_shared<const track_info_packed>(*e.second.info);
            copy.stats = e.second.stats;
            store->m_entries.emplace(e.first, std::move(copy));
        }
    }
    return held;
}

void loaded_info_store::on_info(const track_handle_ref& track, const track_info& info, const file_stats& stats) {
    entry e;
    e.handle = track;
    e.info = std::make_shared<const track_info_packed>(info);
    e.stats = stats;
    m_entries[track.get()] = std::move(e);
}

bool loaded_info_store::get_stats(const track_handle* track, file_stats& out) {
    auto found = m_entries.find(track);
    if (found == m_entries.end()) return false;
    out = found->second.stats;
    return true;
}

bool loaded_info_store::get_info(const track_handle* track, const track_info*& out) {
    auto found = m_entries.find(track);
    if (found == m_entries.end()) return false;
    out = found->second.info.get();
    return true;
}

service_ptr<properties_info_editor> properties_info_editor::create(const std::vector<track_handle_ref>& tracks,
                                                                   const properties_field_list& fields) {
    properties_info_editor* editor = new properties_info_editor();
    service_ptr<properties_info_editor> held(editor);
    editor->release();
    editor->m_tracks = tracks;
    editor->m_fields = fields;
    for (uint32_t i = 0; i < tracks.size(); ++i) editor->m_index.emplace_back(tracks[i].get(), i);
    std::sort(editor->m_index.begin(), editor->m_index.end());
    return held;
}

bool properties_info_editor::apply(const track_handle_ref& track, const file_stats&, track_info& info) {
    const std::pair<const track_handle*, uint32_t> key(track.get(), 0);
    auto found = std::lower_bound(m_index.begin(), m_index.end(), key);
    if (found == m_index.end() || found->first != track.get()) return false;
    const uint32_t index = found->second;
    if (!properties_track_changes(m_fields, index, info)) return false;
    properties_write_track(m_fields, index, info);
    return true;
}
