// The playback controller: owns the engine, turns its reports into ordered events on the main thread, keeps
// the now-playing state and the volume, and tells the listeners.
#include "playback/playback_controller.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/number_format.h"
#include "foundation/kpl/number_parse.h"
#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/config_variable.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "metadata/info_change_notify.h"
#include "metadata/title_formatting/title_provider.h"
#include "playback/dsp/dsp_chain_service.h"
#include "playback/listener_registry.h"
#include "playback/output/output_selection.h"
#include "playback/playback_engine.h"
#include "playback/playback_error_window.h"
#include "playback/replaygain_engine_link.h"
#include "playback/replaygain_settings_service.h"
#include "shell/app_state.h"
#include "shell/crash_handler.h"
#include "shell/main_thread_queue.h"

namespace {

constexpr kpl::guid k_volume_variable = {0x8815239B, 0xFDF3, 0x4DD8, {0xB6, 0xE2, 0xE4, 0x83, 0x4E, 0x83, 0x76, 0x1C}};
config_float g_volume_db(k_volume_variable, 0.0f);

constexpr UINT_PTR k_timer_id = 1338;
constexpr UINT k_timer_ms = 200;

void check_command() noexcept {
    main_thread::assert_current();
    if (playback_listener_dispatch_active) kpl::crash();
}

void check_query() noexcept { main_thread::assert_current(); }

// A main-thread call carrying a function object.
template <class F>
class queued_call final : public service_counted<main_thread_callback> {
public:
    explicit queued_call(F f) : m_f(std::move(f)) {}
    void run() override { m_f(); }

private:
    F m_f;
};

template <class F>
void post_to_main(F f) {
    service_ref ref;
    ref.attach(static_cast<main_thread_callback*>(new queued_call<F>(std::move(f))));
    main_thread_queue::post(static_cast<main_thread_callback*>(ref.get()));
}

class controller;
controller* g_controller_instance = nullptr;

class controller final : public service_static<playback_controller_ext>,
                         private playback_engine_callback,
                         private output_volume_callback,
                         private title_field_provider {
public:
    controller() { g_controller_instance = this; }

    // ---- playback_controller ----

    bool get_now_playing(track_handle_ref& out) override {
        check_query();
        out = m_current_handle;
        return static_cast<bool>(m_current_handle);
    }

    void start(int command, bool start_paused) override {
        check_command();
        if (!m_engine) return;
        if (m_engine->is_active()) stop_with(2);
        m_elapsed = 0;
        m_current_can_seek = false;
        playback_error_window_reset_wait();
        {
            struct restore {
                controller& c;
                bool starting, paused;
                ~restore() {
                    c.m_starting = starting;
                    c.m_starting_paused = paused;
                }
            } guard{*this, m_starting, m_starting_paused};
            m_starting = true;
            m_starting_paused = start_paused;
            m_announced_active = true;
            m_last_paused = start_paused;
            playback_listeners_announce(playback_event_starting,
                                        [&](playback_listener* l) { l->on_starting(command, start_paused); });
            m_pending_command = command;
            m_engine->start(start_paused);
        }
        if (app_state.hidden_window) SetTimer(app_state.hidden_window, k_timer_id, k_timer_ms, &timer_proc);
    }

    void stop() override {
        check_command();
        stop_with(0);
    }

    bool is_playing() override {
        check_query();
        return m_engine && (m_starting || m_engine->is_active());
    }

    bool is_paused() override {
        check_query();
        if (m_starting) return m_starting_paused;
        return m_engine ? m_engine->is_paused() : false;
    }

    void set_paused(bool paused) override {
        check_command();
        if (!m_engine || !m_engine->is_active()) return;
        if (m_engine->is_paused() == paused) return;
        if (paused) {
            m_engine->suspend();
        } else {
            // A start with the output held paused is released here as well as a suspended engine.
            m_engine->set_pause_request(false);
            m_engine->resume();
        }
        m_last_paused = paused;
        playback_listeners_announce(playback_event_pause_changed,
                                    [&](playback_listener* l) { l->on_pause_changed(paused); });
    }

    void set_volume(float db) override {
        check_command();
        set_volume_from(db, false);
    }

    float get_volume() override {
        check_query();
        return g_volume_db.get();
    }

    void volume_up() override {
        check_command();
        set_volume_from(static_cast<float>(g_volume_db.get() + get_volume_step()), false);
    }

    void volume_down() override {
        check_command();
        set_volume_from(static_cast<float>(g_volume_db.get() - get_volume_step()), false);
    }

    void volume_mute_toggle() override {
        check_command();
        const float v = g_volume_db.get();
        const float target = v == -100.0f ? m_pre_mute_volume : -100.0f;
        set_volume_from(target, false);
        m_pre_mute_volume = v;
    }

    void seek(double seconds) override {
        check_command();
        if (!m_engine || !m_engine->is_active()) return;
        if (seconds < 0) seconds = 0;
        if (seconds > m_current_length) seconds = m_current_length;
        if (!m_engine->seek(m_current_id, seconds)) return;
        m_elapsed = static_cast<int64_t>(seconds);
        playback_listeners_announce(playback_event_seek, [&](playback_listener* l) { l->on_seek(seconds); });
    }

    void seek_by(double seconds) override {
        check_command();
        if (!m_engine || !m_engine->is_active()) return;
        double at = 0;
        if (!m_engine->get_position(m_current_id, at)) return;
        seek(at + seconds);
    }

    bool can_seek() override {
        check_query();
        return m_current_can_seek;
    }

    double get_position() override {
        check_query();
        double at = 0;
        if (m_engine && m_engine->is_active() && m_engine->get_position(m_current_id, at)) return at;
        return 0;
    }

    bool format_title(title_field_provider* extra, kpl::utf8_string& out, const title_script& script,
                      title_text_filter* filter, int level) override {
        check_query();
        if (!m_current_handle) {
            out.reset();
            return false;
        }
        if (level < 0 || level > 3) return true;
        m_format_level = level;
        m_format_extra = extra;
        m_current_handle->format_title(this, out, script, filter);
        m_format_extra = nullptr;
        return true;
    }

    double get_volume_step() override {
        kpl::utf8_string_pow2 text;
        advanced_settings::volume_step_db->get_text_value(text);
        return kpl::parse_double(text.c_str());
    }

    // ---- playback_controller_ext ----

    void start_up() override {
        m_system_volume = output_volume_bind(m_output_volume);
        if (m_system_volume) {
            m_output_volume->register_callback(this);
            m_output_volume->set_volume(g_volume_db.get());
        }
        service_ptr<play_order_manager> order;
        service_class::get_single(order);
        if (!service_query(order.get(), m_play_order)) throw exception_service_extension_not_found();
        playback_engine::create(m_engine);
        m_engine->set_callback(this);
        if (!m_system_volume) m_engine->set_volume(g_volume_db.get());
        m_engine->set_replaygain(replaygain_settings_get());
        service_ptr<dsp_chain_service> dsp;
        service_class::get_single(dsp);
        dsp_chain chain;
        dsp->get_chain(chain);
        m_engine->set_dsp_chain(chain);
    }

    void release_engine() override {
        m_play_order.release();
        if (m_engine) m_engine->stop();
        m_engine.release();
        if (m_output_volume) {
            m_output_volume->unregister_callback(this);
            m_output_volume.release();
        }
        m_system_volume = false;
    }

    void stop_for_shutdown() override {
        check_command();
        stop_with(3);
    }

    void restart_output() override {
        check_command();
        if (!m_engine || !m_engine->is_active() || m_engine->is_paused()) return;
        m_engine->restart_output();
    }

    // ---- for the other services of this file ----

    // The output selection changed: the volume control of the newly selected device takes the volume; a
    // device without one leaves the volume to the engine again. Before start_up and after release_engine
    // nothing is bound (start_up binds the selected device itself).
    void rebind_output_volume() {
        if (!m_engine) return;
        if (m_output_volume) m_output_volume->unregister_callback(this);
        m_system_volume = output_volume_bind(m_output_volume);
        if (m_system_volume) {
            m_output_volume->register_callback(this);
            m_output_volume->set_volume(g_volume_db.get());
        }
        m_engine->set_volume(m_system_volume ? 0.0f : g_volume_db.get());
    }

    void on_chain_changed(const dsp_chain& chain) {
        if (m_engine) m_engine->set_dsp_chain(chain);
    }

    void on_replaygain_changed(const replaygain_settings& settings) {
        if (m_engine) m_engine->set_replaygain(settings);
    }

    void on_info_changed(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) {
        if (!m_current_handle) return;
        // The list is sorted by handle identity.
        uint32_t lo = 0, hi = tracks.count();
        bool found = false;
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            track_handle_ref h;
            tracks.get_item(mid, h);
            if (h.get() == m_current_handle.get()) {
                found = true;
                break;
            }
            if (reinterpret_cast<uintptr_t>(h.get()) < reinterpret_cast<uintptr_t>(m_current_handle.get())) lo = mid + 1;
            else hi = mid;
        }
        if (!found) return;
        m_current_length = track_handle::get_length(*m_current_handle);
        (void)flag;  // no dynamic info is kept to empty
        track_handle_ref handle = m_current_handle;
        playback_listeners_announce(playback_event_track_info_changed, [&](playback_listener* l) {
            handle->add_ref();
            l->on_track_info_changed(handle.get());
        });
    }

    void replay(playback_listener* listener, uint32_t mask) {
        playback_dispatch_scope scope;
        if (mask & playback_event_volume) listener->on_volume(g_volume_db.get());
        if (m_announced_active && (mask & playback_event_starting)) listener->on_starting(0, m_last_paused);
        if (m_current_handle) {
            if (mask & playback_event_new_track) {
                m_current_handle->add_ref();
                listener->on_new_track(m_current_handle.get());
            }
            if (mask & playback_event_time) listener->on_time(static_cast<double>(m_elapsed));
        }
    }

private:
    // ---- engine reports (worker thread): copied into main-thread calls ----

    void on_fatal_error(const char* text) override {
        kpl::utf8_string_tight copy(text);
        post_to_main([copy]() {
            kpl::utf8_string_pow2 message;
            playback_fatal_error_message(message, copy.c_str());
            playback_error_window_add(message.c_str());
        });
    }

    void on_aborted() override {}

    bool on_track_failure(int kind, track_handle* track, double position, const char* text) override {
        kpl::utf8_string_tight copy(text);
        track_handle_ref handle(track);
        post_to_main([kind, handle, position, copy]() {
            kpl::utf8_string_pow2 message;
            playback_error_message(message, kind, copy.c_str(), position, handle.get());
            playback_error_window_add(message.c_str());
        });
        return true;
    }

    void on_needs_tracks() override { post_events(); }
    void on_audible_changed(int32_t) override { post_events(); }
    void on_finished() override { post_events(); }
    void on_block_written(const audio_block&, double) override {}
    void on_flushed() override {}
    void on_pause(bool) override {}
    void on_output_position(double, double) override {}

    void post_events() {
        post_to_main([]() {
            if (g_controller_instance) g_controller_instance->process_events();
        });
    }

    // ---- main thread ----

    void process_events() {
        if (!m_engine || !m_engine->is_active()) return;
        if (m_engine->has_finished()) {
            stop_with(1);
            return;
        }
        if (m_engine->needs_tracks()) request_tracks();
        const int32_t id = m_engine->get_audible_id();
        if (id != -1 && id != m_current_id) {
            for (int32_t i = m_current_id + 1; i <= id; ++i) new_track(i);
        }
    }

    static void CALLBACK timer_proc(HWND, UINT, UINT_PTR, DWORD) {
        try {
            if (g_controller_instance) g_controller_instance->tick();
        } catch (...) {
            crash_from_callback();
        }
    }

    void tick() {
        process_events();
        if (!m_engine || !m_current_handle) return;
        double at = 0;
        if (!m_engine->get_position(m_current_id, at)) return;
        const int64_t s = static_cast<int64_t>(at);
        if (s == m_elapsed) return;
        m_elapsed = s;
        playback_listeners_announce(playback_event_time,
                                    [&](playback_listener* l) { l->on_time(static_cast<double>(s)); });
    }

    int32_t request_tracks() {
        int cmd = m_pending_command;
        m_pending_command = 0;
        double total = 0;
        int32_t first_id = -1;
        for (;;) {
            item_cursor_ref item;
            if (!m_play_order || !m_play_order->next(cmd, item) || !item) {
                m_engine->no_more_tracks();
                return first_id;
            }
            playback_track track;
            item->get_handle(track.track);
            track.item.assign(static_cast<service_object*>(item.get()));
            const int32_t id = m_engine->queue_track(track);
            if (first_id < 0) first_id = id;
            const double d = track.track ? track_handle::get_length(*track.track) : 0;
            if (d <= 0) return first_id;
            total += d;
            if (total >= 0.5) return first_id;
            cmd = m_pending_command;
        }
    }

    void new_track(int32_t id) {
        m_engine->drop_before(id);
        playback_track track;
        bool seekable = false;
        if (!m_engine->get_track(id, track) || !m_engine->get_can_seek(id, seekable)) return;
        m_current_can_seek = seekable;
        m_current_id = id;
        m_elapsed = 0;
        m_current_handle = track.track;
        m_current_length = m_current_handle ? track_handle::get_length(*m_current_handle) : 0;
        track_handle_ref handle = m_current_handle;
        playback_listeners_announce(playback_event_new_track, [&](playback_listener* l) {
            if (handle) handle->add_ref();
            l->on_new_track(handle.get());
        });
        service_ptr<item_cursor> cursor;
        if (m_play_order && service_query(track.item.get(), cursor)) m_play_order->set_playing(cursor.get());
    }

    void stop_with(int reason) {
        if (!m_engine || !m_engine->is_active()) return;
        m_engine->stop();
        m_current_id = -1;
        m_current_can_seek = false;
        m_current_handle.reset();
        m_current_length = 0;
        m_announced_active = false;
        playback_listeners_announce(playback_event_stopped, [&](playback_listener* l) { l->on_stopped(reason); });
        if (app_state.hidden_window) KillTimer(app_state.hidden_window, k_timer_id);
    }

    void set_volume_from(float v, bool from_device) {
        if (v < -100.0f) v = -100.0f;
        if (v > 0.0f) v = 0.0f;
        if (v != g_volume_db.get()) {
            if (m_engine && !m_output_volume) m_engine->set_volume(v);
            g_volume_db = v;
            playback_listeners_announce(playback_event_volume, [&](playback_listener* l) { l->on_volume(v); });
        }
        if (!from_device && m_output_volume) m_output_volume->set_volume(v);
    }

    // output_volume_callback
    void on_volume_changed(float db) override { set_volume_from(db, true); }

    // title_field_provider: the playback fields, then the caller's provider.
    bool get_field(title_output_sink& sink, const char* name, uint32_t length, bool& truth) override {
        if (playback_field(sink, name, length)) {
            truth = true;
            return true;
        }
        if (!m_format_extra) return false;
        return m_format_extra->get_field(sink, name, length, truth);
    }

    bool call_function(title_output_sink& sink, const char* name, uint32_t length, const title_evaluated_args& args,
                       bool& truth) override {
        if (!m_format_extra) return false;
        return m_format_extra->call_function(sink, name, length, args, truth);
    }

    bool playback_field(title_output_sink& sink, const char* name, uint32_t length) {
        auto is = [&](const char* a, const char* b) {
            return title_name_equals(name, length, a) || (b && title_name_equals(name, length, b));
        };
        if (m_format_level >= 1) {
            if (is("isplaying", "_isplaying")) {
                sink.write(text_kind_computed, "1");
                return true;
            }
            if (is("ispaused", "_ispaused")) {
                if (!(m_engine && m_engine->is_paused())) return false;
                sink.write(text_kind_computed, "1");
                return true;
            }
        }
        if (m_format_level < 3) return false;
        char number[32];
        auto write_number = [&](int64_t v) {
            std::snprintf(number, sizeof number, "%lld", static_cast<long long>(v));
            sink.write(text_kind_computed, number);
        };
        if (is("playback_time", "_time_elapsed")) {
            sink.write(text_kind_computed, kpl::format_time_span(static_cast<uint64_t>(m_elapsed)).c_str());
            return true;
        }
        if (is("playback_time_seconds", "_time_elapsed_seconds")) {
            write_number(m_elapsed);
            return true;
        }
        const int64_t total = static_cast<int64_t>(m_current_length);
        if (total <= 0) return false;
        if (is("_time_total", nullptr)) {
            sink.write(text_kind_computed, kpl::format_time_span(static_cast<uint64_t>(total)).c_str());
            return true;
        }
        if (is("_time_total_seconds", nullptr)) {
            write_number(total);
            return true;
        }
        if (total < m_elapsed) return false;
        if (is("playback_time_remaining", "_time_remaining")) {
            sink.write(text_kind_computed, kpl::format_time_span(static_cast<uint64_t>(total - m_elapsed)).c_str());
            return true;
        }
        if (is("playback_time_remaining_seconds", "_time_remaining_seconds")) {
            write_number(total - m_elapsed);
            return true;
        }
        return false;
    }

    service_ptr<playback_engine> m_engine;
    service_ptr<play_order_manager_ext> m_play_order;
    track_handle_ref m_current_handle;
    double m_current_length = 0;
    int32_t m_current_id = -1;
    int64_t m_elapsed = 0;
    bool m_current_can_seek = false;
    int m_pending_command = 0;
    bool m_starting = false, m_starting_paused = false;
    bool m_announced_active = false, m_last_paused = false;
    float m_pre_mute_volume = 0.0f;
    service_ptr<output_volume_control> m_output_volume;
    bool m_system_volume = false;
    int m_format_level = 0;
    title_field_provider* m_format_extra = nullptr;
};

service_factory_single<controller, playback_controller> g_controller;

class info_change_receiver final : public service_static<info_change_notify> {
public:
    void on_info_changed(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) override {
        g_controller.instance().on_info_changed(tracks, flag);
    }
};
service_factory_single<info_change_receiver, info_change_notify> g_info_change;

class chain_receiver final : public service_static<dsp_chain_listener> {
public:
    void on_chain_changed(const dsp_chain& chain) override { g_controller.instance().on_chain_changed(chain); }
};
service_factory_single<chain_receiver, dsp_chain_listener> g_chain_listener;

}  // namespace

void playback_controller_replay(playback_listener* listener, uint32_t mask) {
    g_controller.instance().replay(listener, mask);
}

void playback_rebind_output_volume() { g_controller.instance().rebind_output_volume(); }

void playback_engine_set_replaygain(const replaygain_settings& settings) {
    g_controller.instance().on_replaygain_changed(settings);
}
