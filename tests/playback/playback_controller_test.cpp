// The playback controller over a fake engine: volume limits and mute, seek limits, track requests by the
// half-second rule, new tracks in order, replay to a new listener, the title fields, the pause of a paused
// start, the listener registry's order and overflow storage.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "foundation/kpl/ref_array.h"
#include "foundation/services/service_registry.h"
#include "metadata/browse_fields.h"
#include "metadata/title_formatting/title_script.h"
#include "metadata/track_handle.h"
#include "playback/item_list.h"
#include "playback/listener_registry.h"
#include "playback/output/output_selection.h"
#include "playback/play_order.h"
#include "playback/playback_controller.h"
#include "playback/playback_engine.h"
#include "playback/playback_listener.h"
#include "shell/main_thread_queue.h"

namespace {

// Records what the controller asks; plays nothing.
class fake_engine final : public service_counted<playback_engine> {
public:
    bool is_active() override { return active; }
    bool has_finished() override { return finished; }
    void set_callback(playback_engine_callback* c) override { callback = c; }
    void start(bool paused) override {
        stop();
        active = true;
        pause_request = paused;
        needs = true;
        no_more = false;
        log.push_back(paused ? "start paused" : "start");
    }
    void stop() override {
        if (active) log.push_back("stop");
        active = false;
        suspended = false;
        queue.clear();
        first_id = 0;
        audible = -1;
    }
    void set_pause_request(bool paused) override { pause_request = paused; }
    bool is_paused() override { return suspended || pause_request; }
    bool needs_tracks() override { return needs && !no_more; }
    int32_t queue_track(const playback_track& track) override {
        if (!track.track) return -1;
        queue.push_back(track);
        needs = false;
        return first_id + static_cast<int32_t>(queue.size()) - 1;
    }
    void no_more_tracks() override { no_more = true; }
    int32_t get_audible_id() override { return audible; }
    bool get_audible_track(playback_track&) override { return false; }
    bool get_track(int32_t id, playback_track& out) override {
        const int32_t i = id - first_id;
        if (i < 0 || i >= static_cast<int32_t>(queue.size())) return false;
        out = queue[static_cast<size_t>(i)];
        return true;
    }
    bool get_can_seek(int32_t id, bool& out) override {
        playback_track t;
        if (!get_track(id, t)) return false;
        out = can_seek;
        return true;
    }
    void drop_before(int32_t id) override {
        const int32_t i = id - first_id;
        if (i <= 0) return;
        queue.erase(queue.begin(), queue.begin() + std::min<size_t>(static_cast<size_t>(i), queue.size()));
        first_id = id;
    }
    bool seek(int32_t id, double seconds) override {
        seeks.push_back(seconds);
        seek_ids.push_back(id);
        return true;
    }
    bool get_position(int32_t, double& out) override {
        out = position;
        return active;
    }
    void set_replaygain(const replaygain_settings&) override {}
    void set_volume(double db) override { volumes.push_back(db); }
    void set_dsp_chain(const dsp_chain&) override {}
    void restart_output() override { log.push_back("restart"); }
    void suspend() override {
        suspended = true;
        log.push_back("suspend");
    }
    void resume() override {
        if (suspended) log.push_back("resume");
        suspended = false;
    }

    playback_engine_callback* callback = nullptr;
    bool active = false, finished = false, pause_request = false, suspended = false, needs = false, no_more = false,
         can_seek = true;
    std::vector<playback_track> queue;
    int32_t first_id = 0, audible = -1;
    double position = 0;
    std::vector<double> seeks, volumes;
    std::vector<int32_t> seek_ids;
    std::vector<std::string> log;
};

fake_engine* g_engine = nullptr;

void make_fake_engine(service_ptr<playback_engine>& out) {
    g_engine = new fake_engine;
    service_ref ref;
    ref.attach(static_cast<playback_engine*>(g_engine));
    out.attach_ref(std::move(ref));
}

// Every event as a line of text.
class recorder final : public playback_listener {
public:
    void on_starting(int command, bool paused) override { add("starting " + std::to_string(command) + (paused ? " 1" : " 0")); }
    void on_new_track(track_handle* track) override {
        add("new_track " + std::string(track ? track->get_location().get_path() : "-"));
        if (track) track->release();
    }
    void on_stopped(int reason) override { add("stopped " + std::to_string(reason)); }
    void on_seek(double seconds) override { add("seek " + number(seconds)); }
    void on_pause_changed(bool paused) override { add(paused ? "pause 1" : "pause 0"); }
    void on_track_info_changed(track_handle* track) override {
        add("info");
        track->release();
    }
    void on_time(double seconds) override { add("time " + number(seconds)); }
    void on_volume(float db) override { add("volume " + number(db)); }

    std::vector<std::string> events;

private:
    static std::string number(double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", v);
        return text;
    }
    void add(const std::string& line) { events.push_back(line); }
};

// The controller with a fake engine and a play list of tracks of the given lengths (0: unknown).
struct controller_fixture {
    service_ptr<playback_controller> controller;
    service_ptr<playback_controller_ext> ext;
    service_ptr<play_order_manager> order;
    service_ptr<playback_listener_registry> registry;
    recorder events;
    std::vector<track_handle_ref> tracks;
    kpl::guid saved_module, saved_device;

    explicit controller_fixture(std::vector<float> lengths) {
        if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
        playback_engine_test.create = &make_fake_engine;
        // No module answers this GUID: no session volume is bound (that takes a while under Wine), the
        // engine gets the volume.
        output_selection_get(saved_module, saved_device);
        output_selection_set(kpl::guid{0x0BADC0DE, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 2}}, kpl::guid_null);
        service_class::get_single(controller);
        REQUIRE(service_query(controller.get(), ext));
        ext->start_up();
        controller->set_volume(0.0f);
        service_class::get_single(order);
        service_class::get_single(registry);
        kpl::ref_array handles;
        static int serial = 0;
        ++serial;
        for (size_t i = 0; i < lengths.size(); ++i) {
            std::string path = "file://C:\\fake\\" + std::to_string(serial) + "\\" + std::to_string(i) + ".wav";
            track_handle_ref h;
            track_handle_registry::get().get_handle(h, track_location(path.c_str()));
            if (lengths[i] > 0) {
                browse_fields_builder record;
                record.length = lengths[i];
                h->set_info(record, 0, 0, true);
            }
            tracks.push_back(h);
            handles.append(h.get());
        }
        item_enumerator_ref list = item_enumerator::create(handles);
        order->set_list(list.get());
        item_cursor_ref first;
        list->first(first);
        order->set_current(first.get());
        registry->register_listener(&events, 0x3FF, false);
    }
    ~controller_fixture() {
        registry->unregister_listener(&events);
        ext->stop_for_shutdown();
        ext->release_engine();
        playback_engine_test.create = nullptr;
        g_engine = nullptr;
        output_selection_set(saved_module, saved_device);
        service_ptr<play_order_manager_ext> order_ext;
        if (service_query(order.get(), order_ext)) order_ext->shut_down();
        main_thread_queue::drain(true);
    }

    // The engine asks for tracks and reports the audible one; the controller's event processing runs.
    void engine_reports() {
        g_engine->callback->on_needs_tracks();
        main_thread_queue::drain(true);
    }
    std::string path(size_t i) const { return tracks[i]->get_location().get_path(); }
    std::string joined() const {
        std::string s;
        for (const std::string& e : events.events) s += e + "\n";
        return s;
    }
};

}  // namespace

TEST_CASE("controller: volume limits, repeated values and the mute toggle") {
    controller_fixture f({5.0f});
    f.events.events.clear();
    struct step {
        const char* action;
        float value;
        float stored;
        const char* event;  // "" when nothing is announced
    };
    const step steps[] = {
        {"set", 5.0f, 0.0f, ""},            // above 0: 0, unchanged
        {"set", -150.0f, -100.0f, "volume -100"},
        {"set", -100.0f, -100.0f, ""},      // the same value again: nothing
        {"set", -20.0f, -20.0f, "volume -20"},
        {"mute", 0, -100.0f, "volume -100"},
        {"mute", 0, -20.0f, "volume -20"},  // back to the volume before the toggle
        {"volume_up", 0, -19.0f, "volume -19"},  // "Volume step (dB)": 1.0
        {"volume_down", 0, -20.0f, "volume -20"},
    };
    for (const step& s : steps) {
        CAPTURE(s.action);
        CAPTURE(s.value);
        f.events.events.clear();
        const std::string action = s.action;
        if (action == "set") f.controller->set_volume(s.value);
        else if (action == "mute") f.controller->volume_mute_toggle();
        else if (action == "volume_up") f.controller->volume_up();
        else f.controller->volume_down();
        CHECK(f.controller->get_volume() == s.stored);
        CHECK(f.joined() == (*s.event ? std::string(s.event) + "\n" : std::string()));
    }
}

TEST_CASE("controller: seek limits") {
    struct row {
        float length;
        double target;
        double expected;
    };
    const row rows[] = {
        {30.0f, 12.5, 12.5}, {30.0f, 45.0, 30.0}, {30.0f, -3.0, 0.0},
        {0.0f, 12.5, 0.0},  // unknown length: every seek goes to 0
    };
    for (const row& r : rows) {
        CAPTURE(r.length);
        CAPTURE(r.target);
        controller_fixture f({r.length});
        f.controller->seek(4.0);  // stopped: nothing
        CHECK(g_engine->seeks.empty());
        f.controller->start(1, false);
        f.engine_reports();
        g_engine->audible = 0;
        f.engine_reports();
        f.events.events.clear();
        f.controller->seek(r.target);
        REQUIRE(g_engine->seeks.size() == 1);
        CHECK(g_engine->seeks[0] == r.expected);
        CHECK(g_engine->seek_ids[0] == 0);
        char line[64];
        std::snprintf(line, sizeof line, "seek %g\n", r.expected);
        CHECK(f.joined() == line);
    }
}

TEST_CASE("controller: track requests queue until half a second of known length is ahead") {
    struct row {
        std::vector<float> lengths;
        size_t queued_first;  // by the first request
        bool no_more;
    };
    const row rows[] = {
        {{0.1f, 0.2f, 5.0f, 7.0f}, 3, false},   // 0.1 + 0.2 + 5 >= 0.5
        {{0.1f, 0.0f, 5.0f}, 2, false},         // a track of unknown length ends the request
        {{0.1f, 0.2f}, 2, true},                // the list ends: no more tracks
        {{}, 0, true},                           // an empty list
    };
    for (const row& r : rows) {
        CAPTURE(r.lengths.size());
        controller_fixture f(r.lengths);
        f.controller->start(1, false);
        f.engine_reports();
        CHECK(g_engine->queue.size() == r.queued_first);
        CHECK(g_engine->no_more == r.no_more);
        for (size_t i = 0; i < g_engine->queue.size(); ++i) {
            CHECK(g_engine->queue[i].track.get() == f.tracks[i].get());
        }
    }
}

TEST_CASE("controller: tracks that became audible between two event processings each get on_new_track") {
    controller_fixture f({0.1f, 0.1f, 0.1f, 5.0f});
    f.controller->start(1, false);
    f.engine_reports();
    g_engine->audible = 2;
    f.engine_reports();
    CHECK(f.joined() == "starting 1 0\nnew_track " + f.path(0) + "\nnew_track " + f.path(1) + "\nnew_track " +
                            f.path(2) + "\n");
    // The entries before the audible one are dropped; next counts from the audible item.
    CHECK(g_engine->first_id == 2);
    track_handle_ref now;
    CHECK(f.controller->get_now_playing(now));
    CHECK(now.get() == f.tracks[2].get());
    f.controller->start(2, false);
    f.engine_reports();
    REQUIRE(!g_engine->queue.empty());
    CHECK(g_engine->queue[0].track.get() == f.tracks[3].get());
}

TEST_CASE("controller: stop reasons, a finished engine, a new start over a playing one") {
    controller_fixture f({5.0f, 5.0f});
    f.controller->start(1, false);
    f.engine_reports();
    f.controller->start(2, false);  // replaces the playing one
    g_engine->finished = true;
    f.engine_reports();
    f.controller->stop();  // stopped already: nothing
    CHECK(f.joined() == "starting 1 0\nstopped 2\nstarting 2 0\nstopped 1\n");
    CHECK_FALSE(f.controller->is_playing());
}

TEST_CASE("controller: pause suspends and resumes; play after a paused start releases the held output") {
    controller_fixture f({5.0f});
    f.controller->start(1, true);
    CHECK(f.controller->is_paused());
    f.controller->set_paused(true);  // already paused: nothing
    f.controller->set_paused(false);
    CHECK_FALSE(g_engine->pause_request);
    CHECK_FALSE(f.controller->is_paused());
    f.controller->set_paused(true);
    CHECK(g_engine->suspended);
    f.controller->set_paused(false);
    CHECK_FALSE(g_engine->suspended);
    CHECK(f.joined() == "starting 1 1\npause 0\npause 1\npause 0\n");
    CHECK(g_engine->log == std::vector<std::string>{"start paused", "suspend", "resume"});
}

TEST_CASE("controller: replay to a new listener tells the present state, for its mask only") {
    controller_fixture f({5.0f});
    f.controller->set_volume(-6.0f);
    recorder idle;
    f.registry->register_listener(&idle, 0x3FF, true);
    CHECK(idle.events == std::vector<std::string>{"volume -6"});
    f.registry->unregister_listener(&idle);

    f.controller->start(1, false);
    f.engine_reports();
    g_engine->audible = 0;
    f.engine_reports();
    recorder playing, masked;
    f.registry->register_listener(&playing, 0x3FF, true);
    f.registry->register_listener(&masked, playback_event_new_track, true);
    CHECK(playing.events ==
          std::vector<std::string>{"volume -6", "starting 0 0", "new_track " + f.path(0), "time 0"});
    CHECK(masked.events == std::vector<std::string>{"new_track " + f.path(0)});
    f.registry->unregister_listener(&playing);
    f.registry->unregister_listener(&masked);
}

TEST_CASE("controller: playback fields of title formatting") {
    struct row {
        float length;
        double position;  // whole seconds announced by the time tick are not involved: elapsed 0
        int level;
        const char* script;
        const char* expected;
    };
    const row rows[] = {
        {125.0f, 0, 3, "%isplaying%|%ispaused%|%playback_time%|%_time_total%|%playback_time_remaining_seconds%",
         "1|?|0:00|2:05|125"},
        {0.0f, 0, 3, "%_time_total%|%_time_total_seconds%|%playback_time_seconds%", "?|?|0"},
        {125.0f, 0, 0, "%isplaying%|%playback_time%", "?|?"},
        {125.0f, 0, 1, "%_isplaying%|%_time_elapsed%", "1|?"},
    };
    for (const row& r : rows) {
        CAPTURE(r.script);
        CAPTURE(r.level);
        controller_fixture f({r.length});
        title_script_ref script;
        REQUIRE(title_script_compiler::get().compile(script, r.script));
        kpl::utf8_string_pow2 out("untouched");
        CHECK_FALSE(f.controller->format_title(nullptr, out, *script, nullptr, r.level));
        CHECK(out == "");
        f.controller->start(1, false);
        f.engine_reports();
        g_engine->audible = 0;
        f.engine_reports();
        out = "";
        CHECK(f.controller->format_title(nullptr, out, *script, nullptr, r.level));
        CHECK(std::string(out.c_str()) == r.expected);
        out = "untouched";
        CHECK(f.controller->format_title(nullptr, out, *script, nullptr, 4));
        CHECK(out == "untouched");
    }
}

TEST_CASE("listener registry: 32 entries inline, then an overflow that doubles and halves; order kept") {
    playback_listener_list list;
    std::vector<recorder> listeners(80);
    for (size_t i = 0; i < listeners.size(); ++i) list.append({&listeners[i], static_cast<uint32_t>(i)});
    CHECK(list.count() == 80);
    CHECK(list.overflow_capacity() == 64);  // 48 beyond the inline ones: 1, 2, 4 ... 64
    // Remove every other one from the end: the rest stay in order.
    for (size_t i = 1; i < listeners.size(); i += 2) CHECK(list.remove(&listeners[i]));
    CHECK_FALSE(list.remove(&listeners[1]));
    CHECK(list.count() == 40);
    for (uint32_t i = 0; i < list.count(); ++i) CHECK(list[i].mask == 2 * i);
    // 8 of 64 overflow slots used: below a quarter, so the array halved.
    CHECK(list.overflow_capacity() < 64);
    CHECK(list.overflow_capacity() >= 8);
    while (list.count() > 0) list.remove(list[0].listener);
    CHECK(list.overflow_capacity() == 0);
}
