#include "tests/properties/tag_fakes.h"

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "inputs/tag_remover.h"

namespace tag_fakes {

namespace {

std::map<std::string, file>& table() {
    static std::map<std::string, file> files;
    return files;
}

class fake_writer : public service_counted<track_info_writer, track_info_writer_tag_remover> {
public:
    explicit fake_writer(file& f) : m_file(f) {}

    uint32_t subsong_count() override { return static_cast<uint32_t>(m_file.ids.size()); }
    uint32_t subsong_id(uint32_t index) override { return m_file.ids.at(index); }
    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort) override {
        abort.check();
        if (m_file.committed && m_file.read_after_commit_fails) throw ketrel_io::exception_io_data("read-back broken");
        auto found = m_file.infos.find(subsong);
        if (found == m_file.infos.end()) throw ketrel_io::exception_io_data("no such subsong");
        info.copy(found->second);
    }
    file_stats get_file_stats(const abort_signal& abort) override {
        abort.check();
        file_stats s;
        s.size = 100;
        s.timestamp = m_file.stamp;
        return s;
    }
    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort) override {
        abort.check();
        m_staged[subsong].copy(info);
    }
    void commit_info(const abort_signal& abort) override {
        abort.check();
        if (m_file.commit_fails) throw ketrel_io::exception_io_data("commit broken");
        for (auto& s : m_staged) m_file.infos[s.first].copy(s.second);
        m_staged.clear();
        ++m_file.commits;
        ++m_file.stamp;
        m_file.committed = true;
    }
    void remove_all_tags(const abort_signal& abort) override {
        abort.check();
        for (auto& s : m_file.infos) s.second.meta_remove_all();
        ++m_file.removes;
        ++m_file.stamp;
        m_file.committed = true;
    }
    bool query(service_ref& out, const kpl::guid& guid) override {
        if (guid == track_info_writer_tag_remover::class_guid && !m_file.has_remover) return false;
        return service_counted::query(out, guid);
    }

private:
    file& m_file;
    std::map<uint32_t, track_info_store> m_staged;
};

file& open_file(const char* path, const abort_signal& abort) {
    abort.check();
    auto found = table().find(path);
    if (found == table().end()) throw ketrel_io::exception_io_not_found();
    file& f = found->second;
    if (f.open_denied) throw ketrel_io::exception_io_denied();
    ++f.opens;
    return f;
}

}  // namespace

file& add(const std::string& path, const std::vector<uint32_t>& ids) {
    file& f = table()[path];
    f = file();
    f.ids = ids;
    std::vector<uint32_t> all = ids;
    all.push_back(0);
    for (uint32_t id : all) {
        track_info_store& info = f.infos[id];
        info.meta_set("title", track_info::npos, (path.substr(7) + " #" + std::to_string(id)).c_str(), track_info::npos);
        info.set_length(2);
    }
    return f;
}

file& get(const std::string& path) { return table().at(path); }
void reset() { table().clear(); }

track_handle_ref handle(const std::string& path, uint32_t subsong) {
    track_handle_ref h;
    track_handle_registry::get().get_handle(h, track_location(path.c_str(), subsong));
    return h;
}

kpl::array_list<track_handle_ref> list(const std::vector<track_handle_ref>& tracks) {
    kpl::array_list<track_handle_ref> out;
    for (const track_handle_ref& t : tracks) out.append(t);
    return out;
}

std::string title_of(const track_handle_ref& track) {
    browse_fields_builder record;
    if (!track->copy_browse_fields(record)) return "";
    return record.get(::browse_title);
}

quiet_host::quiet_host() { m_previous = tag_operation_host::install(this); }
quiet_host::~quiet_host() { tag_operation_host::install(m_previous); }

void quiet_host::run_task(threaded_process::task* task, uint32_t options, HWND, const char* title) {
    ++tasks;
    last_options = options;
    last_title = title;
    service_ptr<threaded_process::task> held(task);
    task->on_start(nullptr);
    bool aborted = false;
    try {
        task->run(*this, abort);
    } catch (const ketrel_io::exception_aborted&) {
        aborted = true;
    }
    task->on_done(nullptr, aborted || abort.is_set());
}

void quiet_host::open_reader(service_ptr<track_info_reader>& out, const char* path, const abort_signal& abort) {
    if (real_files && std::string(path).compare(0, 7, "file://") == 0) {
        tag_operation_host::open_reader(out, path, abort);
        return;
    }
    file& f = open_file(path, abort);
    service_ref r;
    r.attach(static_cast<track_info_writer*>(new fake_writer(f)));
    out.attach_ref(std::move(r));
}

void quiet_host::open_writer(service_ptr<track_info_writer>& out, const char* path, const abort_signal& abort,
                             double timeout) {
    if (real_files && std::string(path).compare(0, 7, "file://") == 0) {
        tag_operation_host::open_writer(out, path, abort, timeout);
        return;
    }
    file& f = open_file(path, abort);
    service_ref r;
    r.attach(static_cast<track_info_writer*>(new fake_writer(f)));
    out.attach_ref(std::move(r));
}

void quiet_host::show_report(const char* text, const char* title) { reports.push_back(std::string(title) + "|" + text); }

recorder::recorder() {
    service_ptr<tag_operations> ops;
    service_class::get_single(ops);
    service_ptr<tag_operations_ext2> ext;
    service_query(ops.get(), ext);
    ext->register_info_change_callback(this);
}

recorder::~recorder() {
    service_ptr<tag_operations> ops;
    service_class::get_single(ops);
    service_ptr<tag_operations_ext2> ext;
    service_query(ops.get(), ext);
    ext->unregister_info_change_callback(this);
}

void recorder::on_info_changed(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) {
    call c;
    c.flag = flag;
    for (uint32_t i = 0; i < tracks.count(); ++i) c.tracks.push_back(tracks.get_item(i).get());
    calls.push_back(c);
    if (during) during();
}

}  // namespace tag_fakes
