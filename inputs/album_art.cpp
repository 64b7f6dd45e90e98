#include "inputs/album_art.h"

#include <cstring>

#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/path_names.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_registry.h"

namespace {

class picture_bytes final : public service_counted<album_art_data> {
public:
    picture_bytes(const void* data, size_t size) {
        m_bytes.resize_exact(static_cast<uint32_t>(size));
        if (size) std::memcpy(m_bytes.data(), data, size);
    }
    const void* get_data() const override { return m_bytes.data(); }
    size_t get_size() const override { return m_bytes.count(); }

private:
    kpl::byte_array m_bytes;
};

class album_art_editor final : public service_counted<album_art_writer_v2> {
public:
    album_art_editor(album_art_format& format, bool writing) : m_format(format), m_writing(writing) {}

    void open(file_stream_ref file, const char* path, const abort_signal& abort) {
        filesystem_open_mode(file, path, m_writing ? 2 : 0, abort);
        m_format.read_pictures(file, m_map, abort);
        if (m_writing) {
            m_file = file;
            m_path = path;
        } else if (m_map.count() == 0) {
            throw exception_album_art_not_found();
        }
    }

    service_ptr<album_art_data> get(const kpl::guid& kind, const abort_signal& abort) override {
        abort.check();
        const album_art_map::entry* e = m_map.find(kind);
        if (!e) throw exception_album_art_not_found();
        return e->data;
    }
    void set(const kpl::guid& kind, const service_ptr<album_art_data>& data, const abort_signal& abort) override {
        abort.check();
        if (!m_format.is_supported_kind(kind)) throw exception_album_art_unsupported_entry();
        m_map.set(kind, data);
    }
    bool remove(const kpl::guid& kind) override { return m_map.remove(kind); }
    void remove_all() override { m_map.clear(); }
    void commit(const abort_signal& abort) override {
        if (!m_writing) throw kpl::exception_not_implemented();
        m_format.write_pictures(m_file, m_path.c_str(), m_map, abort);
    }

private:
    album_art_format& m_format;
    bool m_writing;
    album_art_map m_map;
    file_stream_ref m_file;
    kpl::utf8_string_tight m_path;
};

template <class Service, class Instance>
void open_by_extension(service_ptr<Instance>& out, file_stream_ref file, const char* path,
                       const abort_signal& abort) {
    char extension[32];
    kpl::extension_of(path, extension);
    service_iterator it(Service::class_guid);
    service_ref each;
    while (it.next(each)) {
        Service* service = each.as<Service>();
        if (service->accepts_extension(path, extension)) {
            service->open(out, file, path, abort);
            return;
        }
    }
    throw ketrel_io::exception_io_unsupported_format();
}

}  // namespace

bool album_art_kind_to_picture_type(const kpl::guid& kind, uint32_t& type) {
    if (kind == album_art_kind_front) type = 3;
    else if (kind == album_art_kind_back) type = 4;
    else if (kind == album_art_kind_disc) type = 6;
    else if (kind == album_art_kind_icon) type = 2;
    else if (kind == album_art_kind_artist) type = 8;
    else return false;
    return true;
}

service_ptr<album_art_data> album_art_data_make(const void* data, size_t size) {
    service_ptr<album_art_data> out;
    service_ref ref;
    ref.attach(static_cast<album_art_data*>(new picture_bytes(data, size)));
    out.attach_ref(std::move(ref));
    return out;
}

void album_art_map::set(const kpl::guid& kind, const service_ptr<album_art_data>& data) {
    uint32_t i = 0;
    while (i < m_entries.count() && m_entries[i].kind < kind) ++i;
    if (i < m_entries.count() && m_entries[i].kind == kind) {
        m_entries[i].data = data;
        return;
    }
    m_entries.insert_at(i, entry{kind, data});
}

bool album_art_map::remove(const kpl::guid& kind) {
    for (uint32_t i = 0; i < m_entries.count(); ++i) {
        if (m_entries[i].kind == kind) {
            m_entries.remove_at(i);
            return true;
        }
    }
    return false;
}

const album_art_map::entry* album_art_map::find(const kpl::guid& kind) const {
    for (const entry& e : m_entries)
        if (e.kind == kind) return &e;
    return nullptr;
}

void album_art_editor_open_reader(service_ptr<album_art_reader>& out, album_art_format& format,
                                  file_stream_ref file, const char* path, const abort_signal& abort) {
    album_art_editor* editor = new album_art_editor(format, false);
    service_ref holder;
    holder.attach(static_cast<album_art_reader*>(editor));
    editor->open(file, path, abort);
    out.attach_ref(std::move(holder));
}

void album_art_editor_open_writer(service_ptr<album_art_writer>& out, album_art_format& format,
                                  file_stream_ref file, const char* path, const abort_signal& abort) {
    album_art_editor* editor = new album_art_editor(format, true);
    service_ref holder;
    holder.attach(static_cast<album_art_writer*>(editor));
    editor->open(file, path, abort);
    out.attach_ref(std::move(holder));
}

void album_art_open_reader(service_ptr<album_art_reader>& out, file_stream_ref file, const char* path,
                           const abort_signal& abort) {
    open_by_extension<album_art_reader_service>(out, file, path, abort);
}

void album_art_open_writer(service_ptr<album_art_writer>& out, file_stream_ref file, const char* path,
                           const abort_signal& abort) {
    open_by_extension<album_art_writer_service>(out, file, path, abort);
}
