// The play command of vorn-inspect: the real playback controller, engine and output, run as the program's
// start-up runs them (hidden window, main-thread queue, message loop), with every event printed.
//
//     vorn-inspect play a.flac b.flac --volume -6 --at 2:pause --at 3:play --at 5:seek=30
//     0.012 volume -6.00
//     0.015 starting 1 0
//     0.140 new_track 0
//     2.003 pause 1
//     ...
//     9.870 stopped 1
//
// Every subsong of each FILE is listed in order (a file that cannot be read as subsong 0); the play order
// gets the list and its first item, then start(1). The run ends after "stopped" 0, 1 or 3, once the
// output thread has ended.
#include <windows.h>
#include <objbase.h>
#include <ole2.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/fs/path_lock.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/ref_array.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/critical_section.h"
#include "foundation/tasks/thread.h"
#include "inputs/input_probe.h"
#include "inputs/input_service.h"
#include "metadata/tag_operations.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"
#include "playback/item_list.h"
#include "playback/output/ds_output_thread.h"
#include "playback/output/output_selection.h"
#include "playback/play_order.h"
#include "playback/playback_controller.h"
#include "playback/playback_error_window.h"
#include "playback/playback_listener.h"
#include "playback/replaygain_settings_service.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"
#include "tools/inspect/inspect_command.h"

namespace {

[[noreturn]] void bad_argument(const char* what, const char* text) {
    kpl::utf8_string_pow2 message(what);
    message << ": " << text;
    throw kpl::exception_invalid_params(message.c_str());
}

double parse_number(const char* text, const char* what) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (!*text || *end || !std::isfinite(value)) bad_argument(what, text);
    return value;
}

kpl::guid parse_guid(const char* text, const char* what) {
    if (std::strlen(text) != 38 || text[0] != '{' || text[37] != '}') bad_argument(what, text);
    for (int i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const char c = text[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex) bad_argument(what, text);
    }
    return kpl::guid_from_text(text);
}

void set_fade(advanced_integer_entry& entry, const char* text, const char* what) {
    const double ms = parse_number(text, what);
    if (ms < 0 || ms > 10000 || ms != std::floor(ms)) bad_argument(what, text);
    entry->set_text_value(text, std::strlen(text));
}

struct timed_command {
    double seconds;
    kpl::utf8_string_tight command;
    bool done;
};

// The run's state, reached from the listener, the timer and the writer threads' results.
struct play_run {
    DWORD start_tick = 0;
    inspect_output* out = nullptr;
    std::vector<track_handle_ref> tracks;
    std::vector<timed_command> commands;
    bool ended = false;
    uint32_t writes_running = 0;
};
play_run* g_run = nullptr;

void print(const char* event) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f ", (GetTickCount() - g_run->start_tick) * 0.001);
    kpl::utf8_string_pow2 line(stamp);
    line << event;
    g_run->out->line(line.c_str());
}

int index_of(const track_handle* track) {
    for (size_t i = 0; i < g_run->tracks.size(); ++i) {
        if (g_run->tracks[i].get() == track) return static_cast<int>(i);
    }
    return -1;
}

class event_printer final : public playback_listener {
public:
    void on_starting(int command, bool paused) override { printf_event("starting %d %d", command, paused ? 1 : 0); }
    void on_new_track(track_handle* track) override {
        printf_event("new_track %d", index_of(track));
        if (track) track->release();
    }
    void on_stopped(int reason) override {
        printf_event("stopped %d", reason);
        if (reason != 2) g_run->ended = true;
    }
    void on_seek(double seconds) override { printf_event("seek %.3f", seconds); }
    void on_pause_changed(bool paused) override { printf_event("pause %d", paused ? 1 : 0); }
    void on_track_info_changed(track_handle* track) override {
        printf_event("info %d", index_of(track));
        if (track) track->release();
    }
    void on_time(double seconds) override { printf_event("time %.0f", seconds); }
    void on_volume(float db) override { printf_event("volume %.2f", db); }

private:
    template <class... A>
    void printf_event(const char* format, A... a) {
        char text[128];
        std::snprintf(text, sizeof text, format, a...);
        print(text);
    }
};

void on_error_message(const char* message, void*) {
    kpl::utf8_string_pow2 line("error ");
    for (const char* p = message; *p; ++p) {
        if (*p == '\r') continue;
        if (*p == '\n') line << " | ";
        else line.append_char(*p);
    }
    print(line.c_str());
}

// A tag write of one track on a worker thread, as the tag operations write: exclusive path lock, info
// writer, commit. The result is printed on the main thread.
class tag_writer final : public kpl::thread {
public:
    tag_writer(int index, const track_handle_ref& track, const char* field, const char* value)
        : m_index(index), m_track(track), m_field(field), m_value(value) {}
    ~tag_writer() override { wait_and_close(); }

private:
    void body() override {
        try {
            const track_location& location = m_track->get_location();
            service_ref lock;
            path_lock_manager::acquire_exclusive(lock, location.get_path(), abort_never);
            service_ptr<track_info_writer> writer;
            input_open_info_writer_ex(writer, file_stream_ref(), location.get_path(), abort_never, 0.5, false);
            track_info_store info;
            writer->get_info(location.get_subsong(), info, abort_never);
            info.meta_set(m_field.c_str(), track_info::npos, m_value.c_str(), track_info::npos);
            writer->stage_info(location.get_subsong(), info, abort_never);
            writer->commit_info(abort_never);
            writer.release();
            // As the tag operations do: the file's info is read back into its tracks, and the changed ones are
            // announced on the main thread (the audible one reaches the listeners as on_track_info_changed).
            service_ptr<tag_operations> ops;
            service_class::get_single(ops);
            service_ptr<tag_operations_ext> ext;
            if (service_query(ops.get(), ext)) {
                service_ptr<info_hint_collector> hints;
                ext->create_info_hint_collector(hints);
                service_ptr<track_info_reader> reader;
                input_open_info_reader(reader, file_stream_ref(), location.get_path(), abort_never, false);
                hints->add_hints_from_reader(location.get_path(), reader.get(), abort_never);
                reader.release();
                lock.release();
                hints->commit();
            }
            report(nullptr);
        } catch (std::exception& e) {
            report(e.what());
        }
    }

    void report(const char* failure) {
        class done final : public service_counted<main_thread_callback> {
        public:
            done(int index, const char* failure) : m_index(index), m_failed(failure != nullptr), m_text(failure ? failure : "") {}
            void run() override {
                char text[64];
                std::snprintf(text, sizeof text, m_failed ? "write-failed %d " : "written %d", m_index);
                kpl::utf8_string_pow2 line(text);
                if (m_failed) line << m_text.c_str();
                print(line.c_str());
                --g_run->writes_running;
            }

        private:
            int m_index;
            bool m_failed;
            kpl::utf8_string_tight m_text;
        };
        service_ref ref;
        ref.attach(static_cast<main_thread_callback*>(new done(m_index, failure)));
        main_thread_queue::post(static_cast<main_thread_callback*>(ref.get()));
    }

    int m_index;
    track_handle_ref m_track;
    kpl::utf8_string_tight m_field, m_value;
};
std::vector<tag_writer*> g_writers;

service_ptr<playback_controller> controller() {
    service_ptr<playback_controller> c;
    service_class::get_single(c);
    return c;
}

void run_command(const char* name) {
    service_ptr<playback_controller> c = controller();
    if (std::strcmp(name, "play") == 0) {
        if (c->is_paused()) c->set_paused(false);
        else c->start(1, false);
    } else if (std::strcmp(name, "pause") == 0) {
        c->set_paused(!c->is_paused());
    } else if (std::strcmp(name, "stop") == 0) {
        c->stop();
    } else if (std::strcmp(name, "next") == 0) {
        c->start(2, false);
    } else if (std::strcmp(name, "prev") == 0) {
        c->start(3, false);
    } else if (std::strncmp(name, "seek=", 5) == 0) {
        c->seek(std::strtod(name + 5, nullptr));
    } else if (std::strncmp(name, "seek-delta=", 11) == 0) {
        c->seek_by(std::strtod(name + 11, nullptr));
    } else if (std::strncmp(name, "volume=", 7) == 0) {
        c->set_volume(static_cast<float>(std::strtod(name + 7, nullptr)));
    } else if (std::strcmp(name, "mute") == 0) {
        c->volume_mute_toggle();
    } else if (std::strcmp(name, "position") == 0) {
        char text[64];
        std::snprintf(text, sizeof text, "position %.3f", c->get_position());
        print(text);
    } else if (std::strcmp(name, "restart-output") == 0) {
        service_ptr<playback_controller_ext> ext;
        if (service_query(c.get(), ext)) ext->restart_output();
    } else if (std::strncmp(name, "write=", 6) == 0) {
        const char* p = name + 6;
        char* end = nullptr;
        const long index = std::strtol(p, &end, 10);
        const char* equals = std::strchr(end + 1, '=');
        kpl::utf8_string_tight field(end + 1, static_cast<uint32_t>(equals - end - 1));
        tag_writer* w = new tag_writer(static_cast<int>(index), g_run->tracks[static_cast<size_t>(index)], field.c_str(),
                                       equals + 1);
        g_writers.push_back(w);
        ++g_run->writes_running;
        w->start();
    }
}

void validate_command(const char* text, const char* name, size_t track_count) {
    static const char* const plain[] = {"play", "pause", "stop", "next", "prev", "mute", "position", "restart-output"};
    for (const char* p : plain) {
        if (std::strcmp(name, p) == 0) return;
    }
    if (std::strncmp(name, "seek=", 5) == 0) return (void)parse_number(name + 5, "bad --at seek");
    if (std::strncmp(name, "seek-delta=", 11) == 0) return (void)parse_number(name + 11, "bad --at seek-delta");
    if (std::strncmp(name, "volume=", 7) == 0) return (void)parse_number(name + 7, "bad --at volume");
    if (std::strncmp(name, "write=", 6) == 0) {
        char* end = nullptr;
        const long index = std::strtol(name + 6, &end, 10);
        if (end == name + 6 || *end != ':' || index < 0 || static_cast<size_t>(index) >= track_count ||
            !std::strchr(end + 1, '=') || std::strchr(end + 1, '=') == end + 1) {
            bad_argument("bad --at write", text);
        }
        return;
    }
    bad_argument("bad --at", text);
}

void CALLBACK command_timer(HWND, UINT, UINT_PTR, DWORD) {
    const double now = (GetTickCount() - g_run->start_tick) * 0.001;
    for (timed_command& c : g_run->commands) {
        if (c.done || now < c.seconds) continue;
        c.done = true;
        run_command(c.command.c_str());
    }
}

void list_file(const char* argument, kpl::ref_array& handles, service_ptr<info_hint_collector>& hints) {
    kpl::utf8_string_tight path("file://");
    path << inspect_path(argument);
    std::vector<uint32_t> subsongs;
    try {
        service_ptr<track_info_reader> reader;
        input_open_info_reader(reader, file_stream_ref(), path.c_str(), abort_never, false);
        for (uint32_t i = 0; i < reader->subsong_count(); ++i) subsongs.push_back(reader->subsong_id(i));
        hints->add_hints_from_reader(path.c_str(), reader.get(), abort_never);
    } catch (ketrel_io::exception_aborted&) {
        throw;
    } catch (std::exception&) {
        subsongs.assign(1, 0);
    }
    for (uint32_t subsong : subsongs) {
        track_handle_ref h;
        track_handle_registry::get().get_handle(h, track_location(path.c_str(), subsong));
        g_run->tracks.push_back(h);
        handles.append(h.get());
    }
}

int run_play(const inspect_arguments& args, inspect_output& out) {
    static const char* const options[] = {"replaygain", "rg-processing", "preamp-with", "preamp-without",
                                          "volume", "fade-out", "fade-seek", "fade-pause", "device", "repeat",
                                          "start-paused", "at", nullptr};
    args.expect(0xFFFFFFFF, options);
    args.required(0, "FILE");
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());

    play_run run;
    run.out = &out;
    g_run = &run;
    struct run_scope {
        ~run_scope() { g_run = nullptr; }
    } run_guard;

    replaygain_settings rg = replaygain_settings_get();
    rg.source = replaygain_settings::source_none;
    rg.processing = replaygain_settings::processing_none;
    if (const char* text = args.option("replaygain")) {
        if (std::strcmp(text, "track") == 0) rg.source = replaygain_settings::source_track;
        else if (std::strcmp(text, "album") == 0) rg.source = replaygain_settings::source_album;
        else bad_argument("bad --replaygain", text);
        rg.processing = replaygain_settings::processing_apply_gain;
    }
    if (const char* text = args.option("rg-processing")) {
        const double n = parse_number(text, "bad --rg-processing");
        if (n < 0 || n > 3 || n != std::floor(n)) bad_argument("bad --rg-processing", text);
        rg.processing = static_cast<uint32_t>(n);
    }
    if (const char* text = args.option("preamp-with")) rg.preamp_with_gain = static_cast<float>(parse_number(text, "bad --preamp-with"));
    if (const char* text = args.option("preamp-without")) {
        rg.preamp_without_gain = static_cast<float>(parse_number(text, "bad --preamp-without"));
    }
    double volume = 0;
    const bool set_volume = args.has_option("volume");
    if (set_volume) volume = parse_number(args.option("volume"), "bad --volume");
    if (const char* text = args.option("fade-out")) set_fade(advanced_settings::fade_out_ms, text, "bad --fade-out");
    if (const char* text = args.option("fade-seek")) set_fade(advanced_settings::fade_on_seek_ms, text, "bad --fade-seek");
    if (const char* text = args.option("fade-pause")) set_fade(advanced_settings::fade_on_pause_ms, text, "bad --fade-pause");
    kpl::guid device = kpl::guid_null;
    if (const char* text = args.option("device")) device = parse_guid(text, "bad --device");
    output_selection_set(ds_module_guid, device);

    if (FAILED(OleInitialize(nullptr))) throw kpl::exception_with_message("OleInitialize() failure");
    struct ole_scope {
        ~ole_scope() { OleUninitialize(); }
    } ole_guard;
    hidden_window_create();
    struct window_scope {
        ~window_scope() {
            main_thread_queue::drain(true);
            hidden_window_destroy();
        }
    } window_guard;

    // The list, with the files' info read into their handles (lengths for the track requests and seeks).
    service_ptr<tag_operations> ops;
    service_class::get_single(ops);
    service_ptr<tag_operations_ext> ops_ext;
    if (!service_query(ops.get(), ops_ext)) throw exception_service_extension_not_found();
    service_ptr<info_hint_collector> hints;
    ops_ext->create_info_hint_collector(hints);
    kpl::ref_array handles;
    for (uint32_t i = 0; i < args.positional.count(); ++i) list_file(args.positional[i].c_str(), handles, hints);
    hints->commit();
    main_thread_queue::drain(true);

    for (uint32_t i = 0; i < args.option_names.count(); ++i) {
        if (args.option_names[i] != "at") continue;
        const char* text = args.option_values[i].c_str();
        const char* colon = std::strchr(text, ':');
        if (!colon) bad_argument("bad --at", text);
        char* end = nullptr;
        timed_command c;
        c.seconds = std::strtod(text, &end);
        if (end != colon || !(c.seconds >= 0)) bad_argument("bad --at", text);
        c.command = colon + 1;
        c.done = false;
        validate_command(text, c.command.c_str(), run.tracks.size());
        run.commands.push_back(c);
    }

    service_ptr<playback_controller> c = controller();
    service_ptr<playback_controller_ext> ext;
    if (!service_query(c.get(), ext)) throw exception_service_extension_not_found();
    service_ptr<play_order_manager> order;
    service_class::get_single(order);
    service_ptr<play_order_manager_ext> order_ext;
    if (!service_query(order.get(), order_ext)) throw exception_service_extension_not_found();

    run.start_tick = GetTickCount();
    event_printer printer;
    playback_error_window_set_observer(&on_error_message, nullptr);
    ext->start_up();
    struct engine_scope {
        service_ptr<playback_controller_ext>& ext;
        play_order_manager_ext* order;
        ~engine_scope() {
            ext->release_engine();
            order->shut_down();
            playback_error_window_set_observer(nullptr, nullptr);
        }
    } engine_guard{ext, order_ext.get()};
    service_ptr<playback_listener_registry> listeners;
    service_class::get_single(listeners);
    listeners->register_listener(&printer, 0x3FF, false);
    struct listener_scope {
        playback_listener_registry* registry;
        playback_listener* listener;
        ~listener_scope() { registry->unregister_listener(listener); }
    } listener_guard{listeners.get(), &printer};

    replaygain_settings_set(rg);
    if (set_volume) c->set_volume(static_cast<float>(volume));
    item_enumerator_ref list = item_enumerator::create(handles);
    order->set_list(list.get());
    item_cursor_ref first;
    list->first(first);
    order->set_current(first.get());
    order->set_repeat(args.has_option("repeat"));
    c->start(1, args.has_option("start-paused"));

    const UINT_PTR timer = SetTimer(nullptr, 0, 10, &command_timer);
    MSG msg;
    while (!run.ended || run.writes_running > 0) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, timer);
    for (tag_writer* w : g_writers) delete w;
    g_writers.clear();
    if (!ds_output_wait_idle(30.0)) throw kpl::exception_bug_check("the output thread did not end");
    return 0;
}

inspect_command g_play("play",
                       "FILE... [--replaygain track|album] [--rg-processing N] [--preamp-with DB] "
                       "[--preamp-without DB] [--volume DB] [--fade-out MS] [--fade-seek MS] [--fade-pause MS] "
                       "[--device GUID] [--repeat] [--start-paused] [--at SECONDS:COMMAND]...",
                       "plays the files through the playback controller and prints its events", &run_play);

}  // namespace
