#include "library/folder_snapshot.h"

#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/fs/path_lock.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "inputs/input_probe.h"
#include "library/read_ahead.h"
#include "metadata/track_info.h"

namespace {

constexpr uint32_t attribute_hidden = FILE_ATTRIBUTE_HIDDEN;
constexpr uint32_t attribute_directory = FILE_ATTRIBUTE_DIRECTORY;
constexpr uint32_t new_file_delay_ms = 250;

// Splits "a\\b\\c" into "a" and "b\\c"; a leaf gives an empty rest and false.
bool split_first(std::string_view path, std::string_view& first, std::string_view& rest) {
    size_t slash = path.find('\\');
    if (slash == std::string_view::npos) {
        first = path;
        rest = std::string_view();
        return false;
    }
    first = path.substr(0, slash);
    rest = path.substr(slash + 1);
    return true;
}

bool is_hidden(uint32_t attributes) { return (attributes & attribute_hidden) != 0; }

}  // namespace

// --- tracks of a file -------------------------------------------------------------------------------------

void snapshot_tracks::append(const track_handle_ref& track) {
    if (!m_one && !m_more) {
        m_one = track;
        return;
    }
    if (!m_more) {
        m_more.reset(new kpl::array<track_handle_ref>);
        m_more->append(m_one);
        m_one.reset();
    }
    m_more->append(track);
}

void snapshot_tracks::assign(kpl::array<track_handle_ref>&& list) {
    clear();
    if (list.count() == 1) {
        m_one = list[0];
    } else if (list.count() > 1) {
        m_more.reset(new kpl::array<track_handle_ref>(std::move(list)));
    }
}

// --- batch ------------------------------------------------------------------------------------------------

snapshot_batch::snapshot_batch(snapshot_host& host, bool on_main_thread)
    : m_host(host), m_on_main_thread(on_main_thread), m_visited(host.root()), m_root_length(m_visited.length()) {}

snapshot_batch::~snapshot_batch() = default;

void snapshot_batch::report_added(const track_handle_ref& track) {
    m_removed.erase(track.get());
    m_added.emplace(track.get(), track);
}

void snapshot_batch::report_removed(const track_handle_ref& track) {
    m_added.erase(track.get());
    m_removed.emplace(track.get(), track);
}

void snapshot_batch::take_sets(std::map<track_handle*, track_handle_ref>& added,
                               std::map<track_handle*, track_handle_ref>& removed) {
    added.swap(m_added);
    removed.swap(m_removed);
    m_added.clear();
    m_removed.clear();
}

uint32_t snapshot_batch::change_count() const {
    return static_cast<uint32_t>(m_added.size() + m_removed.size()) + m_infos_read;
}

info_hint_collector& snapshot_batch::hints() {
    if (!m_hints) {
        service_ptr<tag_operations> ops;
        service_class::get_single(ops);
        service_ptr<tag_operations_ext> ext;
        if (!service_query(ops.get(), ext)) throw exception_service_extension_not_found();
        ext->create_info_hint_collector(m_hints);
    }
    return *m_hints;
}

void snapshot_batch::commit_hints() {
    if (!m_hints) return;
    service_ptr<info_hint_collector> hints(std::move(m_hints));
    hints->commit();
}

const char* snapshot_batch::relative() const {
    const char* text = m_visited.c_str();
    const uint32_t length = m_visited.length();
    if (length < m_root_length) throw kpl::exception_bug_check_v2();
    if (length == m_root_length) return text + length;
    if (m_root_length > 0 && text[m_root_length - 1] == '\\') return text + m_root_length;
    if (text[m_root_length] != '\\') throw kpl::exception_bug_check_v2();
    return text + m_root_length + 1;
}

// --- visiting ---------------------------------------------------------------------------------------------

uint32_t snapshot_batch::enter(const char* name, uint32_t length) {
    const uint32_t old = m_visited.length();
    if (old == 0 || m_visited.c_str()[old - 1] != '\\') m_visited.append_char('\\');
    m_visited.append(name, length);
    return old;
}

namespace {

// Restores the visited location on leaving a scope.
class path_mark {
public:
    explicit path_mark(snapshot_batch& batch) : m_batch(batch), m_length(batch.visited().length()) {}
    ~path_mark() { m_batch.leave(m_length); }
    path_mark(const path_mark&) = delete;
    path_mark& operator=(const path_mark&) = delete;

private:
    snapshot_batch& m_batch;
    uint32_t m_length;
};

void enter(snapshot_batch& batch, std::string_view name) {
    batch.enter(name.data(), static_cast<uint32_t>(name.size()));
}

}  // namespace

namespace {

using directory_node = folder_snapshot::directory_node;
using file_node = folder_snapshot::file_node;

// Every track of a subtree reported removed, without recursion.
void report_subtree_removed(snapshot_batch& batch, const directory_node& top) {
    kpl::array<const directory_node*> todo;
    todo.append(&top);
    while (todo.count()) {
        const directory_node* dir = todo[todo.count() - 1];
        todo.resize_pow2_shrink(todo.count() - 1);
        for (const auto& f : dir->files)
            for (uint32_t i = 0; i < f.second.tracks.count(); ++i) batch.report_removed(f.second.tracks[i]);
        for (const auto& d : dir->folders) todo.append(d.second.get());
    }
}

// Takes the subtrees apart level by level, so that destroying a deep tree never recurses deeply.
void dismantle(std::unique_ptr<directory_node> top) {
    kpl::array<std::unique_ptr<directory_node>> owned;
    owned.append(std::move(top));
    while (owned.count()) {
        std::unique_ptr<directory_node> dir = std::move(owned[owned.count() - 1]);
        owned.resize_pow2_shrink(owned.count() - 1);
        for (auto& d : dir->folders) owned.append(std::move(d.second));
        dir->folders.clear();
    }
}

}  // namespace

// --- the tree ---------------------------------------------------------------------------------------------

folder_snapshot::folder_snapshot(snapshot_host& host) : m_host(host), m_root(new directory_node) {
    m_root->attributes = attribute_directory;
}

folder_snapshot::~folder_snapshot() {
    end_read_ahead();
    dismantle(std::move(m_root));
}

void folder_snapshot::clear() {
    std::unique_ptr<directory_node> fresh(new directory_node);
    fresh->attributes = attribute_directory;
    std::unique_ptr<directory_node> old;
    {
        kpl::critical_section_scope lock(m_host.lock());
        old = std::move(m_root);
        m_root = std::move(fresh);
    }
    dismantle(std::move(old));
}

namespace {

class tree_ops {
public:
    tree_ops(snapshot_host& host, snapshot_batch& batch) : m_host(host), m_batch(batch) {}

    void hide_file(file_node& file) {
        m_host.unqueue_path(m_batch.relative());
        for (uint32_t i = 0; i < file.tracks.count(); ++i) m_batch.report_removed(file.tracks[i]);
        kpl::critical_section_scope lock(m_host.lock());
        file.tracks.clear();
        file.stamp = 0;
    }

    void set_file_attributes(file_node& file, uint32_t attributes) {
        {
            kpl::critical_section_scope lock(m_host.lock());
            file.attributes = attributes;
        }
        if (is_hidden(attributes))
            hide_file(file);
        else
            m_host.queue_path(m_batch.relative(), new_file_delay_ms);
    }

    directory_node& find_or_create_folder(directory_node& dir, std::string_view name) {
        auto it = dir.folders.find(name);
        if (it != dir.folders.end()) return *it->second;
        std::unique_ptr<directory_node> node(new directory_node);
        kpl::critical_section_scope lock(m_host.lock());
        return *dir.folders.emplace(std::string(name), std::move(node)).first->second;
    }

    file_node& find_or_create_file(directory_node& dir, std::string_view name) {
        auto it = dir.files.find(name);
        if (it != dir.files.end()) return it->second;
        kpl::critical_section_scope lock(m_host.lock());
        return dir.files.emplace(std::string(name), file_node()).first->second;
    }

    void remove_leaf(directory_node& dir, std::string_view name) {
        auto d = dir.folders.find(name);
        if (d != dir.folders.end()) {
            report_subtree_removed(m_batch, *d->second);
            std::unique_ptr<directory_node> gone;
            {
                kpl::critical_section_scope lock(m_host.lock());
                gone = std::move(d->second);
                dir.folders.erase(d);
            }
            dismantle(std::move(gone));
        }
        auto f = dir.files.find(name);
        if (f != dir.files.end()) {
            for (uint32_t i = 0; i < f->second.tracks.count(); ++i) m_batch.report_removed(f->second.tracks[i]);
            kpl::critical_section_scope lock(m_host.lock());
            dir.files.erase(f);
        }
    }

    void rescan_directory(directory_node& dir, uint32_t attributes);

    snapshot_host& m_host;
    snapshot_batch& m_batch;
};

}  // namespace

namespace {

void tree_ops::rescan_directory(directory_node& dir, uint32_t attributes) {
    {
        kpl::critical_section_scope lock(m_host.lock());
        dir.attributes = attributes;
        dir.failed = false;
    }
    snapshot_listing files, folders;
    bool failed = false;
    if (!is_hidden(attributes)) {
        for (;;) {
            try {
                m_host.list_directory(m_batch.visited().c_str(), files, folders);
                break;
            } catch (const ketrel_io::exception_io_sharing_violation&) {
                files.clear();
                folders.clear();
                m_host.abort().sleep(0.1);
            } catch (const ketrel_io::exception_aborted&) {
                throw;
            } catch (const std::exception&) {
                failed = true;
                break;
            }
        }
    }
    if (failed) {
        kpl::critical_section_scope lock(m_host.lock());
        dir.failed = true;
    }

    // A listing that failed is incomplete: what it did not list stays until a listing succeeds.
    if (!failed) {
        for (auto it = dir.files.begin(); it != dir.files.end();) {
            if (files.find(it->first) != files.end()) {
                ++it;
                continue;
            }
            for (uint32_t i = 0; i < it->second.tracks.count(); ++i) m_batch.report_removed(it->second.tracks[i]);
            kpl::critical_section_scope lock(m_host.lock());
            it = dir.files.erase(it);
        }
    }
    for (const auto& listed : files) {
        path_mark level(m_batch);
        enter(m_batch, listed.first);
        auto known = dir.files.find(listed.first);
        if (known == dir.files.end()) {
            file_node& file = find_or_create_file(dir, listed.first);
            set_file_attributes(file, listed.second.attributes);
            continue;
        }
        file_node& file = known->second;
        {
            kpl::critical_section_scope lock(m_host.lock());
            file.attributes = listed.second.attributes;
        }
        if (is_hidden(listed.second.attributes))
            hide_file(file);
        else if (listed.second.stamp != file.stamp)
            m_host.queue_path(m_batch.relative(), 0);
    }
    if (!failed) {
        for (auto it = dir.folders.begin(); it != dir.folders.end();) {
            if (folders.find(it->first) != folders.end()) {
                ++it;
                continue;
            }
            report_subtree_removed(m_batch, *it->second);
            std::unique_ptr<directory_node> gone;
            {
                kpl::critical_section_scope lock(m_host.lock());
                gone = std::move(it->second);
                it = dir.folders.erase(it);
            }
            dismantle(std::move(gone));
        }
    }
    for (const auto& listed : folders) {
        m_host.abort().check();
        path_mark level(m_batch);
        enter(m_batch, listed.first);
        directory_node& sub = find_or_create_folder(dir, listed.first);
        rescan_directory(sub, listed.second.attributes);
    }
}

}  // namespace

void folder_snapshot::add_path(snapshot_batch& batch, const char* path, uint32_t attributes) {
    tree_ops ops(m_host, batch);
    directory_node* dir = m_root.get();
    std::string_view rest(path), first;
    path_mark mark(batch);
    for (;;) {
        if (is_hidden(dir->attributes)) return;
        const bool more = split_first(rest, first, rest);
        enter(batch, first);
        if (!more) break;
        dir = &ops.find_or_create_folder(*dir, first);
    }
    if (attributes & attribute_directory) {
        ops.rescan_directory(ops.find_or_create_folder(*dir, first), attributes);
    } else {
        ops.set_file_attributes(ops.find_or_create_file(*dir, first), attributes);
    }
}

void folder_snapshot::remove_path(snapshot_batch& batch, const char* path) {
    tree_ops ops(m_host, batch);
    directory_node* dir = m_root.get();
    std::string_view rest(path), first;
    path_mark mark(batch);
    for (;;) {
        const bool more = split_first(rest, first, rest);
        enter(batch, first);
        if (!more) break;
        auto it = dir->folders.find(first);
        if (it == dir->folders.end()) return;
        dir = it->second.get();
    }
    ops.remove_leaf(*dir, first);
}

void folder_snapshot::modify_path(snapshot_batch& batch, const char* path, uint32_t attributes) {
    tree_ops ops(m_host, batch);
    directory_node* dir = m_root.get();
    std::string_view rest(path), first;
    path_mark mark(batch);
    for (;;) {
        if (is_hidden(dir->attributes)) return;
        const bool more = split_first(rest, first, rest);
        enter(batch, first);
        if (!more) break;
        auto it = dir->folders.find(first);
        if (it == dir->folders.end()) return;
        dir = it->second.get();
    }
    if (attributes & attribute_directory) {
        auto it = dir->folders.find(first);
        if (it == dir->folders.end()) return;
        directory_node& sub = *it->second;
        if (((sub.attributes ^ attributes) & attribute_hidden) || sub.failed) {
            ops.rescan_directory(sub, attributes);
        } else {
            kpl::critical_section_scope lock(m_host.lock());
            sub.attributes = attributes;
        }
    } else {
        auto it = dir->files.find(first);
        if (it == dir->files.end()) return;
        ops.set_file_attributes(it->second, attributes);
    }
}

void folder_snapshot::rename_path(snapshot_batch& batch, const char* old_path, const char* new_path,
                                  uint32_t attributes) {
    tree_ops ops(m_host, batch);
    directory_node* dir = m_root.get();
    std::string_view old_rest(old_path), new_rest(new_path), old_first, new_first;
    path_mark mark(batch);
    for (;;) {
        if (is_hidden(dir->attributes)) return;
        const bool old_more = split_first(old_rest, old_first, old_rest);
        const bool new_more = split_first(new_rest, new_first, new_rest);
        if (old_more != new_more) throw kpl::exception_bug_check_v2();
        if (!old_more) break;
        if (old_first != new_first) throw kpl::exception_bug_check_v2();
        auto it = dir->folders.find(old_first);
        if (it == dir->folders.end()) return;
        enter(batch, old_first);
        dir = it->second.get();
    }
    {
        path_mark leaf(batch);
        enter(batch, old_first);
        ops.remove_leaf(*dir, old_first);
    }
    enter(batch, new_first);
    if (attributes & attribute_directory) {
        ops.rescan_directory(ops.find_or_create_folder(*dir, new_first), attributes);
    } else {
        ops.set_file_attributes(ops.find_or_create_file(*dir, new_first), attributes);
    }
}

void folder_snapshot::rescan(snapshot_batch& batch) {
    tree_ops ops(m_host, batch);
    ops.rescan_directory(*m_root, attribute_directory);
}

bool folder_snapshot::stored_attributes(const char* path, uint32_t& out) const {
    const directory_node* dir = m_root.get();
    std::string_view rest(path), first;
    if (rest.empty()) {
        out = attribute_directory;
        return true;
    }
    while (split_first(rest, first, rest)) {
        auto it = dir->folders.find(first);
        if (it == dir->folders.end()) return false;
        dir = it->second.get();
    }
    auto d = dir->folders.find(first);
    if (d != dir->folders.end()) {
        out = d->second->attributes | attribute_directory;
        return true;
    }
    auto f = dir->files.find(first);
    if (f != dir->files.end()) {
        out = f->second.attributes;
        return true;
    }
    return false;
}

// --- reading files ----------------------------------------------------------------------------------------

namespace {

// What reading one file gave: its time stamp once it opened, its subsongs with their infos, or the failure
// after opening.
struct file_read {
    bool opened = false;
    uint64_t stamp = 0;
    uint64_t info_stamp = 0;
    kpl::array<uint32_t> subsongs;
    std::vector<std::unique_ptr<track_info_store>> infos;  // per subsong
    std::exception_ptr failure;

    void clear() {
        opened = false;
        stamp = info_stamp = 0;
        subsongs.clear();
        infos.clear();
        failure = nullptr;
    }
};

// The part of reading that may run on any thread: under the shared path lock, the file opened, its time
// stamp, and its inputs' infos. A failure before the file opened passes on; one after it is kept. Handles
// are made by apply_read, on the monitor thread.
void read_file(const char* location, const abort_signal& abort, file_read& out) {
    abort.check();
    service_ref lock;
    path_lock_manager::acquire_shared(lock, location, abort);
    file_stream_ref file;
    file_system_open_read_synchronous(file, location, abort);
    out.stamp = file->get_timestamp(abort);
    out.opened = true;
    try {
        service_ptr<track_info_reader> reader;
        input_open_info_reader(reader, file, location, abort, false);
        const file_stats stats = reader->get_file_stats(abort);
        out.info_stamp = stats.timestamp;
        const uint32_t count = reader->subsong_count();
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t subsong = reader->subsong_id(i);
            std::unique_ptr<track_info_store> info(new track_info_store);
            reader->get_info(subsong, *info, abort);
            out.subsongs.append(subsong);
            out.infos.push_back(std::move(info));
        }
    } catch (...) {
        out.subsongs.clear();
        out.infos.clear();
        out.failure = std::current_exception();
    }
}

// The part that belongs to the monitor thread, in queue order: the file's time stamp and the handles of
// its subsongs when the callback takes the file; infos that are stale go to the batch's collector.
void apply_read(snapshot_batch& batch, file_read& read, uint64_t& stamp, kpl::array<track_handle_ref>& tracks) {
    if (!read.opened) {
        if (read.failure) std::rethrow_exception(read.failure);
        throw kpl::exception_bug_check_v2();
    }
    stamp = read.stamp;
    const char* location = batch.visited().c_str();
    if (!batch.host().accepts_file(location)) return;
    info_hint_collector& hints = batch.hints();
    if (read.failure) std::rethrow_exception(read.failure);
    track_handle_registry& registry = track_handle_registry::get();
    for (uint32_t i = 0; i < read.subsongs.count(); ++i) {
        track_handle_ref handle;
        registry.get_handle(handle, track_location(location, read.subsongs[i]));
        if (track_handle::info_is_stale(*handle, read.info_stamp, true)) {
            hints.add_hint(handle, *read.infos[i], read.info_stamp, true);
            batch.count_info_read();
        }
        tracks.append(handle);
    }
}

// "root\\relative", with no second backslash after a root that ends in one.
void make_location(const char* root, std::string_view relative, std::string& out) {
    out.assign(root);
    if (out.empty() || out.back() != '\\') out.push_back('\\');
    out.append(relative.data(), relative.size());
}

template <class List>
bool contains(const List& list, const track_handle* handle) {
    for (uint32_t i = 0; i < list.count(); ++i)
        if (list[i].get() == handle) return true;
    return false;
}

constexpr uint32_t read_ahead_window = 32;

}  // namespace

// The files of one pending pass, read by workers ahead of refresh_file.
class folder_snapshot::read_ahead_state final : public read_ahead::jobs {
public:
    read_ahead_state(snapshot_host& host, std::string names, std::vector<uint32_t> offsets, uint32_t workers)
        : m_host(host),
          m_names(std::move(names)),
          m_offsets(std::move(offsets)),
          m_slots(read_ahead_window + 1),
          m_reader(*this, count(), workers, read_ahead_window) {}

    // The result for a path that was read ahead, into `out` (a failure before the file opened is thrown);
    // false for a path that was not. Later calls ask for later paths.
    bool take(std::string_view path, file_read& out) {
        uint32_t low = m_cursor, high = count();
        while (low < high) {
            const uint32_t middle = low + (high - low) / 2;
            if (name(middle) < path)
                low = middle + 1;
            else
                high = middle;
        }
        if (low >= count() || name(low) != path) return false;
        m_cursor = low + 1;
        std::exception_ptr failure = m_reader.take(low);
        file_read& slot = m_slots[low % m_slots.size()];
        std::swap(out, slot);
        slot.clear();
        if (failure) std::rethrow_exception(failure);
        return true;
    }

private:
    uint32_t count() const { return static_cast<uint32_t>(m_offsets.size()); }
    std::string_view name(uint32_t index) const {
        const uint32_t end = index + 1 < count() ? m_offsets[index + 1] - 1 : static_cast<uint32_t>(m_names.size());
        return std::string_view(m_names.data() + m_offsets[index], end - m_offsets[index]);
    }

    void run(uint32_t index) override {
        file_read& slot = m_slots[index % m_slots.size()];
        slot.clear();
        std::string location;
        make_location(m_host.root(), name(index), location);
        read_file(location.c_str(), m_host.abort(), slot);
    }

    snapshot_host& m_host;
    std::string m_names;  // the paths, each but the last followed by a zero byte
    std::vector<uint32_t> m_offsets;
    std::vector<file_read> m_slots;
    uint32_t m_cursor = 0;
    read_ahead m_reader;  // last: its workers stop before the rest goes
};

const folder_snapshot::file_node* folder_snapshot::find_file(std::string_view path) const {
    const directory_node* dir = m_root.get();
    std::string_view rest(path), first;
    while (split_first(rest, first, rest)) {
        auto it = dir->folders.find(first);
        if (it == dir->folders.end()) return nullptr;
        dir = it->second.get();
    }
    auto it = dir->files.find(first);
    return it == dir->files.end() ? nullptr : &it->second;
}

void folder_snapshot::begin_read_ahead(const std::vector<std::string_view>& paths, uint32_t workers) {
    end_read_ahead();
    std::string names;
    std::vector<uint32_t> offsets;
    for (std::string_view path : paths) {
        const file_node* file = find_file(path);
        if (!file || is_hidden(file->attributes)) continue;
        if (!offsets.empty()) names.push_back('\0');
        offsets.push_back(static_cast<uint32_t>(names.size()));
        names.append(path.data(), path.size());
    }
    if (offsets.size() < 2 || workers == 0) return;
    m_ahead.reset(new read_ahead_state(m_host, std::move(names), std::move(offsets), workers));
}

void folder_snapshot::end_read_ahead() { m_ahead.reset(); }

bool folder_snapshot::refresh_file(snapshot_batch& batch, const char* path) {
    directory_node* dir = m_root.get();
    std::string_view rest(path), first;
    path_mark mark(batch);
    for (;;) {
        const bool more = split_first(rest, first, rest);
        enter(batch, first);
        if (!more) break;
        auto it = dir->folders.find(first);
        if (it == dir->folders.end()) return true;
        dir = it->second.get();
    }
    auto it = dir->files.find(first);
    if (it == dir->files.end()) return true;
    file_node& file = it->second;

    uint64_t stamp = 0;
    kpl::array<track_handle_ref> tracks;
    if (!is_hidden(file.attributes)) {
        try {
            file_read read;
            if (!m_ahead || !m_ahead->take(path, read)) read_file(batch.visited().c_str(), m_host.abort(), read);
            apply_read(batch, read, stamp, tracks);
        } catch (const ketrel_io::exception_aborted&) {
            throw;
        } catch (const ketrel_io::exception_io_sharing_violation&) {
            return false;
        } catch (const ketrel_io::exception_io_data&) {
            // Malformed, or no input takes it: not read again until it changes.
            m_host.abort().check();
            tracks.clear();
        } catch (const std::exception&) {
            tracks.clear();
            stamp = 0;
        }
    }
    for (uint32_t i = 0; i < tracks.count(); ++i)
        if (!contains(file.tracks, tracks[i].get())) batch.report_added(tracks[i]);
    for (uint32_t i = 0; i < file.tracks.count(); ++i)
        if (!contains(tracks, file.tracks[i].get())) batch.report_removed(file.tracks[i]);
    kpl::critical_section_scope lock(m_host.lock());
    file.stamp = stamp;
    file.tracks.assign(std::move(tracks));
    return true;
}

// --- listing ----------------------------------------------------------------------------------------------

void snapshot_host::list_directory(const char* location, snapshot_listing& files, snapshot_listing& folders) {
    snapshot_list_directory(location, files, folders, abort());
}
