#pragma once
// loaded_info_store: the full info the tag operations read for a properties dialog, per track handle,
// with the file's stats. The operations fill it through info_observer on their worker thread; the dialog
// and the Details tab read it through loaded_info_lookup once the operation has finished.
//
//     loaded_info_store_ptr store = loaded_info_store::create(nullptr);
//     ops->load_info(tracks, 1, main_window, 4, store.get(), notifier);   // on_info per track
//     ...later, on completion:
//     const track_info* info;  file_stats stats;
//     if (store->get_info(track, info)) show(info->meta_count());
//     loaded_info_store_ptr next = loaded_info_store::create(store.get());   // copies the entries
//
// A new store starts as a copy of the previous one, so a reload or a write only adds or replaces entries.
// on_info is called by one worker at a time while nobody reads the store.

#include <map>
#include <memory>
#include <vector>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "metadata/tag_operations.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"
#include "properties/field_model.h"

class loaded_info_lookup : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x44F187AD, 0xC183, 0x4A50, {0x9A, 0x78, 0x10, 0x59, 0x5D, 0xD6, 0x42, 0x2C}};

    // False when the handle has no entry.
    virtual bool get_stats(const track_handle* track, file_stats& out) = 0;
    // The stored info (valid while the store lives), or false.
    virtual bool get_info(const track_handle* track, const track_info*& out) = 0;
};

class loaded_info_store;

// A counted reference to a store (the store has two service bases, so it is held through one of them).
class loaded_info_store_ptr {
public:
    loaded_info_store* get() const;
    loaded_info_store* operator->() const { return get(); }
    explicit operator bool() const { return !m_ref.is_empty(); }
    void release() { m_ref.release(); }

private:
    friend class loaded_info_store;
    service_ptr<info_observer> m_ref;
};

class loaded_info_store final : public service_counted<info_observer, loaded_info_lookup> {
public:
    // A new store holding copies of `previous`'s entries (none for null).
    static loaded_info_store_ptr create(loaded_info_store* previous);

    void on_info(const track_handle_ref& track, const track_info& info, const file_stats& stats) override;
    bool get_stats(const track_handle* track, file_stats& out) override;
    bool get_info(const track_handle* track, const track_info*& out) override;

    size_t count() const { return m_entries.size(); }
    info_observer* observer() { return this; }
    loaded_info_lookup* lookup() { return this; }

private:
    struct entry {
        track_handle_ref handle;  // keeps the key alive
        std::shared_ptr<const track_info_packed> info;
        file_stats stats;
    };
    loaded_info_store() = default;
    std::map<const track_handle*, entry> m_entries;
};

// The editor the dialog hands to update_info: copies of the tracks and of the field list, so later edits
// in the dialog do not touch a write in progress. apply (worker thread) finds the track by handle, and
// answers false when the file already holds exactly the list's values (or the track is not one of the
// dialog's); otherwise it replaces every meta field by the list's values in row order and answers true.
//
//     service_ptr<properties_info_editor> editor = properties_info_editor::create(tracks, fields);
//     ops->update_info(tracks, editor.get(), dialog, 0, new_store.get(), notifier);
class properties_info_editor final : public service_counted<info_editor> {
public:
    static service_ptr<properties_info_editor> create(const std::vector<track_handle_ref>& tracks,
                                                      const properties_field_list& fields);
    bool apply(const track_handle_ref& track, const file_stats& stats, track_info& info) override;

private:
    properties_info_editor() = default;
    std::vector<std::pair<const track_handle*, uint32_t>> m_index;  // sorted by handle
    std::vector<track_handle_ref> m_tracks;
    properties_field_list m_fields;
};

inline loaded_info_store* loaded_info_store_ptr::get() const { return static_cast<loaded_info_store*>(m_ref.get()); }
