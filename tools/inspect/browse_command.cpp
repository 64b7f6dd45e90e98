// The browse command of vorn-inspect: one of the main window's views (tag view, folder tree, music folders)
// over a profile's library, driven as the main window drives it.
//
// vorn-inspect browse PROFILE KIND [LEVEL]... [--open KEY]... [--up] [--select KEY]... [--tracks] [--picture]
//                     [--watch SECONDS] [--events FILE]
//
// The library of PROFILE is loaded as the library command loads it (waiting until it is settled). KIND is 0
// (tag view), 1 (folder tree) or 2 (music folders); each LEVEL argument is one level of the path, its keys
// joined by "|" ("" for an empty level; the folder tree takes one component per level: 1 Z: tmp music).
// Then --open (keys joined by "|") and --up run in the order given; an opened key that redirects switches
// to the node it names. Output lines are a keyword and fields separated by TABs:
//     kind K
//     level KEYS                     per level of the node's path, keys joined by "|"
//     title MARKUP                   the SysLink markup
//     link N KIND LEVEL...           per link target, N from 0
//     item S TEXT                    per item; S 1 for a summary item
//     redirect TEXT KIND LEVEL...    music folders only, per item
//     track PATH SUBSONG             --tracks: the view's track list, or the --select keys' list
//     picture PATH                   --picture, when the view has one
//     event MS changed N | event MS indexing 0|1     --watch; also appended to --events FILE after "ready"
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "library/folder_tree_node.h"
#include "library/folder_view_node.h"
#include "library/library_view_model.h"
#include "library/media_library.h"
#include "tools/inspect/inspect_command.h"
#include "tools/inspect/library_session.h"

namespace {

std::wstring wide(const std::string& text) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, text.c_str());
    return w.c_str();
}

key_list split_keys(const std::string& text) {
    key_list out;
    if (text.empty()) return out;
    size_t at = 0;
    for (;;) {
        const size_t cut = text.find('|', at);
        out.append(list_text(wide(text.substr(at, cut == std::string::npos ? std::string::npos : cut - at))));
        if (cut == std::string::npos) break;
        at = cut + 1;
    }
    return out;
}

std::string join_keys(const key_list& keys) {
    std::string out;
    bool first = true;
    for (const list_text& k : keys) {
        if (!first) out += "|";
        first = false;
        out += k.utf8();
    }
    return out;
}

std::string path_fields(const node_path& path) {
    std::string out;
    for (const key_list& level : path) out += "\t" + join_keys(level);
    return out;
}

class event_log final : public library_view_host, public library_change_listener, public library_activity {
public:
    event_log(inspect_output& out, const char* file) : m_out(out), m_file(file) {}

    // Events count from here; before it nothing is printed.
    void start(library_node* node) {
        m_node = node;
        m_start = GetTickCount();
        m_on = true;
        m_file.append("ready");
    }
    void set_node(library_node* node) { m_node = node; }

    void on_items_changed() override {
        if (m_on) event("changed", m_node ? m_node->items().count() : 0);
    }
    void on_indexing_changed(bool on) override {
        if (m_on) event("indexing", on ? 1 : 0);
    }
    // The library's own reports only mark activity for the wait.
    void on_items_added(const library_track_list&) override { m_last = GetTickCount(); }
    void on_items_removed(const library_track_list&) override { m_last = GetTickCount(); }
    void on_items_modified(const library_track_list&) override { m_last = GetTickCount(); }
    DWORD last_activity() const override { return m_last; }

private:
    void event(const char* what, uint32_t n) {
        const std::string line =
            "event\t" + std::to_string(GetTickCount() - m_start) + "\t" + what + "\t" + std::to_string(n);
        m_out.line(line.c_str());
        m_file.append(line);
    }

    inspect_output& m_out;
    library_node* m_node = nullptr;
    DWORD m_start = 0;
    DWORD m_last = 0;
    bool m_on = false;
    event_file m_file;
};

std::unique_ptr<library_node> make_node(int kind, const node_path& path, event_log& host) {
    switch (kind) {
        case 0: return std::unique_ptr<library_node>(new library_view_model(host, path));
        case 1: return std::unique_ptr<library_node>(new folder_tree_node(host, path));
        default: return std::unique_ptr<library_node>(new folder_view_node(path));
    }
}

void print_tracks(inspect_output& out, item_enumerator& list) {
    item_cursor_ref at;
    list.first(at);
    while (at) {
        track_handle_ref h;
        at->get_handle(h);
        std::string path = h->get_location().get_path();
        if (path.compare(0, 7, "file://") == 0) path.erase(0, 7);
        out.line(("track\t" + path + "\t" + std::to_string(h->get_location().get_subsong())).c_str());
        item_cursor_ref next;
        at->next(next);
        at = next;
    }
}

int run_browse(const inspect_arguments& args, inspect_output& out) {
    static const char* const options[] = {"open", "up", "select", "tracks", "picture", "watch", "events", nullptr};
    args.expect(0xFFFF, options);
    const std::string profile = inspect_path(args.required(0, "PROFILE")).c_str();
    const std::string kind_text = args.required(1, "KIND");
    if (kind_text != "0" && kind_text != "1" && kind_text != "2") inspect_bad_argument("bad KIND", kind_text.c_str());
    const int kind = kind_text[0] - '0';
    const double watch_seconds = watch_seconds_option(args);
    node_path path;
    for (uint32_t i = 2; i < args.positional.count(); ++i) path.push_back(split_keys(args.positional[i].c_str()));

    open_profile(profile);

    event_log events(out, args.option("events"));
    library_session session(&events);
    wait_library_settled(events);

    std::unique_ptr<library_node> node = make_node(kind, path, events);
    events.set_node(node.get());
    for (uint32_t i = 0; i < args.option_names.count(); ++i) {
        const std::string name = args.option_names[i].c_str();
        if (name == "up") {
            node->go_up();
        } else if (name == "open") {
            const key_list keys = split_keys(args.option_values[i].c_str());
            view_path target;
            if (keys.count() == 1 && node->redirect(target, keys.front())) {
                node.reset();
                node = make_node(target.kind, target.path, events);
                events.set_node(node.get());
            } else if (node->can_open(keys)) {
                node->open(keys);
            }
        }
    }
    if (watch_seconds > 0) {
        events.start(node.get());
        pump_for(static_cast<DWORD>(watch_seconds * 1000));
    }

    out.line(("kind\t" + std::to_string(node->kind())).c_str());
    node_path at;
    node->get_path(at);
    for (const key_list& level : at) out.line(("level\t" + join_keys(level)).c_str());
    navigation_text title;
    node->get_title(title);
    out.line(("title\t" + title.markup()).c_str());
    for (size_t i = 0; i < title.targets().size(); ++i) {
        const view_path& t = title.targets()[i];
        out.line(("link\t" + std::to_string(i) + "\t" + std::to_string(t.kind) + path_fields(t.path)).c_str());
    }
    for (const list_text& item : node->items())
        out.line((std::string("item\t") + (node->is_summary_item(item) ? "1" : "0") + "\t" + item.utf8()).c_str());
    if (node->kind() == 2)
        for (const list_text& item : node->items()) {
            view_path target;
            node->redirect(target, item);
            out.line(("redirect\t" + item.utf8() + "\t" + std::to_string(target.kind) + path_fields(target.path)).c_str());
        }
    if (args.has_option("tracks")) {
        key_list selected;
        for (const std::string& keys : option_values(args, "select"))
            for (const list_text& k : split_keys(keys)) selected.append(k);
        item_enumerator_ref list = selected.empty() ? node->create_track_list() : node->create_item_track_list(selected);
        print_tracks(out, *list);
    }
    if (args.has_option("picture")) {
        std::wstring picture;
        if (node->find_picture(picture))
            out.line(("picture\t" + std::string(kpl::utf8_string_from_utf16(picture.c_str()).c_str())).c_str());
    }

    node.reset();
    return 0;
}

inspect_command g_browse("browse",
                         "PROFILE KIND [LEVEL]... [--open KEY]... [--up] [--select KEY]... [--tracks] [--picture] "
                         "[--watch SECONDS] [--events FILE]",
                         "shows a library view (0 tags, 1 folder tree, 2 music folders) over a profile's library: "
                         "path, title with links, items, tracks, picture, changes",
                         &run_browse);

}  // namespace
