// The tag operation commands of vorn-inspect: the program's tag_operations service run as the player runs
// it, with its progress window, in the tool's own message loop. Each PATH names subsong 0 of the file.
//
// vorn-inspect tag-load PATH... [--mode M] [--flags F]          (mode 1 unless given)
// vorn-inspect tag-update PATH... --set NAME=VALUE [--set ...] [--flags F] [--abort-after K]
//                                 [--hold PATH --hold-for SECONDS]
// vorn-inspect tag-remove PATH... [--flags F] [--abort-after K] [--hold PATH --hold-for SECONDS]
//
// tag-update sets exactly the named fields (a name given several times gets those values in order, "NAME="
// removes the field) and keeps the others; its editor answers true only for a track that this changes.
// --abort-after K presses the progress window's Abort button once the K-th file is being read back (the
// worker goes on only after the press was handled); --hold opens PATH without sharing before the operation
// starts and closes it SECONDS later.
//
// Output, from an info-change callback the tool registers:
//     broadcast 0 2                  (per broadcast: its flag and its number of tracks)
//     changed 0 2.500 C:\m\a.flac    (per track, in path order: subsong, length with 3 decimals, display path)
//     browse artist=A; B             (per non-empty browse field: title, artist, album artist, genre, album,
//                                     tracknumber, discnumber, date)
//     completion 2                   (the completion code: 0 done, 1 aborted, 2 with failures)
//     report Information             (when a failure report was shown: its title, then its text as it is)
//     Could not write information (Access denied) to:
//     ...
// The exit status is 0 whenever the operation finished.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/result_notifier.h"
#include "foundation/win32/win_string.h"
#include "metadata/browse_fields.h"
#include "metadata/tag_operations.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"
#include "properties/tag_operation_host.h"
#include "resources/resource_ids.h"
#include "shell/localization.h"
#include "shell/main_thread_queue.h"
#include "shell/message_loop.h"
#include "tools/inspect/inspect_command.h"

namespace {

const char* const g_browse_names[browse_field_count] = {"title",  "artist",      "album artist", "genre",
                                                        "album",  "tracknumber", "discnumber",   "date"};

[[noreturn]] void bad_argument(const char* what, const char* text) {
    kpl::utf8_string_pow2 message(what);
    message << ": " << text;
    throw kpl::exception_invalid_params(message.c_str());
}

uint32_t parse_number(const char* text, const char* what) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 0);
    if (!*text || *end || text[0] == '-') bad_argument(what, text);
    return static_cast<uint32_t>(value);
}

kpl::utf8_string_tight location_of(const char* argument) {
    kpl::utf8_string_tight location("file://");
    location << inspect_path(argument);
    return location;
}

// Prints every broadcast.
class printing_callback final : public info_change_callback {
public:
    explicit printing_callback(inspect_output& out) : m_out(out) {}

    void on_info_changed(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) override {
        char line[64];
        std::snprintf(line, sizeof line, "broadcast %u %u", static_cast<unsigned>(flag), tracks.count());
        m_out.line(line);
        std::vector<track_handle_ref> sorted;
        for (uint32_t i = 0; i < tracks.count(); ++i) sorted.push_back(tracks.get_item(i));
        for (size_t i = 1; i < sorted.size(); ++i) {
            for (size_t j = i; j > 0 && before(sorted[j], sorted[j - 1]); --j) std::swap(sorted[j], sorted[j - 1]);
        }
        for (const track_handle_ref& track : sorted) print(*track);
    }

private:
    static bool before(const track_handle_ref& a, const track_handle_ref& b) {
        const int c = std::strcmp(a->get_location().get_path(), b->get_location().get_path());
        return c != 0 ? c < 0 : a->get_location().get_subsong() < b->get_location().get_subsong();
    }

    void print(const track_handle& track) {
        kpl::utf8_string_pow2 shown;
        file_system_display_path(track.get_location().get_path(), shown);
        char head[64];
        std::snprintf(head, sizeof head, "changed %u %.3f ", track.get_location().get_subsong(),
                      static_cast<double>(track_handle::get_length(track)));
        kpl::utf8_string_pow2 line(head);
        line << shown;
        m_out.line(line.c_str());
        browse_fields_builder record;
        if (!track.copy_browse_fields(record)) return;
        for (uint32_t i = 0; i < browse_field_count; ++i) {
            if (!*record.get(i)) continue;
            kpl::utf8_string_pow2 field("browse ");
            field << g_browse_names[i] << "=" << record.get(i);
            m_out.line(field.c_str());
        }
    }

    inspect_output& m_out;
};

// The program's host, keeping the report instead of showing it.
class report_catcher final : public tag_operation_host {
public:
    void show_report(const char* text, const char* title) override {
        shown = true;
        m_title = title;
        m_text = text;
    }
    void print(inspect_output& out) const {
        if (!shown) return;
        kpl::utf8_string_pow2 head("report ");
        head << m_title;
        out.line(head.c_str());
        out.text(m_text.c_str());
    }
    bool shown = false;

private:
    kpl::utf8_string_pow2 m_title, m_text;
};

class completion_owner final : public notifier_owner {
public:
    void on_notify(int, int32_t value) override {
        code = value;
        done = true;
    }
    bool done = false;
    int32_t code = -1;
};

// Presses Abort once the K-th file is being read back.
class abort_presser final : public service_counted<info_observer> {
public:
    abort_presser(uint32_t after, const char* title) : m_after(after), m_title(title) {}

    void on_info(const track_handle_ref& track, const track_info&, const file_stats&) override {
        const char* path = track->get_location().get_path();
        if (m_files > 0 && m_last.equals(path)) return;
        m_last = path;
        if (++m_files != m_after) return;
        EnumThreadWindows(main_thread_id_of_tool(), &press, reinterpret_cast<LPARAM>(this));
    }

private:
    static DWORD main_thread_id_of_tool();
    static BOOL CALLBACK press(HWND window, LPARAM context) {
        abort_presser* self = reinterpret_cast<abort_presser*>(context);
        wchar_t title[256] = {};
        GetWindowTextW(window, title, 256);
        if (!kpl::utf8_string_from_utf16(title).equals(self->m_title.c_str())) return TRUE;
        // Sent, not posted: the worker goes on once the dialog has handled the press.
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_PROGRESS_ABORT, BN_CLICKED), 0);
        return FALSE;
    }

    uint32_t m_after;
    uint32_t m_files = 0;
    kpl::utf8_string_tight m_last;
    kpl::utf8_string_tight m_title;
};

DWORD g_tool_thread = GetCurrentThreadId();
DWORD abort_presser::main_thread_id_of_tool() { return g_tool_thread; }

// Sets exactly the named fields; true when that changes the info.
class field_setter final : public service_counted<info_editor> {
public:
    void add(const char* assignment) {
        const char* eq = std::strchr(assignment, '=');
        if (!eq || eq == assignment) bad_argument("bad --set", assignment);
        kpl::utf8_string_tight name(assignment, static_cast<uint32_t>(eq - assignment));
        for (field& f : m_fields) {
            if (track_info_compare_names(f.name.c_str(), f.name.length(), name.c_str(), name.length()) == 0) {
                if (eq[1]) f.values.push_back(eq + 1);
                return;
            }
        }
        field f;
        f.name = name;
        if (eq[1]) f.values.push_back(eq + 1);
        m_fields.push_back(f);
    }
    bool empty() const { return m_fields.empty(); }

    bool apply(const track_handle_ref&, const file_stats&, track_info& info) override {
        bool changed = false;
        for (const field& f : m_fields) {
            const int32_t at = info.meta_find(f.name.c_str());
            if (f.values.empty()) {
                if (at < 0) continue;
                kpl::bit_array drop(info.meta_count());
                drop.set(static_cast<uint32_t>(at), true);
                info.meta_remove_mask(drop);
                changed = true;
                continue;
            }
            if (at >= 0 && same_values(info, static_cast<uint32_t>(at), f.values)) continue;
            const uint32_t index = info.meta_set(f.name.c_str(), track_info::npos, f.values[0].c_str(), track_info::npos);
            for (size_t k = 1; k < f.values.size(); ++k) info.meta_add_value(f.values[k].c_str(), index);
            changed = true;
        }
        return changed;
    }

private:
    struct field {
        kpl::utf8_string_tight name;
        std::vector<kpl::utf8_string_tight> values;
    };

    static bool same_values(const track_info& info, uint32_t at, const std::vector<kpl::utf8_string_tight>& values) {
        if (info.meta_value_count(at) != values.size()) return false;
        for (uint32_t k = 0; k < values.size(); ++k) {
            if (std::strcmp(info.meta_value(at, k), values[k].c_str()) != 0) return false;
        }
        return true;
    }

    std::vector<field> m_fields;
};

// A file opened without sharing, closed after a while.
class file_hold {
public:
    void open(const char* path, double seconds) {
        const kpl::utf8_string_tight native = inspect_path(path);
        m_handle = CreateFileW(win_string_param(native.c_str()).get(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE) bad_argument("cannot hold", path);
        m_until = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    }
    void poll() {
        if (m_handle != INVALID_HANDLE_VALUE && static_cast<int32_t>(GetTickCount() - m_until) >= 0) close();
    }
    void close() {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    ~file_hold() { close(); }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    DWORD m_until = 0;
};

enum class operation { load, update, remove };

int run_tag_command(const inspect_arguments& args, inspect_output& out, operation op) {
    static const char* const load_options[] = {"mode", "flags", nullptr};
    static const char* const write_options[] = {"set", "flags", "abort-after", "hold", "hold-for", nullptr};
    static const char* const remove_options[] = {"flags", "abort-after", "hold", "hold-for", nullptr};
    args.expect(0xFFFFFFFF, op == operation::load ? load_options : op == operation::update ? write_options : remove_options);
    if (args.positional.count() == 0) args.required(0, "PATH");

    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());

    const uint32_t flags = args.has_option("flags") ? parse_number(args.option("flags"), "bad --flags") : 0;
    const int mode = args.has_option("mode") ? static_cast<int>(parse_number(args.option("mode"), "bad --mode")) : 1;
    const uint32_t abort_after = args.has_option("abort-after") ? parse_number(args.option("abort-after"), "bad --abort-after") : 0;

    service_ptr<field_setter> setter(new field_setter);
    setter->release();
    for (uint32_t i = 0; i < args.option_names.count(); ++i) {
        if (args.option_names[i] == "set") setter->add(args.option_values[i].c_str());
    }
    if (op == operation::update && setter->empty()) throw kpl::exception_invalid_params("tag-update needs --set");

    kpl::array_list<track_handle_ref> tracks;
    for (uint32_t i = 0; i < args.positional.count(); ++i) {
        track_handle_ref track;
        track_handle_registry::get().get_handle(track, track_location(location_of(args.positional[i].c_str()).c_str(), 0));
        tracks.append(track);
    }

    const char* title_id = op == operation::load     ? "dialog_title_load_info"
                           : op == operation::update ? "dialog_title_update_info"
                                                     : "dialog_title_remove_tags";
    service_ptr<abort_presser> presser;
    if (abort_after > 0) {
        presser.assign(new abort_presser(abort_after, localized_string(title_id)));
        presser->release();
    }

    file_hold hold;
    if (args.has_option("hold")) {
        const char* seconds = args.option("hold-for");
        hold.open(args.option("hold"), seconds ? std::strtod(seconds, nullptr) : 0);
    }

    service_ptr<tag_operations> ops;
    service_class::get_single(ops);
    service_ptr<tag_operations_ext2> ext2;
    if (!service_query(ops.get(), ext2)) throw exception_service_extension_not_found();
    printing_callback printer(out);
    report_catcher catcher;
    completion_owner owner;
    tag_operation_host* previous = tag_operation_host::install(&catcher);
    ext2->register_info_change_callback(&printer);
    try {
        service_ref completion = owner.create_notifier(1);
        result_notifier* notifier = completion.as<result_notifier>();
        switch (op) {
            case operation::load:
                ops->load_info(tracks, mode, nullptr, flags, nullptr, notifier);
                break;
            case operation::update:
                ops->update_info(tracks, setter.get(), nullptr, flags, presser.get(), notifier);
                break;
            case operation::remove:
                ops->remove_tags(tracks, nullptr, flags, presser.get(), notifier);
                break;
        }
        while (!owner.done) {
            dispatch_waiting_messages();
            hold.poll();
            if (!owner.done) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        // Whatever the operation queued behind its completion.
        main_thread_queue::drain(true);
    } catch (...) {
        ext2->unregister_info_change_callback(&printer);
        tag_operation_host::install(previous);
        throw;
    }
    ext2->unregister_info_change_callback(&printer);
    tag_operation_host::install(previous);
    owner.detach_all();

    char line[32];
    std::snprintf(line, sizeof line, "completion %d", static_cast<int>(owner.code));
    out.line(line);
    catcher.print(out);
    return 0;
}

int run_tag_load(const inspect_arguments& args, inspect_output& out) { return run_tag_command(args, out, operation::load); }
int run_tag_update(const inspect_arguments& args, inspect_output& out) {
    return run_tag_command(args, out, operation::update);
}
int run_tag_remove(const inspect_arguments& args, inspect_output& out) {
    return run_tag_command(args, out, operation::remove);
}

inspect_command g_tag_load("tag-load", "PATH... [--mode M] [--flags F]",
                           "reads the files' info into their tracks through the tag operations", &run_tag_load);
inspect_command g_tag_update("tag-update",
                             "PATH... --set NAME=VALUE... [--flags F] [--abort-after K] [--hold PATH --hold-for S]",
                             "sets the named fields of the files through the tag operations", &run_tag_update);
inspect_command g_tag_remove("tag-remove", "PATH... [--flags F] [--abort-after K] [--hold PATH --hold-for S]",
                             "removes the files' tags through the tag operations", &run_tag_remove);

}  // namespace
