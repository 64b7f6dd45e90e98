#pragma once
// playback_engine: turns a queue of tracks into continuous sound. One worker thread opens the configured
// output, opens one decoder after another, scales by ReplayGain, runs the DSP chain and writes to the
// output; the next track is decoded while the previous one still plays from the output's buffer, so tracks
// follow each other without a gap. Its one client is the playback controller:
//
//     service_ptr<playback_engine> engine;
//     playback_engine::create(engine);
//     engine->set_callback(&reports);             // called from the worker thread
//     engine->start(false);                       // worker runs, asks for tracks (on_needs_tracks)
//     int id = engine->queue_track({handle, item});   // 0, 1, 2 ... counting from the last stop
//     engine->no_more_tracks();                   // the list is exhausted: play out, then on_finished
//     ...
//     double at = 0;
//     if (engine->get_position(engine->get_audible_id(), at)) show(at);   // seconds into the audible track
//     engine->seek(id, 30.0);                     // carried out by the worker's next pass
//     engine->suspend();                          // pause: worker stopped, output released, position kept
//     engine->resume();                           // reopens output and track at the kept position
//     engine->stop();                             // worker joined, queue emptied
//
// Track failures are reported with on_track_failure(kind, track, position, text): kind 0 the track could not
// be opened (position 0), 1 seeking failed (the seek target), 2 decoding failed (the decode position; also a
// track that yields no audio at all), 3 decoding could not be resumed after the file was given up to a tag
// writer. Answering true skips the track after one second of silence; false ends the worker as a fatal error.
//
// Every operation is safe from any thread; the controller calls them from the main thread.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "metadata/track_handle.h"

class audio_block;
class dsp_chain;
struct replaygain_settings;

// A queued track and the play-order item it came from (opaque to the engine).
struct playback_track {
    track_handle_ref track;
    service_ref item;
};

// The engine's reports, called on its worker thread, in slot order.
class playback_engine_callback {
public:
    // The worker ended with an error: "Audio device not found", the exception's text, or "<unknown error>".
    virtual void on_fatal_error(const char* text) = 0;
    // The worker ended because it was stopped or suspended.
    virtual void on_aborted() = 0;
    // true: skip the track and go on.
    virtual bool on_track_failure(int kind, track_handle* track, double position, const char* text) = 0;
    virtual void on_needs_tracks() = 0;
    virtual void on_audible_changed(int32_t id) = 0;
    virtual void on_finished() = 0;
    virtual void on_block_written(const audio_block& block, double written_before) = 0;
    virtual void on_flushed() = 0;
    virtual void on_pause(bool paused) = 0;
    virtual void on_output_position(double position, double latency) = 0;

protected:
    ~playback_engine_callback() = default;
};

class playback_engine : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xB84F4BB0, 0xB6C8, 0x4D1B, {0x8D, 0xE4, 0x78, 0x21, 0xAD, 0x5E, 0x0C, 0x24}};

    // A worker thread exists or the engine is suspended.
    virtual bool is_active() = 0;
    // Everything queued was played out, or the worker ended with an error.
    virtual bool has_finished() = 0;
    // Stored without a reference.
    virtual void set_callback(playback_engine_callback* callback) = 0;
    // Stops first; then a new worker with the output held paused when `paused`. Thread creation failing
    // throws exception_win32.
    virtual void start(bool paused) = 0;
    // Worker joined, every entry removed, ids restart at 0.
    virtual void stop() = 0;
    virtual void set_pause_request(bool paused) = 0;
    // Suspended, or paused by request.
    virtual bool is_paused() = 0;
    // The worker wants a track and the list is not exhausted.
    virtual bool needs_tracks() = 0;
    // The new entry's id; -1 for a null handle.
    virtual int32_t queue_track(const playback_track& track) = 0;
    virtual void no_more_tracks() = 0;
    // The id of a pending seek, else the audible entry's; -1 when none.
    virtual int32_t get_audible_id() = 0;
    virtual bool get_audible_track(playback_track& out) = 0;
    virtual bool get_track(int32_t id, playback_track& out) = 0;
    // false while the entry is absent or its decoder has not opened yet.
    virtual bool get_can_seek(int32_t id, bool& out) = 0;
    // Removes the entries before `id`; the whole queue when no entry has it.
    virtual void drop_before(int32_t id) = 0;
    // false when the entry is absent or known not to seek. A target past the end of a started entry whose
    // successor has started too becomes the successor's start.
    virtual bool seek(int32_t id, double seconds) = 0;
    // A pending seek of `id` reports its target; else the audible clock minus the entry's start.
    virtual bool get_position(int32_t id, double& out) = 0;
    // Applied from the next opened track.
    virtual void set_replaygain(const replaygain_settings& settings) = 0;
    virtual void set_volume(double db) = 0;
    virtual void set_dsp_chain(const dsp_chain& chain) = 0;
    // suspend, then resume.
    virtual void restart_output() = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;

    // A new engine (an instance of the registered class).
    static void create(service_ptr<playback_engine>& out);
};

// Test hooks of the engine (all null in the program): the tick source for the worker's clock, status and
// pacing (milliseconds, GetTickCount by default), a call at the start of every worker pass, and a maker of
// the engine that playback_engine::create hands out instead of the registered one.
struct playback_engine_test_options {
    uint32_t (*tick)() = nullptr;
    void (*create)(service_ptr<playback_engine>& out) = nullptr;
    void (*pass_hook)(void* context) = nullptr;
    void* context = nullptr;
};
extern playback_engine_test_options playback_engine_test;
