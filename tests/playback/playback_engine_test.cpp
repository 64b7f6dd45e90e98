// The playback engine over a fake input and a fake output module (real time, small buffer): tracks
// written back to back, each failure kind reported with its position and replaced by a second of mono
// silence, seeks and positions, the successor limit of a seek, suspend and resume with and without seeking,
// a paused start, giving a file up to a waiting writer, and the decoder's playback extension.
#include <doctest/doctest.h>

#include <windows.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "foundation/fs/path_lock.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/critical_section.h"
#include "foundation/tasks/thread.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/decoding/decoder_slot.h"
#include "metadata/track_info.h"
#include "playback/output/output_selection.h"
#include "playback/playback_engine.h"
#include "shell/main_thread_queue.h"

namespace {

constexpr uint32_t k_rate = 44100;
constexpr uint32_t k_block = 4410;  // 0.1 s

// ---- fake input: ".fakeplay" files; sample value of frame n (both channels) is (n + 1) / 2^20 ----

struct track_setup {
    uint32_t frames = k_rate;
    bool seekable = true;
    bool fail_open = false;
    int fail_decode_at = -1;  // block number
    bool fail_seek = false;
    bool extension = false;   // answers the playback extension; wants a flush on pause
};
struct track_state {
    track_setup setup;
    int opens = 0;
    std::vector<int32_t> extension_calls;
};

kpl::critical_section g_input_lock;
std::map<std::string, track_state> g_tracks;

float frame_value(uint64_t n) { return static_cast<float>(n + 1) / 1048576.0f; }

template <class Base>
class fake_decoder_impl : public Base {
public:
    explicit fake_decoder_impl(const std::string& path) : m_path(path) {}

    uint32_t subsong_count() override { return 1; }
    uint32_t subsong_id(uint32_t) override { return 0; }
    void get_info(uint32_t, track_info& info, const abort_signal&) override {
        info.set_length(static_cast<double>(setup().frames) / k_rate);
    }
    file_stats get_file_stats(const abort_signal&) override { return file_stats(); }
    void initialise(uint32_t, uint32_t, const abort_signal&) override { m_position = 0; }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override {
        abort.check();
        const track_setup s = setup();
        if (s.fail_decode_at >= 0 && m_blocks == s.fail_decode_at) throw ketrel_io::exception_io_data("Broken block");
        if (m_position >= s.frames) return false;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(k_block, s.frames - m_position));
        block.set_data(nullptr, n, 2, k_rate, 0x3);
        float* data = block.get_data_writable();
        for (uint32_t i = 0; i < n; ++i) data[2 * i] = data[2 * i + 1] = frame_value(m_position + i);
        m_position += n;
        ++m_blocks;
        return true;
    }
    void seek_seconds(double seconds, const abort_signal&) override {
        if (setup().fail_seek) throw ketrel_io::exception_io_data("Seek refused");
        m_position = static_cast<uint64_t>(std::floor(seconds * k_rate + 0.5));
    }
    bool can_seek() override { return setup().seekable; }
    bool dynamic_info(track_info&, double&) override { return false; }
    bool dynamic_track_info(track_info&, double&) override { return false; }
    void on_idle(const abort_signal&) override {}

protected:
    track_setup setup() {
        kpl::critical_section_scope lock(g_input_lock);
        return g_tracks[m_path].setup;
    }
    std::string m_path;
    uint64_t m_position = 0;
    int m_blocks = 0;
};

class plain_decoder final : public fake_decoder_impl<service_counted<track_decoder>> {
public:
    using fake_decoder_impl::fake_decoder_impl;
};

class extension_decoder final : public fake_decoder_impl<service_counted<decoder_playback_extension>> {
public:
    using fake_decoder_impl::fake_decoder_impl;
    int32_t run(int32_t argument) override {
        kpl::critical_section_scope lock(g_input_lock);
        g_tracks[m_path].extension_calls.push_back(argument);
        return 0;
    }
    bool result() override { return true; }
};

class fake_play_input final : public service_static<input_service> {
public:
    bool accepts_content_type(const char*) override { return false; }
    bool accepts_extension(const char*, const char* extension) override {
        return utf8_compare_nocase_fast(extension, "fakeplay") == 0;
    }
    void open_decoder(service_ptr<track_decoder>& out, file_stream_ref, const char* path, const abort_signal&) override {
        track_setup s;
        {
            kpl::critical_section_scope lock(g_input_lock);
            track_state& t = g_tracks[path];
            ++t.opens;
            s = t.setup;
        }
        if (s.fail_open) throw ketrel_io::exception_io_unsupported_format();
        service_ref r;
        if (s.extension) r.attach(static_cast<track_decoder*>(new extension_decoder(path)));
        else r.attach(static_cast<track_decoder*>(new plain_decoder(path)));
        out.attach_ref(std::move(r));
    }
    void open_info_reader(service_ptr<track_info_reader>& out, file_stream_ref file, const char* path,
                          const abort_signal& abort) override {
        service_ptr<track_decoder> d;
        open_decoder(d, file, path, abort);
        out.assign(d.get());
    }
    void open_info_writer(service_ptr<track_info_writer>&, file_stream_ref, const char*, const abort_signal&) override {
        throw ketrel_io::exception_io_unsupported_format();
    }
    uint32_t get_input_flags() override { return 0; }
};
service_factory_single<fake_play_input, input_service> g_fake_play_input;

// ---- fake output: plays in real time from a buffer of 0.3 s; records what it was given ----

constexpr kpl::guid k_fake_module = {0x0BADC0DE, 0x5EED, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 3}};

struct written_block {
    uint32_t channels, frames, mask;
    float first, last;  // left channel
    bool silent;
};
struct output_log {
    std::vector<written_block> blocks;
    int flushes = 0, created = 0, destroyed = 0, drains = 0;
};
kpl::critical_section g_output_lock;
output_log g_log;

class fake_output final : public service_counted<audio_output> {
public:
    fake_output() {
        kpl::critical_section_scope lock(g_output_lock);
        ++g_log.created;
    }
    ~fake_output() override {
        kpl::critical_section_scope lock(g_output_lock);
        ++g_log.destroyed;
    }
    double get_latency() override {
        advance();
        return m_buffered;
    }
    void write(const audio_block& block) override {
        advance();
        written_block w;
        w.channels = block.get_channels();
        w.frames = block.get_sample_count();
        w.mask = block.get_channel_mask();
        const float* d = block.get_data();
        w.first = d[0];
        w.last = d[(w.frames - 1) * w.channels];
        w.silent = true;
        for (uint32_t i = 0; i < w.frames * w.channels; ++i) w.silent = w.silent && d[i] == 0.0f;
        m_buffered += static_cast<double>(w.frames) / block.get_sample_rate();
        kpl::critical_section_scope lock(g_output_lock);
        g_log.blocks.push_back(w);
    }
    void process(bool& ready) override {
        advance();
        ready = !m_paused && m_buffered < 0.3;
    }
    void pause(bool paused) override {
        advance();
        m_paused = paused;
    }
    void flush() override {
        m_buffered = 0;
        kpl::critical_section_scope lock(g_output_lock);
        ++g_log.flushes;
    }
    void drain() override {
        kpl::critical_section_scope lock(g_output_lock);
        ++g_log.drains;
    }
    void set_volume(double) override {}
    void check() override {}

private:
    void advance() {
        const DWORD now = GetTickCount();
        if (m_last && !m_paused) m_buffered = std::max(0.0, m_buffered - (now - m_last) * 0.001);
        m_last = now;
    }
    double m_buffered = 0;
    DWORD m_last = 0;
    bool m_paused = false;
};

class fake_module final : public service_static<output_module> {
public:
    void create_output(service_ptr<audio_output>& out, const kpl::guid&, double, int, int) override {
        service_ref r;
        r.attach(static_cast<audio_output*>(new fake_output));
        out.attach_ref(std::move(r));
    }
    void enumerate_devices(output_device_sink&) override {}
    void get_guid(kpl::guid& out) override { out = k_fake_module; }
    const char* get_name() override { return "fake"; }
    void reserved(void*, void*, void*) override {}
    uint32_t get_flags() override { return 0; }
};
service_factory_single<fake_module, output_module> g_fake_module;

// ---- the engine's reports ----

struct failure {
    int kind;
    std::string path;
    double position;
    std::string text;
};

class reports final : public playback_engine_callback {
public:
    void on_fatal_error(const char* text) override { add_fatal(text); }
    void on_aborted() override {}
    bool on_track_failure(int kind, track_handle* track, double position, const char* text) override {
        kpl::critical_section_scope lock(m_lock);
        failures.push_back({kind, track ? track->get_location().get_path() : "", position, text});
        return true;
    }
    void on_needs_tracks() override {}
    void on_audible_changed(int32_t) override {}
    void on_finished() override {}
    void on_block_written(const audio_block&, double) override {}
    void on_flushed() override {
        kpl::critical_section_scope lock(m_lock);
        ++flushed;
    }
    void on_pause(bool) override {}
    void on_output_position(double, double) override {}

    std::vector<failure> snapshot() {
        kpl::critical_section_scope lock(m_lock);
        return failures;
    }
    int flushes() {
        kpl::critical_section_scope lock(m_lock);
        return flushed;
    }
    std::vector<std::string> fatal;

private:
    void add_fatal(const char* text) {
        kpl::critical_section_scope lock(m_lock);
        fatal.push_back(text);
    }
    kpl::critical_section m_lock;
    std::vector<failure> failures;
    int flushed = 0;
};

struct engine_fixture {
    service_ptr<playback_engine> engine;
    reports events;
    kpl::guid saved_module, saved_device;
    static int serial;

    engine_fixture() {
        if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
        output_selection_get(saved_module, saved_device);
        output_selection_set(k_fake_module, kpl::guid_null);
        {
            kpl::critical_section_scope lock(g_output_lock);
            g_log = output_log();
        }
        playback_engine::create(engine);
        engine->set_callback(&events);
        ++serial;
    }
    ~engine_fixture() {
        engine->stop();
        engine.release();
        output_selection_set(saved_module, saved_device);
        main_thread_queue::drain(true);
    }

    std::string add(const char* name, const track_setup& setup) {
        std::string path = "file://C:\\engine\\" + std::to_string(serial) + "\\" + name + ".fakeplay";
        kpl::critical_section_scope lock(g_input_lock);
        g_tracks[path].setup = setup;
        return path;
    }
    // The engine starts (and empties its queue) before the first track is queued, as the controller does.
    int32_t queue(const std::string& path, bool paused = false) {
        // (a queue made without a worker is emptied by the start)
        if (!engine->is_active()) engine->start(paused);
        playback_track t;
        track_handle_registry::get().get_handle(t.track, track_location(path.c_str()));
        return engine->queue_track(t);
    }
    // Runs the main-thread queue (the refresh of the handles' info) while waiting.
    bool wait_until(bool (*done)(engine_fixture&), double seconds) {
        const DWORD start = GetTickCount();
        while (!done(*this)) {
            if ((GetTickCount() - start) * 0.001 > seconds) return false;
            main_thread_queue::drain(true);
            Sleep(10);
        }
        return true;
    }
    bool wait_finished() {
        const bool done = wait_until([](engine_fixture& f) { return f.engine->has_finished(); }, 10);
        if (!done) {
            std::string fatal;
            for (const std::string& t : events.fatal) fatal += t + "; ";
            MESSAGE("not finished; fatal errors: " << fatal << " blocks written: " << blocks().size() << " failures " << events.snapshot().size());
        }
        return done;
    }
    void pause_for(double seconds) {
        const DWORD start = GetTickCount();
        while ((GetTickCount() - start) * 0.001 < seconds) {
            main_thread_queue::drain(true);
            Sleep(10);
        }
    }
    static std::vector<written_block> blocks() {
        kpl::critical_section_scope lock(g_output_lock);
        return g_log.blocks;
    }
};
int engine_fixture::serial = 0;


// The written blocks as runs: consecutive frames of one fake track (frame numbers), or silence.
struct run {
    bool silence;
    uint32_t channels;
    uint64_t first_frame;  // of the track (0-based); for silence 0
    uint64_t frames;
};

uint64_t frame_of(float v) { return static_cast<uint64_t>(std::lround(v * 1048576.0f)) - 1; }

std::vector<run> runs_of(const std::vector<written_block>& blocks) {
    std::vector<run> out;
    for (const written_block& b : blocks) {
        if (b.silent) {
            if (!out.empty() && out.back().silence && out.back().channels == b.channels) {
                out.back().frames += b.frames;
            } else {
                out.push_back({true, b.channels, 0, b.frames});
            }
            continue;
        }
        const uint64_t first = frame_of(b.first);
        if (!out.empty() && !out.back().silence && out.back().first_frame + out.back().frames == first) {
            out.back().frames += b.frames;
        } else {
            out.push_back({false, b.channels, first, b.frames});
        }
    }
    return out;
}

std::string describe(const std::vector<run>& runs) {
    std::string s;
    for (const run& r : runs) {
        s += r.silence ? "silence " : "frames ";
        s += std::to_string(r.channels) + "ch " + std::to_string(r.first_frame) + "+" + std::to_string(r.frames) + "; ";
    }
    return s;
}

}  // namespace

TEST_CASE("engine: tracks back to back; each failure kind reported, then a second of mono silence") {
    struct row {
        const char* name;
        track_setup middle;
        int kind;
        double position;
        uint64_t middle_frames;  // heard before the failure
    };
    track_setup open_fails;
    open_fails.fail_open = true;
    track_setup decode_fails;
    decode_fails.fail_decode_at = 3;
    track_setup empty;
    empty.frames = 0;
    const row rows[] = {
        {"open", open_fails, 0, 0.0, 0},
        {"decode", decode_fails, 2, 0.3, 3 * k_block},
        {"no audio", empty, 2, 0.0, 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        engine_fixture f;
        track_setup half;
        half.frames = k_rate / 2;
        const std::string a = f.add("a", half), bad = f.add("bad", r.middle), b = f.add("b", half);
        CHECK(f.queue(a) == 0);
        CHECK(f.queue(bad) == 1);
        CHECK(f.queue(b) == 2);
        f.engine->no_more_tracks();
        REQUIRE(f.wait_finished());
        const std::vector<failure> failures = f.events.snapshot();
        REQUIRE(failures.size() == 1);
        CHECK(failures[0].kind == r.kind);
        CHECK(failures[0].path == bad);
        CHECK(failures[0].position == doctest::Approx(r.position));
        bool can_seek = true;
        if (r.kind == 0) CHECK((f.engine->get_can_seek(1, can_seek) && !can_seek));
        std::vector<run> runs = runs_of(f.blocks());
        CAPTURE(describe(runs));
        // a, the failed track's frames, one second of mono silence, b.
        size_t i = 0;
        REQUIRE(runs.size() == (r.middle_frames ? 4u : 3u));
        CHECK((!runs[i].silence && runs[i].first_frame == 0 && runs[i].frames == k_rate / 2));
        ++i;
        if (r.middle_frames) {
            CHECK((!runs[i].silence && runs[i].first_frame == 0 && runs[i].frames == r.middle_frames));
            ++i;
        }
        CHECK((runs[i].silence && runs[i].channels == 1 && runs[i].frames == k_rate));
        ++i;
        CHECK((!runs[i].silence && runs[i].first_frame == 0 && runs[i].frames == k_rate / 2));
        CHECK(f.events.fatal.empty());
    }
}

TEST_CASE("engine: a failed seek is kind 1 at its target") {
    engine_fixture f;
    track_setup s;
    s.frames = 3 * k_rate;
    s.fail_seek = true;
    const std::string a = f.add("a", s);
    f.queue(a);
    f.engine->no_more_tracks();
    REQUIRE(f.wait_until([](engine_fixture& e) { return e.engine->get_audible_id() == 0; }, 5));
    CHECK(f.engine->seek(0, 2.5));
    REQUIRE(f.wait_finished());
    const std::vector<failure> failures = f.events.snapshot();
    REQUIRE(failures.size() == 1);
    CHECK(failures[0].kind == 1);
    CHECK(failures[0].position == 2.5);
    CHECK(failures[0].text == "Seek refused");
}

TEST_CASE("engine: a seek lands on its target; positions count from it; the audible id while it waits") {
    engine_fixture f;
    track_setup s;
    s.frames = 4 * k_rate;
    const std::string a = f.add("a", s);
    f.queue(a);
    f.engine->no_more_tracks();
    f.pause_for(0.6);
    CHECK(f.engine->seek(0, 2.0));
    double at = -1;
    CHECK(f.engine->get_position(0, at));
    CHECK(at == 2.0);
    CHECK(f.engine->get_audible_id() == 0);
    f.pause_for(0.5);
    CHECK(f.engine->get_position(0, at));
    CHECK(at >= 2.0);
    CHECK(at <= 2.0 + 0.5 + 0.1);
    REQUIRE(f.wait_finished());
    std::vector<run> runs = runs_of(f.blocks());
    CAPTURE(describe(runs));
    REQUIRE(runs.size() == 2);
    CHECK(runs[1].first_frame == 2 * k_rate);
    CHECK(runs[1].first_frame + runs[1].frames == 4 * k_rate);
}

TEST_CASE("engine: seek limits before, between and after the tracks' decoders opened") {
    engine_fixture f;
    track_setup one;
    track_setup fixed;
    fixed.seekable = false;
    const std::string a = f.add("a", one), b = f.add("b", one), c = f.add("c", fixed);
    // No worker yet (nothing opened): accepted, reported while pending.
    for (const std::string& path : {a, b, c}) {
        playback_track t;
        track_handle_registry::get().get_handle(t.track, track_location(path.c_str()));
        f.engine->queue_track(t);
    }
    CHECK(f.engine->seek(2, 0.5));
    CHECK(f.engine->get_audible_id() == 2);
    bool can_seek = true;
    CHECK_FALSE(f.engine->get_can_seek(2, can_seek));
    f.engine->stop();
    CHECK(f.engine->get_audible_id() == -1);

    f.queue(a);
    f.queue(b);
    f.queue(c);
    f.engine->no_more_tracks();
    REQUIRE(f.wait_until([](engine_fixture& e) {
        bool cs;
        return e.engine->get_can_seek(2, cs);
    }, 5));
    CHECK((f.engine->get_can_seek(2, can_seek) && !can_seek));
    CHECK_FALSE(f.engine->seek(2, 0.5));  // known not to seek
    // a and b have both started: past the end of a is the start of b.
    CHECK(f.engine->seek(0, 30.0));
    double at = 0;
    CHECK(f.engine->get_position(0, at));
    CHECK(at == doctest::Approx(1.0));
    REQUIRE(f.wait_finished());
}

TEST_CASE("engine: suspend keeps the position of a seeking track and restarts one that cannot seek") {
    struct row {
        bool seekable;
        bool resumes_near_position;
    };
    const row rows[] = {{true, true}, {false, false}};
    for (const row& r : rows) {
        CAPTURE(r.seekable);
        engine_fixture f;
        track_setup s;
        s.frames = 2 * k_rate;
        s.seekable = r.seekable;
        const std::string a = f.add("a", s);
        f.queue(a);
        f.engine->no_more_tracks();
        f.pause_for(0.7);
        double before = 0;
        CHECK(f.engine->get_position(0, before));
        const size_t written = f.blocks().size();
        f.engine->suspend();
        CHECK(f.engine->is_active());
        CHECK(f.engine->is_paused());
        {
            kpl::critical_section_scope lock(g_output_lock);
            CHECK(g_log.destroyed == g_log.created);  // the output is released
        }
        f.pause_for(0.2);
        CHECK(f.blocks().size() == written);
        f.engine->resume();
        CHECK_FALSE(f.engine->is_paused());
        f.engine->no_more_tracks();  // cleared by the suspend; the controller answers the next request so
        REQUIRE(f.wait_finished());
        std::vector<run> runs = runs_of(f.blocks());
        CAPTURE(describe(runs));
        REQUIRE(runs.size() == 2);
        const double resumed_at = static_cast<double>(runs[1].first_frame) / k_rate;
        if (r.resumes_near_position) CHECK(resumed_at == doctest::Approx(before).epsilon(0.1));
        else CHECK(runs[1].first_frame == 0);
        CHECK(runs[1].first_frame + runs[1].frames == 2 * k_rate);
    }
}

TEST_CASE("engine: a start held paused writes nothing until the pause request is lifted") {
    engine_fixture f;
    const std::string a = f.add("a", track_setup());
    f.queue(a, true);
    f.engine->no_more_tracks();
    CHECK(f.engine->is_paused());
    f.pause_for(0.4);
    CHECK(f.blocks().empty());
    f.engine->set_pause_request(false);
    REQUIRE(f.wait_finished());
    std::vector<run> runs = runs_of(f.blocks());
    CAPTURE(describe(runs));
    REQUIRE(runs.size() == 1);
    CHECK(runs[0].frames == k_rate);
}

namespace {
class exclusive_writer final : public kpl::thread {
public:
    explicit exclusive_writer(const std::string& path) : m_path(path) {}
    ~exclusive_writer() override { wait_and_close(); }
    volatile LONG got = 0;

private:
    void body() override {
        service_ref lock;
        path_lock_manager::acquire_exclusive(lock, m_path.c_str(), abort_never);
        InterlockedExchange(&got, 1);
        Sleep(200);
    }
    std::string m_path;
};
}  // namespace

TEST_CASE("engine: a writer waiting for the file gets it; decoding goes on where it stood, or fails (kind 3)") {
    struct row {
        bool seekable;
    };
    for (const row r : {row{true}, row{false}}) {
        CAPTURE(r.seekable);
        engine_fixture f;
        track_setup s;
        s.frames = 2 * k_rate;
        s.seekable = r.seekable;
        const std::string a = f.add("a", s);
        f.queue(a);
        f.engine->no_more_tracks();
        f.pause_for(0.5);
        exclusive_writer writer(a);
        writer.start();
        const DWORD start = GetTickCount();
        while (!writer.got && GetTickCount() - start < 3000) Sleep(5);
        CHECK(writer.got == 1);
        REQUIRE(f.wait_finished());
        std::vector<run> runs = runs_of(f.blocks());
        CAPTURE(describe(runs));
        const std::vector<failure> failures = f.events.snapshot();
        if (r.seekable) {
            CHECK(failures.empty());
            REQUIRE(runs.size() == 1);  // one unbroken stretch of the whole track
            CHECK(runs[0].frames == 2 * k_rate);
            kpl::critical_section_scope lock(g_input_lock);
            CHECK(g_tracks[a].opens >= 2);
        } else {
            REQUIRE(failures.size() == 1);
            CHECK(failures[0].kind == 3);
            CHECK(failures[0].position > 0);
            CHECK(runs.back().silence);
        }
    }
}

TEST_CASE("engine: the decoder's playback extension hears pauses and may ask for a flush") {
    engine_fixture f;
    track_setup s;
    s.frames = 3 * k_rate;
    s.extension = true;
    const std::string a = f.add("a", s);
    f.queue(a);
    f.engine->no_more_tracks();
    f.pause_for(0.5);
    const int flushes = f.events.flushes();
    f.engine->set_pause_request(true);
    f.pause_for(0.3);
    CHECK(f.events.flushes() == flushes + 1);
    f.engine->set_pause_request(false);
    f.pause_for(0.2);
    f.engine->stop();
    kpl::critical_section_scope lock(g_input_lock);
    const std::vector<int32_t>& calls = g_tracks[a].extension_calls;
    REQUIRE(calls.size() >= 2);
    CHECK(calls[calls.size() - 2] == 1);
    CHECK(calls.back() == 0);
}
