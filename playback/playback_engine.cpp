// The playback engine: the queue, the audible clock and the worker thread that feeds the output.
//
// Timeline: the worker counts the seconds it has handed to the output since it started or since the last
// performed seek (the timeline). An entry's start_time is the timeline point at which its first sample went
// to the output; the audible clock is the timeline minus what the output has not played yet, so the
// audible entry is the last started one whose start_time is not after the clock, and a position is clock -
// start_time. A performed seek restarts the timeline at 0 and moves every started entry's start so that
// the seek target sits at 0: the position after a seek is what was played since plus the target.
#include "playback/playback_engine.h"

#include <windows.h>
#include <float.h>
#include <objbase.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "foundation/fs/path_lock.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/number_parse.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/critical_section.h"
#include "foundation/tasks/thread.h"
#include "metadata/audio_block.h"
#include "metadata/decoding/decoder_slot.h"
#include "metadata/replaygain.h"
#include "metadata/track_info.h"
#include "playback/dsp/dsp_chain.h"
#include "playback/dsp/dsp_chunk_list.h"
#include "playback/dsp/dsp_runner.h"
#include "playback/output/output_errors.h"
#include "playback/output/output_selection.h"
#include "playback/replaygain_settings.h"

playback_engine_test_options playback_engine_test;

namespace {

constexpr double k_status_interval = 0.05;
constexpr DWORD k_wait_ms = 25;

uint32_t now_tick() { return playback_engine_test.tick ? playback_engine_test.tick() : GetTickCount(); }

double ticks_between(uint32_t from, uint32_t to) { return static_cast<uint32_t>(to - from) * 0.001; }

struct queue_entry {
    playback_track track;
    int32_t id = 0;
    double start_time = 0;
    bool started = false;
    bool can_seek = false;
    bool can_seek_known = false;
};
using entry_ptr = std::shared_ptr<queue_entry>;

// A failure of one track: reported with its kind, then the track is skipped.
struct track_failure {
    int kind;
    double position;
    kpl::utf8_string_tight text;
    bool silent;  // the file went away while it was given up: skipped without a report
};

class engine final : public service_counted<playback_engine>, private kpl::thread {
public:
    engine() = default;
    ~engine() override {
        stop_worker();
        std::vector<entry_ptr>().swap(m_queue);
    }

    // ---- playback_engine ----

    bool is_active() override { return is_started() || m_suspended; }

    bool has_finished() override {
        kpl::critical_section_scope lock(m_lock);
        return m_finished;
    }

    void set_callback(playback_engine_callback* callback) override { m_callback = callback; }

    void start(bool paused) override {
        stop();
        {
            kpl::critical_section_scope lock(m_pause_lock);
            m_pause_request = paused;
            m_pause_changed = true;
        }
        {
            kpl::critical_section_scope lock(m_lock);
            m_no_more_tracks = false;
            m_clock_valid = false;
            m_needs_tracks = true;
            m_finished = false;
            m_seek_requested = false;
        }
        start_worker();
    }

    void stop() override {
        stop_worker();
        m_suspended = false;
        kpl::critical_section_scope lock(m_lock);
        m_queue.clear();
        m_next_id = 0;
        m_seek_requested = false;
        m_clock_valid = false;
    }

    void set_pause_request(bool paused) override {
        kpl::critical_section_scope lock(m_pause_lock);
        m_pause_request = paused;
        m_pause_changed = true;
    }

    bool is_paused() override {
        if (m_suspended) return true;
        kpl::critical_section_scope lock(m_pause_lock);
        return m_pause_request;
    }

    bool needs_tracks() override {
        kpl::critical_section_scope lock(m_lock);
        return m_needs_tracks && !m_no_more_tracks;
    }

    int32_t queue_track(const playback_track& track) override {
        if (!track.track) return -1;
        entry_ptr e = std::make_shared<queue_entry>();
        e->track = track;
        int32_t id;
        {
            kpl::critical_section_scope lock(m_lock);
            e->id = id = m_next_id++;
            m_queue.push_back(e);
            m_needs_tracks = false;
        }
        SetEvent(m_wake);
        return id;
    }

    void no_more_tracks() override {
        {
            kpl::critical_section_scope lock(m_lock);
            m_no_more_tracks = true;
        }
        SetEvent(m_wake);
    }

    int32_t get_audible_id() override {
        kpl::critical_section_scope lock(m_lock);
        if (m_seek_requested) return m_seek_id;
        entry_ptr e = audible_entry();
        return e ? e->id : -1;
    }

    bool get_audible_track(playback_track& out) override {
        kpl::critical_section_scope lock(m_lock);
        entry_ptr e = audible_entry();
        if (!e) return false;
        out = e->track;
        return true;
    }

    bool get_track(int32_t id, playback_track& out) override {
        kpl::critical_section_scope lock(m_lock);
        entry_ptr e = find(id);
        if (!e) return false;
        out = e->track;
        return true;
    }

    bool get_can_seek(int32_t id, bool& out) override {
        kpl::critical_section_scope lock(m_lock);
        entry_ptr e = find(id);
        if (!e || !e->can_seek_known) return false;
        out = e->can_seek;
        return true;
    }

    void drop_before(int32_t id) override {
        kpl::critical_section_scope lock(m_lock);
        const int at = index_of(id);
        if (at < 0) m_queue.clear();
        else m_queue.erase(m_queue.begin(), m_queue.begin() + at);
    }

    bool seek(int32_t id, double seconds) override {
        kpl::critical_section_scope lock(m_lock);
        return seek_locked(id, seconds);
    }

    bool get_position(int32_t id, double& out) override {
        kpl::critical_section_scope lock(m_lock);
        return position_locked(id, out);
    }

    void set_replaygain(const replaygain_settings& settings) override {
        kpl::critical_section_scope lock(m_rg_lock);
        m_rg = settings;
    }

    void set_volume(double db) override {
        kpl::critical_section_scope lock(m_lock);
        kpl::critical_section_scope volume(m_volume_lock);
        m_volume_db = db;
        m_volume_changed = true;
    }

    void set_dsp_chain(const dsp_chain& chain) override {
        kpl::critical_section_scope lock(m_dsp_lock);
        m_dsp_chain = chain;
        m_dsp_chain_changed = true;
    }

    void restart_output() override {
        suspend();
        resume();
    }

    void suspend() override {
        if (!is_started()) return;
        int32_t id;
        double position = 0;
        {
            kpl::critical_section_scope lock(m_lock);
            id = m_seek_requested ? m_seek_id : -1;
            if (id < 0) {
                entry_ptr e = audible_entry();
                id = e ? e->id : -1;
            }
            entry_ptr e = find(id);
            if (e && e->can_seek_known && e->can_seek) position_locked(id, position);
        }
        // The worker takes the engine lock in every pass: it is stopped with the lock released.
        stop_worker();
        kpl::critical_section_scope lock(m_lock);
        m_no_more_tracks = false;
        m_clock_valid = false;
        m_finished = false;
        // The track that was audible is opened afresh when the worker starts again: at the kept position,
        // or from its start when it cannot seek.
        if (find(id)) {
            m_seek_id = id;
            m_seek_position = position;
            m_seek_requested = true;
        }
        m_suspended = true;
    }

    void resume() override {
        if (!m_suspended) return;
        {
            kpl::critical_section_scope lock(m_lock);
            m_needs_tracks = false;
        }
        start_worker();
    }

private:
    // ---- queue and clock, under m_lock ----

    int index_of(int32_t id) const {
        for (size_t i = 0; i < m_queue.size(); ++i) {
            if (m_queue[i]->id == id) return static_cast<int>(i);
        }
        return -1;
    }

    entry_ptr find(int32_t id) const {
        const int at = index_of(id);
        return at < 0 ? entry_ptr() : m_queue[static_cast<size_t>(at)];
    }

    double clock_locked() {
        if (!m_clock_valid) return 0;
        if (m_clock_frozen) return m_clock_position;
        const double since = ticks_between(m_clock_timer, now_tick());
        return m_clock_position + std::min(since, m_clock_latency);
    }

    entry_ptr audible_entry() {
        const double clock = clock_locked();
        entry_ptr found;
        for (const entry_ptr& e : m_queue) {
            if (e->started && e->start_time <= clock) found = e;
        }
        return found;
    }

    bool position_locked(int32_t id, double& out) {
        if (m_seek_requested && m_seek_id == id) {
            out = m_seek_position;
            return true;
        }
        entry_ptr e = find(id);
        if (!e || !e->started) return false;
        out = clock_locked() - e->start_time;
        return true;
    }

    bool seek_locked(int32_t id, double seconds) {
        const int at = index_of(id);
        if (at < 0) return false;
        const entry_ptr& e = m_queue[static_cast<size_t>(at)];
        if (e->can_seek_known && !e->can_seek) return false;
        if (e->started && static_cast<size_t>(at) + 1 < m_queue.size()) {
            const entry_ptr& next = m_queue[static_cast<size_t>(at) + 1];
            if (next->started) {
                const double d = next->start_time - e->start_time;
                if (d > 0 && d < seconds) seconds = d;
            }
        }
        m_seek_id = id;
        m_seek_position = seconds;
        m_seek_requested = true;
        return true;
    }

    // ---- worker control ----

    void start_worker() {
        // The worker computes as the thread that starts it (precision and rounding of the x87 unit), so the
        // decoders give the same samples here as anywhere else in the program.
        m_fpu_word = _controlfp(0, 0);
        m_suspended = false;
        m_abort.reset();
        try {
            kpl::thread::start(THREAD_PRIORITY_TIME_CRITICAL);
        } catch (kpl::thread::exception_creation&) {
            throw exception_win32(GetLastError());
        }
    }

    void stop_worker() {
        if (!is_started()) return;
        m_abort.set();
        wait_and_close();
        m_abort.reset();
    }

    // ---- the worker ----

    void body() override {
        struct execution_state {
            ~execution_state() { SetThreadExecutionState(ES_CONTINUOUS); }
        } state_guard;
#if defined(__i386__)
        _controlfp(m_fpu_word, _MCW_PC | _MCW_RC);
#else
        _controlfp(m_fpu_word, _MCW_RC);
#endif
        if (FAILED(CoInitialize(nullptr))) {
            fail_worker("CoInitialize() failed");
            return;
        }
        try {
            run_worker();
        } catch (ketrel_io::exception_aborted&) {
            release_stages();
            if (m_callback) m_callback->on_aborted();
        } catch (exception_output_device_not_found&) {
            fail_worker("Audio device not found");
        } catch (std::exception& e) {
            fail_worker(e.what());
        } catch (...) {
            fail_worker("<unknown error>");
        }
        CoUninitialize();
    }

    void fail_worker(const char* text) {
        {
            kpl::critical_section_scope lock(m_lock);
            m_finished = true;
        }
        release_stages();
        if (m_callback) m_callback->on_fatal_error(text);
    }

    void release_stages() {
        close_decoder();
        m_waiting.remove_all();
        m_work.remove_all();
        m_output.output.release();
        m_output = output_holder();
        m_runner.reset();
        m_current.reset();
    }

    void close_decoder() {
        m_slot = decoder_slot();
        m_decoder_open = false;
        m_path_lock.release();
        m_lock_path.reset();
    }

    void run_worker() {
        m_service_interval = kpl::cpu_count() <= 1 ? 0.02 : 0.2;
        {
            kpl::critical_section_scope lock(m_volume_lock);
            m_volume_changed = true;
        }
        {
            kpl::critical_section_scope lock(m_pause_lock);
            m_pause_changed = true;
        }
        m_output = output_holder();
        {
            kpl::critical_section_scope lock(m_volume_lock);
            m_output.volume_db = m_volume_db;
        }
        {
            kpl::critical_section_scope lock(m_pause_lock);
            m_output.paused = m_pause_request;
        }
        output_open_configured(m_output);
        m_written = 0;
        m_output_latency = 0;
        if (m_callback) m_callback->on_pause(false);
        {
            kpl::critical_section_scope lock(m_dsp_lock);
            m_dsp_chain_changed = true;
        }
        m_runner.reset(new dsp_runner());
        m_waiting.remove_all();
        m_pending = 0;
        m_timeline = 0;
        m_drain_stage = 0;
        m_need_next = true;
        m_seek_pending = false;
        m_last_audible = -1;
        m_current.reset();
        m_paused = false;
        m_status_tick = now_tick();
        m_status_due = true;
        m_last_decode_step = now_tick();
        close_decoder();

        for (;;) {
            if (playback_engine_test.pass_hook) playback_engine_test.pass_hook(playback_engine_test.context);
            const bool idle = pass();
            pace(idle);
        }
    }

    // One pass; true when it was idle.
    bool pass() {
        m_abort.check();
        apply_volume();
        apply_pause();
        apply_seek();
        bool idle = false;
        if (!write_waiting()) {
            idle = true;
        } else {
            idle = feed();
        }
        status();
        return idle;
    }

    void apply_volume() {
        double db;
        {
            kpl::critical_section_scope lock(m_volume_lock);
            if (!m_volume_changed) return;
            m_volume_changed = false;
            db = m_volume_db;
        }
        m_output.volume_db = db;
        if (m_output.output) m_output.output->set_volume(db);
    }

    void apply_pause() {
        bool paused;
        {
            kpl::critical_section_scope lock(m_pause_lock);
            if (!m_pause_changed) return;
            m_pause_changed = false;
            paused = m_pause_request;
        }
        bool flush_now = false;
        if (m_decoder_open) {
            service_ptr<decoder_playback_extension> ext;
            if (service_query(m_slot.decoder.get(), ext)) {
                ext->run(paused ? 1 : 0);
                if (paused && ext->result()) flush_now = true;
            }
        }
        m_paused = paused;
        m_output.paused = paused;
        if (m_output.output) m_output.output->pause(paused);
        if (m_callback) m_callback->on_pause(paused);
        if (flush_now) flush();
        SetThreadExecutionState(paused ? ES_CONTINUOUS : ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        kpl::critical_section_scope lock(m_lock);
        m_clock_frozen = paused;
        if (paused && m_clock_valid) {
            // Frozen where it stands now.
            m_clock_position = clock_locked_unfrozen();
            m_clock_latency = 0;
        }
        m_clock_timer = now_tick();
    }

    double clock_locked_unfrozen() {
        const double since = ticks_between(m_clock_timer, now_tick());
        return m_clock_position + std::min(since, m_clock_latency);
    }

    void apply_seek() {
        bool do_flush = false;
        {
            kpl::critical_section_scope lock(m_lock);
            if (!m_seek_requested) return;
            m_seek_requested = false;
            const int at = index_of(m_seek_id);
            if (at < 0) return;
            entry_ptr target = m_queue[static_cast<size_t>(at)];
            // Only an entry that has started, or the head of the queue, can be sought.
            if (!target->started && at != 0) return;
            if (!target->started) {
                target->start_time = 0;
                target->started = true;
            }
            const double x = m_seek_position + target->start_time;
            if (m_clock_valid && x == clock_locked()) return;
            for (size_t i = 0; i < m_queue.size(); ++i) {
                entry_ptr& e = m_queue[i];
                if (!e->started) continue;
                if (static_cast<int>(i) > at) {
                    // Not started in the new timeline.
                    e->started = false;
                    continue;
                }
                e->start_time -= x;
            }
            if (target != m_current) {
                m_current = at > 0 ? m_queue[static_cast<size_t>(at) - 1] : entry_ptr();
                m_need_next = true;
            } else if (m_need_next) {
                m_current = at > 0 ? m_queue[static_cast<size_t>(at) - 1] : entry_ptr();
            }
            m_seek_pending = true;
            m_seek_target = m_seek_position;
            m_clock_valid = false;
            m_needs_tracks = false;
            m_finished = false;
            do_flush = true;
        }
        if (do_flush) {
            flush();
            m_timeline = 0;
        }
    }

    void flush() {
        if (m_output.output) m_output.output->flush();
        if (m_callback) m_callback->on_flushed();
        m_written = 0;
        m_output_latency = 0;
        if (m_runner) m_runner->flush();
        m_waiting.remove_all();
        m_pending = 0;
        m_drain_stage = 0;
    }

    bool output_ready() {
        if (!m_output.output) return !m_paused;
        bool ready = false;
        m_output.output->process(ready);
        return ready;
    }

    // Writes waiting blocks; true when everything waiting was written.
    bool write_waiting() {
        for (;;) {
            m_abort.check();
            const bool can = output_ready();
            double latency = m_output.output ? m_output.output->get_latency() : 0;
            if (latency < 0) latency = 0;
            m_output_latency = latency;
            if (m_callback) m_callback->on_output_position(m_written - latency, latency);
            if (!can) return false;
            if (m_waiting.count() == 0) return true;
            audio_block* block = m_waiting.get(0);
            if (!m_output.output) output_open_configured(m_output);
            const double duration = block_seconds(*block);
            if (block->get_sample_count() > 0) {
                m_output.output->write(*block);
                bool ready = false;
                m_output.output->process(ready);
            }
            if (m_callback) m_callback->on_block_written(*block, m_written);
            m_written += duration;
            m_output_latency += duration;
            m_timeline += duration;
            m_pending -= duration;
            m_waiting.remove(0);
            if (m_waiting.count() == 0) m_pending = 0;
        }
    }

    static double block_seconds(const audio_block& block) {
        const uint32_t rate = block.get_sample_rate();
        return rate ? static_cast<double>(block.get_sample_count()) / rate : 0.0;
    }

    // Step 6 of a pass, after everything waiting was written; true when idle.
    bool feed() {
        if (m_need_next) return take_next();
        if (m_seek_pending) {
            m_seek_pending = false;
            const double target = m_seek_target;
            try {
                if (m_slot.decoder && m_slot.decoder->can_seek()) {
                    m_slot.decoder->seek_seconds(target, m_abort);
                    m_decode_position = target;
                }
            } catch (ketrel_io::exception_aborted&) {
                throw;
            } catch (std::exception& e) {
                track_failed(1, target, e.what());
            }
            return false;
        }
        if (m_paused) return true;
        return decode_one();
    }

    bool take_next() {
        bool needs, no_more;
        {
            kpl::critical_section_scope lock(m_lock);
            needs = m_needs_tracks;
            no_more = m_no_more_tracks;
        }
        if (needs && no_more) {
            drain();
            return true;
        }
        entry_ptr next;
        {
            kpl::critical_section_scope lock(m_lock);
            const int cur = m_current ? index_of(m_current->id) : -1;
            if (!m_current || cur < 0) {
                if (!m_queue.empty() && (!m_current || m_queue.front()->id > m_current->id)) next = m_queue.front();
            } else if (static_cast<size_t>(cur) + 1 < m_queue.size()) {
                next = m_queue[static_cast<size_t>(cur) + 1];
            }
            if (!next) {
                m_needs_tracks = true;
                return true;
            }
            next->started = true;
            next->start_time = m_timeline - (m_seek_pending ? m_seek_target : 0);
            m_current = next;
        }
        m_need_next = false;
        m_drain_stage = 0;
        open_current();
        return false;
    }

    void drain() {
        if (m_drain_stage == 0) {
            run_dsp(dsp_runner::mode_drain);
            m_drain_stage = 1;
            if (m_waiting.count() > 0) return;
        }
        if (m_drain_stage == 1) {
            if (m_output.output) m_output.output->drain();
            m_drain_stage = 2;
        }
    }

    void open_current() {
        try {
            open_decoder(false);
        } catch (ketrel_io::exception_aborted&) {
            throw;
        } catch (std::exception& e) {
            {
                kpl::critical_section_scope lock(m_lock);
                m_current->can_seek_known = true;
                m_current->can_seek = false;
            }
            track_failed(0, 0, e.what());
        }
    }

    // Opens the current entry's track; `reopen`: the same track again after the file was given up.
    void open_decoder(bool reopen) {
        track_handle* track = m_current->track.track.get();
        const track_location& location = track->get_location();
        // The old decoder goes; the shared lock stays held across tracks of the same file.
        m_slot = decoder_slot();
        m_decoder_open = false;
        if (!m_path_lock.get() || !m_lock_path || !(*m_lock_path == location.get_path())) {
            m_path_lock.release();
            m_lock_path.reset();
            path_lock_manager::acquire_shared(m_path_lock, location.get_path(), m_abort);
            m_lock_path.reset(new kpl::utf8_string_tight(location.get_path()));
        }
        decoder_open_for_track(m_slot, {file_stream_ref(), m_current->track.track, decoder_flag_playback, m_abort,
                                        false, false});
        m_decoder_open = true;
        if (reopen) return;
        m_decode_position = 0;
        track_info_store info;
        m_slot.decoder->get_info(location.get_subsong(), info, m_abort);
        replaygain_settings rg;
        {
            kpl::critical_section_scope lock(m_rg_lock);
            rg = m_rg;
        }
        m_scale = replaygain_compute_scale(info.get_replaygain(), rg);
        if (m_paused) {
            service_ptr<decoder_playback_extension> ext;
            if (service_query(m_slot.decoder.get(), ext)) ext->run(1);
        }
        const bool can_seek = m_slot.decoder->can_seek();
        kpl::critical_section_scope lock(m_lock);
        m_current->can_seek = can_seek;
        m_current->can_seek_known = true;
    }

    bool decode_one() {
        if (!m_decoder_open) return true;
        try {
            audio_block* block = m_work.insert_item(m_work.count(), 0);
            if (!m_slot.decoder->decode_chunk(*block, m_abort)) {
                m_work.remove_all();
                if (m_decode_position == 0) throw ketrel_io::exception_io_data();
                run_dsp(dsp_runner::mode_track_end);
                m_need_next = true;
                return false;
            }
            m_decode_position += block_seconds(*block);
            if (m_scale != 1.0f) {
                float* data = block->get_data_writable();
                const uint32_t n = block->get_sample_count() * block->get_channels();
                for (uint32_t i = 0; i < n; ++i) data[i] *= m_scale;
            }
            run_dsp(dsp_runner::mode_decoded);
        } catch (ketrel_io::exception_aborted&) {
            throw;
        } catch (std::exception& e) {
            m_work.remove_all();
            track_failed(2, m_decode_position, e.what());
        }
        return false;
    }

    // Runs the DSP chain over the work list (with `mode`) and appends what comes out to the waiting list.
    void run_dsp(uint32_t mode) {
        {
            kpl::critical_section_scope lock(m_dsp_lock);
            if (m_dsp_chain_changed) {
                m_dsp_chain_changed = false;
                m_runner->set_chain(m_dsp_chain);
            }
        }
        track_handle* track = m_current ? m_current->track.track.get() : nullptr;
        m_runner->run(m_work, track, mode, m_abort);
        for (uint32_t i = 0; i < m_work.count(); ++i) {
            const audio_block* from = m_work.get(i);
            audio_block* to = m_waiting.insert_item(m_waiting.count(), from->get_data_size());
            to->set_data(from->get_data(), from->get_sample_count(), from->get_channels(), from->get_sample_rate(),
                         from->get_channel_mask());
            m_pending += block_seconds(*to);
        }
        m_work.remove_all();
    }

    void track_failed(int kind, double position, const char* text) {
        bool skip = true;
        if (m_callback) skip = m_callback->on_track_failure(kind, m_current ? m_current->track.track.get() : nullptr,
                                                            position, text);
        if (!skip) throw ketrel_io::exception_io_data(text);
        skip_track();
    }

    void skip_track() {
        run_dsp(dsp_runner::mode_drain);
        audio_block* silence = m_waiting.insert_item(m_waiting.count(), 44100);
        silence->set_data(nullptr, 44100, 1, 44100, 0x4);
        m_pending += 1.0;
        close_decoder();
        m_seek_pending = false;
        m_need_next = true;
    }

    void status() {
        const uint32_t tick = now_tick();
        if (!m_status_due && ticks_between(m_status_tick, tick) <= k_status_interval) return;
        m_status_due = false;
        m_status_tick = tick;
        double latency = m_output_latency + m_pending;
        if (latency < 0) latency = 0;
        const double played = m_timeline - latency;
        bool finished_now = false, needs;
        int32_t audible;
        {
            kpl::critical_section_scope lock(m_lock);
            if (!m_finished && m_need_next && m_drain_stage == 2 && m_waiting.count() == 0 &&
                m_output_latency == 0) {
                m_finished = true;
                finished_now = true;
            }
            const double previous = m_clock_valid ? m_clock_position : played;
            const double position = std::max(played, previous);
            m_clock_position = position;
            m_clock_latency = position > 0 ? latency : 0;
            if (m_clock_frozen) m_clock_latency = 0;
            m_clock_valid = true;
            m_clock_timer = tick;
            needs = m_needs_tracks && !m_no_more_tracks;
            entry_ptr e = audible_entry();
            audible = e ? e->id : -1;
        }
        if (!m_callback) return;
        if (audible != m_last_audible) {
            m_last_audible = audible;
            m_callback->on_audible_changed(audible);
        }
        if (finished_now) m_callback->on_finished();
        if (needs) m_callback->on_needs_tracks();
    }

    void pace(bool idle) {
        const uint32_t tick = now_tick();
        if (!idle && ticks_between(m_last_decode_step, tick) < m_service_interval) return;
        m_last_decode_step = tick;
        if (decode_step()) return;
        HANDLE events[2] = {m_wake, m_abort.get_event()};
        const DWORD r = MsgWaitForMultipleObjects(2, events, FALSE, k_wait_ms, QS_ALLINPUT);
        if (r == WAIT_FAILED) throw exception_win32(GetLastError());
        if (r == WAIT_OBJECT_0 + 2) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        m_abort.check();
    }

    // The file check between decoding: true when something was done (the file was given up and reopened).
    bool decode_step() {
        if (!m_decoder_open) return false;
        path_lock* held = m_path_lock.get() ? m_path_lock.as<path_lock>() : nullptr;
        if (!held || !held->is_contended()) {
            m_slot.decoder->on_idle(m_abort);
            return false;
        }
        // A tag writer waits for the file: give it up, then take it again and go on where decoding stood.
        const bool could_seek = m_slot.decoder->can_seek();
        const double position = m_decode_position;
        close_decoder();
        try {
            if (!could_seek) throw ketrel_io::exception_io_data("The track cannot seek");
            open_decoder(true);
            m_slot.decoder->seek_seconds(position, m_abort);
            m_decode_position = position;
        } catch (ketrel_io::exception_aborted&) {
            throw;
        } catch (ketrel_io::exception_io_not_found&) {
            close_decoder();
            skip_track_silently();
        } catch (std::exception& e) {
            close_decoder();
            track_failed(3, position, e.what());
        }
        return true;
    }

    void skip_track_silently() {
        run_dsp(dsp_runner::mode_drain);
        m_seek_pending = false;
        m_need_next = true;
    }

    // Shared with the controller, under m_lock.
    kpl::critical_section m_lock;
    std::vector<entry_ptr> m_queue;
    int32_t m_next_id = 0;
    bool m_needs_tracks = false;
    bool m_no_more_tracks = false;
    bool m_finished = false;
    bool m_seek_requested = false;
    int32_t m_seek_id = -1;
    double m_seek_position = 0;
    bool m_clock_valid = false, m_clock_frozen = false;
    double m_clock_position = 0, m_clock_latency = 0;
    uint32_t m_clock_timer = 0;
    volatile bool m_suspended = false;

    kpl::critical_section m_pause_lock;
    bool m_pause_request = false, m_pause_changed = false;
    kpl::critical_section m_volume_lock;
    double m_volume_db = 0;
    bool m_volume_changed = false;
    kpl::critical_section m_rg_lock;
    replaygain_settings m_rg;
    kpl::critical_section m_dsp_lock;
    dsp_chain m_dsp_chain;
    bool m_dsp_chain_changed = false;

    playback_engine_callback* m_callback = nullptr;
    struct auto_event {
        HANDLE h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ~auto_event() {
            if (h) CloseHandle(h);
        }
        operator HANDLE() const { return h; }
    } m_wake;
    kpl::waitable_flag m_abort;

    // Worker only.
    output_holder m_output;
    double m_written = 0, m_output_latency = 0;
    decoder_slot m_slot;
    bool m_decoder_open = false;
    service_ref m_path_lock;
    std::unique_ptr<kpl::utf8_string_tight> m_lock_path;
    double m_decode_position = 0;
    float m_scale = 1.0f;
    std::unique_ptr<dsp_runner> m_runner;
    dsp_chunk_list m_work, m_waiting;
    double m_pending = 0, m_timeline = 0;
    int m_drain_stage = 0;
    entry_ptr m_current;
    bool m_need_next = true, m_seek_pending = false, m_paused = false;
    double m_seek_target = 0;
    int32_t m_last_audible = -1;
    double m_service_interval = 0.2;
    unsigned int m_fpu_word = 0;
    uint32_t m_status_tick = 0, m_last_decode_step = 0;
    bool m_status_due = true;
};

service_factory_per_request<engine, playback_engine> g_engine_factory;

}  // namespace

void playback_engine::create(service_ptr<playback_engine>& out) {
    if (playback_engine_test.create) return playback_engine_test.create(out);
    service_ref ref;
    service_class::create_instance(service_class::find(class_guid), 0, ref);
    if (!ref.get()) throw exception_service_not_found();
    out.release();
    service_ptr<playback_engine> typed;
    if (!service_query(ref.get(), typed)) throw exception_service_not_found();
    out = typed;
}
