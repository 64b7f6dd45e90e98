#pragma once
// track_handle: the shared handle of one playable track: its location (path and subsong) and a cached
// browse record (length and eight display texts, metadata/browse_fields.h) stamped with the modification
// time of the file it was read from.
//
// For any location at most one handle exists at a time: track_handle_registry hands out the handle that
// already exists, or makes a new one without info. Paths match byte for byte (letter case counts). The
// last release destroys the handle; asking again later gives a fresh one.
//
//     track_handle_ref a, b;
//     track_handle_registry::get().get_handle(a, track_location("file://C:\\a.flac"));
//     track_handle_registry::get().get_handle(b, track_location("file://C:\\a.flac"));
//     a == b;                                             // the same object, on any thread
//
//     browse_fields_builder record;
//     record.fill_from_info(info);
//     a->set_info(record, file_time, 0, false);          // stored: a had no info yet
//     a->set_info(record, file_time, 0, false);          // not stored: the stamp is not newer
//
// Replace rule of set_info and load_info: a new record replaces the stored one when its stamp is not 0
// and the stored stamp is 0, or the new stamp is later, or the new stamp is earlier but the override time
// is not 0 and later than the stored stamp. Equal stamps never replace.
//
// Locks: the map lock (handle lookup and every reference count) and the track-info lock (every handle's
// stamp, record and has-info flag) serve all handles; no operation takes both. Readers and writers of a
// cached record take the track-info lock (lock_info / unlock_info, or the operations that take it
// themselves); get_browse_fields and get_file_stamp take none, so a caller that may race with a writer
// holds the track-info lock around them and around its use of the record.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "metadata/browse_fields.h"
#include "metadata/track_location.h"

class abort_signal;
class byte_source;
class title_field_provider;
class title_script;
class title_text_filter;
class track_handle;

using track_handle_ref = kpl::rc_ptr<track_handle>;

class track_handle : public service_object {
public:
    // Interfaces a handle answers to query.
    static constexpr kpl::guid interface_guid = {0x53BE564C, 0xD5EC, 0x4818, {0x95, 0xF4, 0xC0, 0x3B, 0x9C, 0xC1, 0x2B, 0xF6}};
    static constexpr kpl::guid interface_guid_v2 = {0x160885C6, 0x3AA3, 0x4F60, {0x87, 0x18, 0x12, 0x40, 0x61, 0x5E, 0x64, 0x14}};

    // 1-3. Under the map lock. The release that brings the count to 0 takes the handle out of the map and
    //      destroys it; returns the new count.
    uint32_t release() override;
    uint32_t add_ref() override;
    bool query(service_ref& out, const kpl::guid& guid) override;

    // 4. The handle's location.
    const track_location& get_location() const { return m_location; }
    // 5. Under the track-info lock: format_title_nolock. The title-formatting operations (5, 12-14) are
    //    defined with the title scripts (metadata/title_formatting/handle_title.cpp).
    bool format_title(title_field_provider* extra, kpl::utf8_string& output, const title_script& script,
                      title_text_filter* filter) const;
    // 6-7. Enter and leave the track-info lock.
    void lock_info();
    void unlock_info();
    // 8. The stamp of the cached record (FILETIME of the file's last write; 0 unknown). Takes no lock.
    uint64_t get_file_stamp() const { return m_file_stamp; }
    // 9. Whether the handle has a cached record, read under the track-info lock.
    bool has_info() const;
    // 10. Under the lock: false without info; else the texts and the length go to `out` (unless `out` is
    //     the handle's own record) and true.
    bool copy_browse_fields(browse_fields& out) const;
    // 11. No lock: false without info; else the handle's own record.
    bool get_browse_fields(const browse_fields_packed*& out) const;
    // 12. Under the track-info lock: format_title_from_nolock.
    void format_title_from(const browse_fields& record, title_field_provider* extra, kpl::utf8_string& output,
                           const title_script& script, title_text_filter* filter) const;
    // 13. format_title_from_nolock over the handle's own record (empty without info); returns has-info.
    bool format_title_nolock(title_field_provider* extra, kpl::utf8_string& output, const title_script& script,
                             title_text_filter* filter) const;
    // 14. Runs the script over the record and this handle's location (handle_field_provider), asking
    //     `extra` first when given; `filter` null appends the text unchanged.
    void format_title_from_nolock(const browse_fields& record, title_field_provider* extra,
                                  kpl::utf8_string& output, const title_script& script,
                                  title_text_filter* filter) const;
    // 15. Under the lock: stores the record (texts and length) when the handle has no info, when `force` is
    //     set, or when the replace rule allows it; the stamp is stored only when it is not 0. Returns
    //     whether the record was stored.
    bool set_info(const browse_fields& record, uint64_t new_stamp, uint64_t override_time, bool force);
    // 16. Reads a record in stream form. When the handle has info and the replace rule (override time 0)
    //     says no, the record is stepped over and false returned. Otherwise it is read and stored with the
    //     stamp (even 0) and true returned. A malformed record (ketrel_io::exception_io_data), an abort or
    //     a stream failure passes on and leaves the handle exactly as it was.
    bool load_info(uint64_t new_stamp, byte_source& source, const abort_signal& abort);
    // 17. Whether exactly one reference is held.
    bool is_sole_reference() const;

    // Helpers.
    // The record's length under the lock; 0 without info.
    static float get_length(const track_handle& handle);
    // Whether the cached record is out of date for a file with this stamp: true without info; with stamp 0
    // the value of `exact`; otherwise, with `exact`, when the stored stamp differs, else when it is older.
    static bool info_is_stale(const track_handle& handle, uint64_t file_stamp, bool exact);
    // format_location_text of the handle's location; "[invalid location]" for none.
    static void location_text(const track_handle* handle, kpl::utf8_string& out);

    // Whether a record with `new_stamp` replaces one with `stored_stamp` (the replace rule above).
    static bool replace_rule(uint64_t stored_stamp, uint64_t new_stamp, uint64_t override_time);

protected:
    explicit track_handle(const track_location& location);
    ~track_handle() = default;
    track_handle(const track_handle&) = delete;
    track_handle& operator=(const track_handle&) = delete;

private:
    friend class track_handle_map;

    uint32_t m_count = 0;  // under the map lock
    uint64_t m_file_stamp = 0;
    browse_fields_packed m_record;
    bool m_has_info = false;
    track_location m_location;
};

// The process-wide map of handles. Usable from static initialisation to exit; also registered as the
// service of its class.
class track_handle_registry : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x609D48C8, 0xC6A6, 0x4784, {0x8B, 0xBD, 0xFD, 0xD3, 0x2B, 0xF0, 0x74, 0x0E}};

    // Enter and leave the track-info lock shared by all handles.
    virtual void lock_info() = 0;
    virtual void unlock_info() = 0;
    // The handle of the location into `out` (releasing what `out` held): the existing one, or a new one
    // without info.
    virtual void get_handle(track_handle_ref& out, const track_location& location) = 0;

    // The program's registry.
    static track_handle_registry& get();
    // How many handles exist now.
    static uint32_t handle_count();

protected:
    track_handle_registry() = default;
    ~track_handle_registry() = default;
};

// The track-info lock held for a scope.
class track_info_lock_scope {
public:
    track_info_lock_scope() { track_handle_registry::get().lock_info(); }
    ~track_info_lock_scope() { track_handle_registry::get().unlock_info(); }
    track_info_lock_scope(const track_info_lock_scope&) = delete;
    track_info_lock_scope& operator=(const track_info_lock_scope&) = delete;
};

// Removes repeated handles from a list. A list with duplicates, and also one without, ends up ordered by
// handle identity (object address), which differs between runs.
void handle_list_remove_duplicates(kpl::ref_list<track_handle_ref>& list);
