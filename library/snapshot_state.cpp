// The snapshot's stored form and the directory listing it is checked against.
#include <cstring>

#include "foundation/fs/buffered_streams.h"
#include "foundation/fs/file_segment.h"
#include "foundation/fs/local_path.h"
#include "foundation/fs/memory_sink.h"
#include "foundation/fs/stream_forms.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/win32/directory_enum.h"
#include "library/folder_snapshot.h"

namespace {

// {A5CA0AD0-EA5D-4E04-AA2C-DD0A4502366E}
constexpr kpl::guid snapshot_chunk = {0xA5CA0AD0, 0xEA5D, 0x4E04, {0xAA, 0x2C, 0xDD, 0x0A, 0x45, 0x02, 0x36, 0x6E}};
// {9BEA8494-6045-4945-9ABC-0B38AEC3916A}
constexpr kpl::guid state_end = {0x9BEA8494, 0x6045, 0x4945, {0x9A, 0xBC, 0x0B, 0x38, 0xAE, 0xC3, 0x91, 0x6A}};

// A path holds at most 32767 UTF-16 units, and every level takes a backslash and at least one character:
// a stored tree nested deeper than this cannot exist on disk.
constexpr uint32_t deepest_level = 32767 / 2;
// The longest name a path can hold, in UTF-8 bytes (three per UTF-16 unit at most).
constexpr uint32_t longest_name = 32767 * 3;

using directory_node = folder_snapshot::directory_node;
using file_node = folder_snapshot::file_node;

void write_name(stream_writer& out, const std::string& name) {
    out.write_uint32(static_cast<uint32_t>(name.size()));
    out.write(name.data(), name.size());
}

void write_files(stream_writer& out, const directory_node& dir) {
    out.write_uint32(static_cast<uint32_t>(dir.files.size()));
    for (const auto& entry : dir.files) {
        const file_node& file = entry.second;
        write_name(out, entry.first);
        uint8_t stamp[8];
        for (int i = 0; i < 8; ++i) stamp[i] = static_cast<uint8_t>(file.stamp >> (8 * i));
        out.write(stamp, 8);
        out.write_uint32(file.tracks.count());
        for (uint32_t i = 0; i < file.tracks.count(); ++i) {
            const track_handle& track = *file.tracks[i];
            out.write_uint32(track.get_location().get_subsong());
            track_info_lock_scope lock;
            const browse_fields_packed* record = nullptr;
            if (track.get_file_stamp() == file.stamp && track.get_browse_fields(record)) {
                out.write_uint32(1);
                record->write(out.sink(), out.abort());
            } else {
                out.write_uint32(0);
            }
        }
    }
}

// The directory record of the root, walked without recursion: each level's files and subdirectory count,
// then each subdirectory's name and record in name order.
void write_tree(stream_writer& out, const directory_node& root) {
    struct level {
        const directory_node* dir;
        std::map<std::string, std::unique_ptr<directory_node>, std::less<>>::const_iterator next;
    };
    kpl::array<level> stack;
    write_files(out, root);
    out.write_uint32(static_cast<uint32_t>(root.folders.size()));
    stack.append(level{&root, root.folders.begin()});
    while (stack.count()) {
        level& top = stack[stack.count() - 1];
        if (top.next == top.dir->folders.end()) {
            stack.resize_pow2_shrink(stack.count() - 1);
            continue;
        }
        const std::string& name = top.next->first;
        const directory_node* sub = top.next->second.get();
        ++top.next;
        write_name(out, name);
        write_files(out, *sub);
        out.write_uint32(static_cast<uint32_t>(sub->folders.size()));
        stack.append(level{sub, sub->folders.begin()});
    }
}

uint64_t read_u64(stream_reader& in) {
    uint8_t b[8];
    in.read(b, 8);
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
    return v;
}

void read_name(stream_reader& in, kpl::utf8_string_pow2& out) {
    const uint32_t length = in.read_uint32();
    if (length == 0 || length > longest_name) throw ketrel_io::exception_io_data();
    read_string_body(out, length, in.source(), in.abort());
    if (out.length() != length || std::memchr(out.c_str(), '\\', length) || std::memchr(out.c_str(), '/', length))
        throw ketrel_io::exception_io_data();
}

}  // namespace

void folder_snapshot::save(byte_sink& out, const abort_signal& abort) {
    memory_sink tree;
    {
        kpl::critical_section_scope lock(m_host.lock());
        stream_writer w(tree, abort);
        write_tree(w, *m_root);
    }
    stream_writer w(out, abort);
    w.write_guid(snapshot_chunk);
    w.write_uint32(tree.size());
    w.write(tree.data(), tree.size());
    w.write_guid(state_end);
}

namespace {

class tree_loader {
public:
    tree_loader(snapshot_batch& batch, stream_info_loader& loader, library_track_list& tracks)
        : m_batch(batch), m_loader(loader), m_tracks(tracks), m_host(batch.host()) {}

    void load(directory_node& root, byte_source& source) {
        stream_reader in(source, m_host.abort());
        struct level {
            directory_node* dir;
            uint32_t folders_left;
            uint32_t path_length;  // of the visited location before this level was entered
        };
        kpl::array<level> stack;
        read_files(in, root);
        stack.append(level{&root, in.read_uint32(), m_batch.visited().length()});
        kpl::utf8_string_pow2 name;
        while (stack.count()) {
            level& top = stack[stack.count() - 1];
            if (top.folders_left == 0) {
                m_batch.leave(top.path_length);
                stack.resize_pow2_shrink(stack.count() - 1);
                continue;
            }
            --top.folders_left;
            directory_node* parent = top.dir;
            if (stack.count() > deepest_level) throw ketrel_io::exception_io_data();
            read_name(in, name);
            const uint32_t before = m_batch.enter(name.c_str(), name.length());
            directory_node* sub;
            auto it = parent->folders.find(std::string_view(name.c_str(), name.length()));
            if (it != parent->folders.end()) {
                sub = it->second.get();
            } else {
                std::unique_ptr<directory_node> node(new directory_node);
                kpl::critical_section_scope lock(m_host.lock());
                sub = parent->folders.emplace(std::string(name.c_str(), name.length()), std::move(node))
                          .first->second.get();
            }
            read_files(in, *sub);
            stack.append(level{sub, in.read_uint32(), before});
        }
        m_tracks.insert_from(m_collected, m_tracks.count());
    }

private:
    void read_files(stream_reader& in, directory_node& dir) {
        const abort_signal& abort = m_host.abort();
        const uint32_t count = in.read_uint32();
        kpl::utf8_string_pow2 name;
        for (uint32_t n = 0; n < count; ++n) {
            abort.check();
            read_name(in, name);
            const uint32_t before = m_batch.enter(name.c_str(), name.length());
            const char* location = m_batch.visited().c_str();
            file_node* file;
            auto it = dir.files.find(std::string_view(name.c_str(), name.length()));
            if (it != dir.files.end()) {
                file = &it->second;
            } else {
                kpl::critical_section_scope lock(m_host.lock());
                file = &dir.files.emplace(std::string(name.c_str(), name.length()), file_node()).first->second;
            }
            const uint64_t stamp = read_u64(in);
            {
                kpl::critical_section_scope lock(m_host.lock());
                file->stamp = stamp;
                file->tracks.clear();
            }
            const uint32_t track_count = in.read_uint32();
            bool queued = false;
            for (uint32_t t = 0; t < track_count; ++t) {
                const uint32_t subsong = in.read_uint32();
                const uint32_t has_record = in.read_uint32();
                if (has_record > 1) throw ketrel_io::exception_io_data();
                track_handle_ref handle;
                if (has_record) {
                    m_loader.load_location(handle, track_location(location, subsong), stamp, in.source(), abort);
                } else {
                    track_handle_registry::get().get_handle(handle, track_location(location, subsong));
                    if (!queued && !handle->has_info()) {
                        m_host.queue_path(m_batch.relative(), 0);
                        queued = true;
                    }
                }
                kpl::critical_section_scope lock(m_host.lock());
                file->tracks.append(handle);
            }
            for (uint32_t t = 0; t < file->tracks.count(); ++t) m_collected.append(file->tracks[t]);
            m_batch.leave(before);
        }
    }

    snapshot_batch& m_batch;
    stream_info_loader& m_loader;
    library_track_list& m_tracks;
    snapshot_host& m_host;
    library_track_array m_collected;
};

}  // namespace

void folder_snapshot::load(snapshot_batch& batch, file_stream& source, library_track_list& tracks) {
    const abort_signal& abort = m_host.abort();
    clear();
    service_ptr<tag_operations> ops;
    service_class::get_single(ops);
    service_ptr<tag_operations_ext> ext;
    if (!service_query(ops.get(), ext)) throw exception_service_extension_not_found();
    service_ptr<stream_info_loader> loader;
    ext->create_stream_info_loader(loader);

    const uint64_t size = source.get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    stream_reader in(source, abort);
    for (kpl::guid id = in.read_guid(); id != state_end; id = in.read_guid()) {
        const uint32_t length = in.read_uint32();
        const uint64_t position = source.get_position(abort);
        if (position + length > size) throw ketrel_io::exception_io_data();
        if (id == snapshot_chunk) {
            file_stream_ref chunk = file_segment::create(source, position, length);
            buffered_reader buffered(*chunk, 16384);
            tree_loader(batch, *loader, tracks).load(*m_root, buffered);
        }
        source.seek(position + length, abort);
    }
    loader->commit();
    m_host.flush(batch);
}

// --- listing ----------------------------------------------------------------------------------------------

void snapshot_list_directory(const char* location, snapshot_listing& files, snapshot_listing& folders,
                             const abort_signal& abort) {
    abort.check();
    const char* native = location;
    if (std::strncmp(native, "file://", 7) == 0) native += 7;
    const bool drive = ((native[0] | 0x20) >= 'a' && (native[0] | 0x20) <= 'z' && native[1] == ':');
    const bool unc = native[0] == '\\' && native[1] == '\\';
    if (!drive && !unc) throw kpl::exception_invalid_params();
    kpl::utf8_string_pow2 pattern;
    local_path::to_long_path(location, pattern);
    if (pattern.length() == 0 || pattern.c_str()[pattern.length() - 1] != '\\') pattern.append_char('\\');
    pattern << "*.*";
    std::unique_ptr<directory_enum> e = directory_enum::open(pattern.c_str());
    if (!e) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return;
        throw_win32_io_error(error);
    }
    do {
        abort.check();
        const char* name = e->name();
        snapshot_listed_entry entry;
        entry.attributes = e->attributes();
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name[std::strspn(name, "./\\")] == 0) continue;
            folders[name] = entry;
        } else {
            entry.size = e->size();
            entry.stamp = e->last_write_time();
            files[name] = entry;
        }
    } while (e->next());
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) throw_win32_io_error(error);
}
