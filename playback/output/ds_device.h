#pragma once
// A DirectSound device object: plays one stream of PCM bytes on one device. The producer (an audio_output
// on the playback worker) puts bytes into the object's ring of 0.25 s; the shared output thread
// (ds_output_thread.h) services every object each 10 ms: it creates the DirectSound object and a looping
// secondary buffer on its first pass, keeps the buffer filled ahead of the play cursor, applies gain and
// fades (in played time, through SetVolume) and notices when the audio has run out.
//
//     ds_stream_format f = {44100, 2, 32, true, 0x3};               // float stereo
//     ds_device* d = ds_output_register(kpl::guid_null, 3.0, f);    // default device, 3 s buffer
//     if (d->write_bytes(samples, bytes)) ...                       // false: no room (or failed) yet
//     d->set_gain(0.5);                                             // -6.02 dB, at once
//     d->close_with_fade(0.1);                                      // fades out, then the thread frees it
//
// Sizes, each floor(rate x seconds + 0.5) frames: ring 0.25 s; start threshold min(buffer / 2, 1 s);
// minimum lead 0.05 s; target fill = buffer seconds; secondary buffer = buffer + 0.2 s; silence guard 1/15 s.
// Playing begins once the start threshold is written (or at once after start_now). When the play cursor
// overtakes the written data the buffer was dry: the object starts over (Starting, nothing buffered, played
// time 0), or is removed when it was closing. A producer that is late but not dry makes the write position
// jump ahead to keep the minimum lead; silence is kept for a guard's length after the written data, so an
// underrun is heard as silence and never as old audio again.
//
// A float buffer refused with E_NOTIMPL, E_FAIL or DSERR_BADFORMAT is created again as 32-bit integer PCM,
// and write_bytes converts the floats then, saturating: +1.0 becomes 2^31 - 1 (or the largest value the
// conversion kernel gives below it), never -2^31.
//
// A removed object that was playing in the last 0.2 s stays until 0.2 s after that (the backend's clock),
// with its buffer silent, before its DirectSound object is released: releasing it at once would drop what the
// system has taken from the buffer but not yet played.
//
// Every operation takes the output lock (ds_output_lock); service is called by the output thread (or a test)
// with the lock held. A DirectSound failure marks the object failed with the HRESULT (get_error); it stays
// until closed.

#include <windows.h>

#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "playback/output/ds_backend.h"

struct ds_stream_format {
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint32_t bits = 0;      // 8, 16, 24 or 32
    bool is_float = false;  // 32-bit IEEE float samples
    uint32_t speakers = 0;  // Windows speaker mask
};

// Settings of the console test tool: device objects treat float buffers as refused; a function told about
// every secondary buffer made (on the output thread, under the output lock), after any int32 fallback; a
// function told when an output starts draining its device for a format change (on the output's thread).
struct ds_device_options {
    bool refuse_float = false;
    void (*buffer_created)(const ds_stream_format& format, bool int32) = nullptr;
    void (*format_drain)() = nullptr;
};
extern ds_device_options ds_device_test_options;

// SetVolume's value for a linear gain: 20 x log10(gain) dB in hundredths, rounded; gain 0 (or below) and
// anything below -100 dB give -10000.
LONG ds_volume_hundredths(double gain);

class ds_device {
public:
    ds_device(const kpl::guid& device, double buffer_seconds, const ds_stream_format& format);
    ~ds_device();
    ds_device(const ds_device&) = delete;
    ds_device& operator=(const ds_device&) = delete;

    // The stored HRESULT (0 when none).
    HRESULT get_error();
    // False when failed or when the ring has less room than `size`; else copies the bytes into the ring
    // (converting floats to 32-bit integers when the device refused float) and answers true. `size` is a
    // whole number of frames.
    bool write_bytes(const void* data, uint32_t size);
    // The secondary buffer exists and playing has begun.
    bool is_started();
    double get_buffered_seconds();
    // Bytes queued ahead of the play cursor plus the ring's fill, not below 0.
    uint32_t get_buffered_bytes();
    // 0 when failed; else min(ring room, target fill - buffered bytes), not below 0.
    uint32_t get_free_bytes();
    // Begin playing as soon as anything is written, without waiting for the start threshold.
    void start_now();
    void set_paused(bool paused);
    // gain := from now, then a linear fade to `to` over `seconds` of played audio.
    void fade(double from, double to, double seconds);
    // A linear fade from the current gain to `gain`. Ignored while paused or while a fade to pause or to
    // closing runs (their fades end at 0; the output gives its volume again when it resumes).
    void ramp_gain(double gain, double seconds);
    // Pausing: a fade to 0 over min(seconds, buffered seconds), then paused (unless such a fade runs or it
    // is paused already). Resuming, when paused or fading to pause: the pause request is cleared and the
    // gain rises to `gain`, from 0 over `seconds`, or, when a fade to pause was running, from where it got
    // over the part of `seconds` it had taken.
    void pause_with_fade(double seconds, double gain, bool paused);
    // Marks it closed: the thread removes and frees it at its next pass. The caller must not use it again.
    void close();
    // When not failed, seconds is not 0 and not paused: start_now, fade to 0 over min(seconds, buffered
    // seconds) and close when done; otherwise close at once. The caller must not use it again.
    void close_with_fade(double seconds);
    // Without a running fade the gain changes at once; else the fade is retargeted to `gain` (same end).
    void set_gain(double gain);

    // The output thread's pass over the object (lock held). False: remove and free it.
    bool service();

    // For the output thread and tests (lock held).
    const ds_stream_format& format() const noexcept { return m_format; }
    bool int32_output() const noexcept { return m_int32; }
    bool is_closed() const noexcept { return m_closed; }
    double played_seconds() const noexcept { return m_played; }
    double gain() const noexcept { return m_gain; }
    bool is_paused() const noexcept { return m_pause_applied; }
    // Marks the object failed with `hr` and releases its DirectSound objects.
    void fail(HRESULT hr);

private:
    struct fade_state {
        bool active = false;
        double start = 0, end = 0;
        double from = 0, to = 0;
        bool pause_when_done = false;
        bool close_when_done = false;
    };

    bool service_steps();
    // A removed object that played in the last 0.2 s (backend clock) keeps its buffer, silent, until 0.2 s
    // after that, so that what the system has already taken from it is heard before the DirectSound object
    // goes.
    bool begin_retiring();
    bool service_retiring();
    void create_buffer();
    void reset_to_starting();
    // Advances the fade to the played time; true when a fade with close-when-done has ended.
    bool advance_fade();
    void write_from_ring(uint32_t bytes);
    void write_silence(uint32_t offset, uint32_t bytes);
    // The whole buffer silent, writing from its start again, back to starting (nothing queued).
    void silence_whole_buffer();
    uint32_t bytes_for(double seconds) const;
    uint32_t frame_bytes() const { return m_format.bits / 8 * m_format.channels; }
    double buffered_seconds_locked() const;
    uint32_t buffered_bytes_locked() const;
    void start_fade(double from, double to, double seconds);

    ds_stream_format m_format;
    kpl::guid m_device;
    double m_buffer_seconds;

    kpl::array<uint8_t> m_ring;
    uint32_t m_ring_read = 0, m_ring_write = 0, m_ring_fill = 0;

    ds_device_api* m_api = nullptr;
    ds_buffer* m_buffer = nullptr;
    bool m_sized = false;
    uint32_t m_start_threshold = 0, m_min_lead = 0, m_target = 0, m_size = 0, m_guard = 0;

    uint32_t m_write_pos = 0;
    int64_t m_queued = 0;
    uint32_t m_zero_ahead = 0;
    uint32_t m_last_cursor = 0;
    double m_played = 0;

    double m_gain = 1.0;
    double m_applied_gain = -1.0;
    fade_state m_fade;

    bool m_pause_requested = false;
    bool m_pause_applied = false;
    bool m_starting = true;
    bool m_start_now = false;
    bool m_int32 = false;
    bool m_failed = false;
    HRESULT m_error = 0;
    bool m_closed = false;
    bool m_closing = false;
    bool m_retiring = false;
    double m_retire_end = 0;
    double m_last_playing = -1;  // backend clock when it was last seen playing or was stopped
};
