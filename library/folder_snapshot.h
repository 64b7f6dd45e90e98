#pragma once
// folder_snapshot: a watched folder's tree as last seen on disk (directories, and files with their last
// write time and the track handles of their subsongs), kept in step with the disk one change at a time,
// and stored between runs.
//
//     snapshot_batch batch(host, false);
//     snapshot.rescan(batch);                        // lists the whole tree; new and changed files queued
//     snapshot.refresh_file(batch, "Rock\\a.flac");  // the queued file read: its tracks reported added
//     snapshot.remove_path(batch, "Rock");           // every track under Rock reported removed
//     host.flush(batch);                             // the monitor hands the batch's sets on
//
// Paths are relative to the watched folder, components separated by single backslashes. Names are ordered
// by their UTF-8 bytes: "A.flac" and "a.flac" are two files. Only the monitor thread changes the tree (or
// the loader, before the thread runs); every change of a node takes the host's lock, so save_state may run
// on another thread under that lock while the monitor thread reads without it.
//
// Rescans read no file whose listed time stamp equals the stored one; a listing that fails keeps the
// entries it did not list (the directory is marked failed and listed again at its next change).

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/fs/byte_stream.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/critical_section.h"
#include "library/folder_monitor_callback.h"
#include "metadata/tag_operations.h"

class snapshot_batch;

// One entry of a directory listing.
struct snapshot_listed_entry {
    uint64_t size = 0;
    uint64_t stamp = 0;  // last write, 100-ns units since 1601
    uint32_t attributes = 0;
};
using snapshot_listing = std::map<std::string, snapshot_listed_entry, std::less<>>;

// What the snapshot needs from its monitor.
class snapshot_host {
public:
    // The watched folder as a "file://" URL, without a trailing backslash unless it is a drive root.
    virtual const char* root() const = 0;
    virtual const abort_signal& abort() const = 0;
    virtual kpl::critical_section& lock() = 0;
    // Queues a file (path relative to the root) to be read after `delay_ms` of quiet; a queued path takes
    // the new time and delay.
    virtual void queue_path(const char* relative, uint32_t delay_ms) = 0;
    virtual void unqueue_path(const char* relative) = 0;
    virtual bool accepts_file(const char* location) = 0;
    // Lists a directory ("file://" URL) into files and subdirectories, "." and ".." left out. Throws
    // ketrel_io exceptions; a failure part-way leaves what was listed before it in the maps.
    virtual void list_directory(const char* location, snapshot_listing& files, snapshot_listing& folders);
    // Hands the batch's added and removed tracks on (the monitor's sets, then the callback).
    virtual void flush(snapshot_batch& batch) = 0;

protected:
    ~snapshot_host() = default;
};

// The enumeration every monitor uses: FindFirstFileW/FindNextFileW on the location's native path + "\*.*".
void snapshot_list_directory(const char* location, snapshot_listing& files, snapshot_listing& folders,
                             const abort_signal& abort);

// One unit of work: the path being visited, the tracks that came and went, the infos read.
class snapshot_batch {
public:
    snapshot_batch(snapshot_host& host, bool on_main_thread);
    ~snapshot_batch();
    snapshot_batch(const snapshot_batch&) = delete;
    snapshot_batch& operator=(const snapshot_batch&) = delete;

    snapshot_host& host() const { return m_host; }
    bool on_main_thread() const { return m_on_main_thread; }

    // A track reported added leaves the removed set, and the other way round.
    void report_added(const track_handle_ref& track);
    void report_removed(const track_handle_ref& track);
    // The sets in handle-identity order; taken empties them.
    const std::map<track_handle*, track_handle_ref>& added() const { return m_added; }
    const std::map<track_handle*, track_handle_ref>& removed() const { return m_removed; }
    void take_sets(std::map<track_handle*, track_handle_ref>& added, std::map<track_handle*, track_handle_ref>& removed);
    uint32_t infos_read() const { return m_infos_read; }
    void count_info_read() { ++m_infos_read; }
    // added + removed + infos read.
    uint32_t change_count() const;

    // The collector of freshly read infos, made on first use; null when none was made.
    info_hint_collector& hints();
    // Commits the collector (when made) and drops it.
    void commit_hints();

    // The visited location: the root, then one component per level.
    const kpl::utf8_string_pow2& visited() const { return m_visited; }
    // The visited location without the root and its backslash ("" at the root).
    const char* relative() const;
    // Adds one component to the visited location (after a backslash unless it ends in one); answers the
    // length to go back to with leave.
    uint32_t enter(const char* name, uint32_t length);
    void leave(uint32_t length) { m_visited.truncate(length); }

private:
    snapshot_host& m_host;
    bool m_on_main_thread;
    std::map<track_handle*, track_handle_ref> m_added, m_removed;
    uint32_t m_infos_read = 0;
    service_ptr<info_hint_collector> m_hints;
    kpl::utf8_string_pow2 m_visited;
    uint32_t m_root_length;
};

// The handles of one file's subsongs. Nearly every file has one, held in place; a file with more keeps them
// in an array of their own.
class snapshot_tracks {
public:
    uint32_t count() const { return m_more ? m_more->count() : (m_one ? 1u : 0u); }
    const track_handle_ref& operator[](uint32_t index) const { return m_more ? (*m_more)[index] : m_one; }
    void clear() {
        m_one.reset();
        m_more.reset();
    }
    void append(const track_handle_ref& track);
    // Takes over the handles of a list.
    void assign(kpl::array<track_handle_ref>&& list);

private:
    track_handle_ref m_one;
    std::unique_ptr<kpl::array<track_handle_ref>> m_more;
};

class folder_snapshot {
public:
    struct file_node {
        uint64_t stamp = 0;  // 0: unknown, the file is to be read
        uint32_t attributes = 0;
        snapshot_tracks tracks;
    };
    struct directory_node {
        uint32_t attributes = 0;
        bool failed = false;
        std::map<std::string, file_node, std::less<>> files;
        std::map<std::string, std::unique_ptr<directory_node>, std::less<>> folders;
    };

    explicit folder_snapshot(snapshot_host& host);
    ~folder_snapshot();
    folder_snapshot(const folder_snapshot&) = delete;
    folder_snapshot& operator=(const folder_snapshot&) = delete;

    // Change notifications (paths relative to the root).
    void add_path(snapshot_batch& batch, const char* path, uint32_t attributes);
    void remove_path(snapshot_batch& batch, const char* path);
    void modify_path(snapshot_batch& batch, const char* path, uint32_t attributes);
    void rename_path(snapshot_batch& batch, const char* old_path, const char* new_path, uint32_t attributes);
    // The whole tree against the disk.
    void rescan(snapshot_batch& batch);
    // Reads a queued file again; false while it is locked by another program (nothing changed).
    bool refresh_file(snapshot_batch& batch, const char* path);
    // Starts reading queued files (relative paths in byte order, as refresh_file will be asked for them) on
    // `workers` threads, a few files ahead; refresh_file takes each one's result in turn and reads any
    // other path itself. Paths that are unknown or hidden now are left out. end_read_ahead (also the next
    // begin and the destructor) stops the workers, letting the files they are reading end first.
    void begin_read_ahead(const std::vector<std::string_view>& paths, uint32_t workers);
    void end_read_ahead();
    // The attributes held for a path (a directory's for a directory); false when the path is unknown.
    bool stored_attributes(const char* path, uint32_t& out) const;

    // The stored form (see directory_monitor.h), written under the host's lock into memory first.
    void save(byte_sink& out, const abort_signal& abort);
    // Replaces the tree by a stored form; every stored track is appended to `tracks`. Throws
    // ketrel_io::exception_io_data for damaged data, exception_io_no_length for a stream without size.
    void load(snapshot_batch& batch, file_stream& source, library_track_list& tracks);
    // Empties the tree (no reports).
    void clear();

    // The tree, for reading on the monitor thread (or under the host's lock).
    const directory_node& root() const { return *m_root; }

private:
    class read_ahead_state;

    const file_node* find_file(std::string_view path) const;

    snapshot_host& m_host;
    std::unique_ptr<directory_node> m_root;
    std::unique_ptr<read_ahead_state> m_ahead;
};
