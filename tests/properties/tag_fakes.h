#pragma once
// Stand-ins for the tag operations' surroundings: files that live in a table (paths "fake://NAME"), read and
// written through counted fake readers and writers, and a host that runs a task at once on the calling
// thread, with no window, recording progress, item lines and the report.
//
//     tag_fakes::file& f = tag_fakes::add("fake://a", {1, 2, 3});   // subsongs 1..3, info "title" = "a #id"
//     tag_fakes::quiet_host host;                                   // installed until it goes
//     ops->update_info(tracks, editor, nullptr, 0, nullptr, notifier);   // runs to its end in the call
//     host.progress;  host.items;  host.reports;  f.commits;  f.opens
//
// Paths of this scheme belong to no file system, so removing tags skips the stripping of the file's ends,
// as it does for any such path.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "foundation/kpl/ref_list.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/result_notifier.h"
#include "metadata/tag_operations.h"
#include "metadata/track_info.h"
#include "properties/tag_operation_host.h"

namespace tag_fakes {

struct file {
    std::vector<uint32_t> ids;
    std::map<uint32_t, track_info_store> infos;  // the "file's" content per subsong (0 included when asked)
    uint64_t stamp = 1000;
    // Failures: opening (reader and writer) throws access denied; the commit throws a data error; reading
    // any info after a commit throws a data error.
    bool open_denied = false;
    bool commit_fails = false;
    bool read_after_commit_fails = false;
    // The writer answers the tag-remover extension.
    bool has_remover = false;

    int opens = 0;
    int commits = 0;
    int removes = 0;
    bool committed = false;
};

// A new table entry: subsongs `ids`, each (and subsong 0) with "title" = "<name> #<id>" and length 2.
file& add(const std::string& path, const std::vector<uint32_t>& ids);
file& get(const std::string& path);
void reset();

// The handle of (path, subsong).
track_handle_ref handle(const std::string& path, uint32_t subsong = 0);
kpl::array_list<track_handle_ref> list(const std::vector<track_handle_ref>& tracks);

class quiet_host final : public tag_operation_host, public threaded_process::progress_sink {
public:
    quiet_host();
    ~quiet_host();

    void run_task(threaded_process::task* task, uint32_t options, HWND parent, const char* title) override;
    void open_reader(service_ptr<track_info_reader>& out, const char* path, const abort_signal& abort) override;
    void open_writer(service_ptr<track_info_writer>& out, const char* path, const abort_signal& abort,
                     double timeout) override;
    void show_report(const char* text, const char* title) override;

    void set_progress(uint32_t value) override { progress.push_back(value); }
    void set_progress_secondary(uint32_t) override {}
    void set_item(const char* text, size_t) override { items.push_back(text); }
    void set_item_path(const char* location, size_t) override { items.push_back(location); }
    void set_title(const char*, size_t) override {}
    void force_update() override {}
    bool is_paused() override { return false; }
    bool wait_while_paused() override { return !abort.is_set(); }

    // "Abort" pressed: set it, from the editor or another thread.
    kpl::waitable_flag abort;
    uint32_t tasks = 0;
    uint32_t last_options = 0;
    std::string last_title;
    std::vector<uint32_t> progress;
    std::vector<std::string> items;
    std::vector<std::string> reports;  // "title|text"
    // Paths with real files are opened through the program's probing.
    bool real_files = false;

private:
    tag_operation_host* m_previous;
};

class completion final : public notifier_owner {
public:
    void on_notify(int, int32_t value) override { codes.push_back(value); }
    result_notifier* make() {
        m_ref = create_notifier(1);
        return m_ref.as<result_notifier>();
    }
    std::vector<int32_t> codes;

private:
    service_ref m_ref;
};

// Records every broadcast: flag and paths#subsong in list order.
class recorder final : public info_change_callback {
public:
    recorder();
    ~recorder();
    void on_info_changed(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) override;
    struct call {
        uint8_t flag;
        std::vector<track_handle*> tracks;
    };
    std::vector<call> calls;
    std::function<void()> during;
};

// An editor from a function; an observer recording what it saw.
class editor final : public service_counted<info_editor> {
public:
    explicit editor(std::function<bool(const track_handle_ref&, track_info&)> f) : m_f(std::move(f)) {}
    bool apply(const track_handle_ref& track, const file_stats&, track_info& info) override { return m_f(track, info); }

private:
    std::function<bool(const track_handle_ref&, track_info&)> m_f;
};

class observer final : public service_counted<info_observer> {
public:
    void on_info(const track_handle_ref& track, const track_info& info, const file_stats& stats) override {
        const char* title = info.meta_get_first("title");
        seen.push_back(std::string(track->get_location().get_path()) + "#" +
                       std::to_string(track->get_location().get_subsong()) + ":" + (title ? title : "") + ":" +
                       std::to_string(stats.timestamp));
    }
    std::vector<std::string> seen;
};

// The browse title of a handle ("" without info).
std::string title_of(const track_handle_ref& track);

}  // namespace tag_fakes
