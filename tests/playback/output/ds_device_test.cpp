// DirectSound device objects on a fake buffer with a simulated play cursor: what is heard for streams with
// and without late producers, the start threshold and start_now, the dry buffer, gain and fades in played
// time, pausing with fades, closing, the int32 fallback and failures.
#include <doctest/doctest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "playback/output/ds_device.h"
#include "playback/output/ds_output_thread.h"
#include "playback/output/output_errors.h"
#include "tests/playback/output/fake_directsound.h"

namespace {

ds_stream_format float_stereo(uint32_t rate = 44100) {
    ds_stream_format f;
    f.rate = rate;
    f.channels = 2;
    f.bits = 32;
    f.is_float = true;
    f.speakers = 0x3;
    return f;
}

// A device object serviced by hand, with the test's clock.
struct rig {
    fake_directsound ds;
    ds_device device;
    bool removed = false;

    explicit rig(double buffer_seconds = 0.5, ds_stream_format format = float_stereo())
        : device(kpl::guid_null, buffer_seconds, format) {}

    bool pass() {
        kpl::critical_section_scope lock(ds_output_lock());
        if (!removed) removed = !device.service();
        return !removed;
    }
    // The clock moves `seconds` (the buffer plays), then the thread's pass runs.
    bool step(double seconds = 0.010) {
        ds.advance(seconds);
        return pass();
    }
    fake_ds_buffer_record& buffer() { return *ds.buffers.back(); }
};

// Distinct non-zero stereo frames: left v, right -v.
std::vector<float> test_frames(uint32_t frames) {
    std::vector<float> samples(frames * 2);
    for (uint32_t k = 0; k < frames; ++k) {
        const float v = static_cast<float>((k * 7919u) % 60001u + 1u) / 65536.0f;
        samples[2 * k] = v;
        samples[2 * k + 1] = -v;
    }
    return samples;
}

std::vector<float> heard_floats(const fake_ds_buffer_record& b) {
    std::vector<float> out(b.heard.size() / 4);
    std::memcpy(out.data(), b.heard.data(), out.size() * 4);
    return out;
}

// Writes as much of `samples` (from `done`) as the object takes; answers the new `done`.
size_t feed(ds_device& device, const std::vector<float>& samples, size_t done) {
    const uint32_t free = device.get_free_bytes() / 8 * 8;
    const size_t left = (samples.size() - done) * 4;
    const uint32_t bytes = static_cast<uint32_t>(left < free ? left : free);
    if (bytes > 0 && device.write_bytes(samples.data() + done, bytes)) done += bytes / 4;
    return done;
}

}  // namespace

TEST_CASE("SetVolume values of linear gains") {
    struct row {
        double gain;
        LONG hundredths;
    };
    const row rows[] = {{1.0, 0},      {2.0, 0},          {0.5, -602},       {0.1, -2000},
                        {0.001, -6000}, {0.00001, -10000}, {0.000001, -10000}, {0.0, -10000},
                        {-1.0, -10000}};
    for (const row& r : rows) {
        CAPTURE(r.gain);
        CHECK(ds_volume_hundredths(r.gain) == r.hundredths);
    }
}

TEST_CASE("a stream is heard exactly, in order, with only silence around late and dry parts") {
    struct row {
        const char* name;
        double stall_at;       // seconds of input written before the producer stalls (negative: never)
        double stall_seconds;  // how long it writes nothing
        bool restarts;         // the buffer ran dry: playing starts over
    };
    const row rows[] = {
        {"steady producer", -1, 0, false},
        {"late producer: the write position jumps ahead", 1.0, 0.47, false},
        {"producer gone longer than the buffer: dry, starts over", 1.0, 0.9, true},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        rig t(0.5);
        const uint32_t frames = 44100 * 3;  // the 0.7 s buffer wraps four times, the 0.25 s ring twelve
        const std::vector<float> input = test_frames(frames);
        size_t done = 0;
        double stalled = 0;
        bool stall_done = r.stall_at < 0;
        REQUIRE(t.pass());  // buffer made
        CHECK_FALSE(t.device.is_started());
        int starts = 0;
        bool was_started = false;
        for (int i = 0; i < 100000 && done < input.size(); ++i) {
            if (!stall_done && done >= static_cast<size_t>(r.stall_at * 44100) * 2) {
                stalled += 0.010;
                if (stalled >= r.stall_seconds) stall_done = true;
            } else {
                done = feed(t.device, input, done);
            }
            REQUIRE(t.step());
            const bool started = t.device.is_started();
            if (started && !was_started) ++starts;
            was_started = started;
        }
        REQUIRE(done == input.size());
        t.device.start_now();
        for (int i = 0; i < 1000 && t.device.get_buffered_bytes() > 0; ++i) REQUIRE(t.step());
        CHECK(t.device.get_buffered_bytes() == 0);
        CHECK_FALSE(t.device.is_started());  // dry at the end: back to Starting
        CHECK(starts == (r.restarts ? 2 : 1));

        const std::vector<float> heard = heard_floats(t.buffer());
        std::vector<float> audible;
        size_t first = heard.size(), last = 0;
        for (size_t i = 0; i < heard.size(); ++i) {
            if (heard[i] == 0.0f) continue;
            audible.push_back(heard[i]);
            if (first == heard.size()) first = i;
            last = i;
        }
        REQUIRE(audible.size() == input.size());
        CHECK(audible == input);  // nothing lost, repeated, reordered or garbage; the rest is exact silence
        CHECK(first == 0);
        if (r.stall_at < 0) CHECK(last - first + 1 == input.size());  // no gap
    }
}

TEST_CASE("a late output thread restores the lead over silence, never over older audio") {
    rig t(0.5);
    REQUIRE(t.pass());
    const uint32_t frames = 44100 * 3;
    const std::vector<float> input = test_frames(frames);
    size_t done = 0;
    for (int i = 0; i < 150; ++i) {  // 1.5 s: the 0.7 s buffer has wrapped twice
        done = feed(t.device, input, done);
        REQUIRE(t.step());
    }
    REQUIRE(t.step());  // the ring is empty: everything written is queued in the buffer
    const double queued = t.device.get_buffered_seconds();
    // Data waits in the ring while the thread misses its passes until the cursor is 30 ms past the written
    // data: still within the silence guard (1/15 s), but the lead of 50 ms it restores reaches beyond it.
    REQUIRE(t.device.write_bytes(input.data() + done, 4410 * 8));
    done += 4410 * 2;
    t.ds.advance(queued + 0.030);
    for (int i = 0; i < 10000 && done < input.size(); ++i) {
        done = feed(t.device, input, done);
        REQUIRE(t.step());
    }
    t.device.start_now();
    for (int i = 0; i < 1000 && t.device.get_buffered_bytes() > 0; ++i) REQUIRE(t.step());
    std::vector<float> audible;
    for (float v : heard_floats(t.buffer())) {
        if (v != 0.0f) audible.push_back(v);
    }
    CHECK(audible == input);
}

TEST_CASE("start threshold, start_now for a short stream, and sizes") {
    rig t(3.0);
    REQUIRE(t.pass());
    // target fill 3.0 s: the ring (0.25 s) limits what one write may give.
    CHECK(t.device.get_free_bytes() == 11025u * 8);
    CHECK(t.buffer().size == 141120u * 8);  // 3.2 s
    const std::vector<float> input = test_frames(4410);  // 0.1 s, below the 1 s threshold
    REQUIRE(t.device.write_bytes(input.data(), 4410 * 8));
    for (int i = 0; i < 20; ++i) REQUIRE(t.step());
    CHECK_FALSE(t.device.is_started());
    CHECK(t.buffer().heard.empty());
    CHECK(t.device.get_buffered_seconds() == doctest::Approx(0.1));
    t.device.start_now();
    REQUIRE(t.step());
    CHECK(t.device.is_started());
    for (int i = 0; i < 30; ++i) REQUIRE(t.step());
    CHECK_FALSE(t.device.is_started());
    std::vector<float> heard = heard_floats(t.buffer());
    heard.resize(input.size());
    CHECK(heard == input);
}

TEST_CASE("fades run in played time and SetVolume follows them") {
    rig t(0.5);
    REQUIRE(t.pass());
    const std::vector<float> input = test_frames(44100 * 2);
    size_t done = 0;
    for (int i = 0; i < 60; ++i) {
        done = feed(t.device, input, done);
        REQUIRE(t.step());
    }
    REQUIRE(t.device.is_started());
    t.device.fade(1.0, 0.0, 0.2);
    // While the clock stands still the fade does not move.
    REQUIRE(t.pass());
    CHECK(t.device.gain() == 1.0);
    for (int i = 0; i < 10; ++i) {
        done = feed(t.device, input, done);
        REQUIRE(t.step());
    }
    CHECK(t.device.gain() == doctest::Approx(0.5).epsilon(0.01));
    CHECK(t.buffer().volume == ds_volume_hundredths(t.device.gain()));
    for (int i = 0; i < 12; ++i) {
        done = feed(t.device, input, done);
        REQUIRE(t.step());
    }
    CHECK(t.device.gain() == 0.0);
    CHECK(t.buffer().volume == -10000);

    // ramp_gain from where it is; set_gain retargets a running fade, keeping its end.
    t.device.ramp_gain(1.0, 0.1);
    for (int i = 0; i < 5; ++i) {
        done = feed(t.device, input, done);
        REQUIRE(t.step());
    }
    CHECK(t.device.gain() == doctest::Approx(0.5).epsilon(0.01));
    t.device.set_gain(0.5);
    for (int i = 0; i < 5; ++i) {
        done = feed(t.device, input, done);
        REQUIRE(t.step());
    }
    CHECK(t.device.gain() == 0.5);
    t.device.set_gain(0.25);  // no fade: at once
    REQUIRE(t.pass());
    CHECK(t.buffer().volume == ds_volume_hundredths(0.25));
}

TEST_CASE("pausing with a fade stops the buffer; resuming fades back in, also from the middle") {
    rig t(0.5);
    REQUIRE(t.pass());
    const std::vector<float> input = test_frames(44100 * 4);
    size_t done = 0;
    auto run = [&](int steps) {
        for (int i = 0; i < steps; ++i) {
            done = feed(t.device, input, done);
            REQUIRE(t.step());
        }
    };
    run(60);
    t.device.pause_with_fade(0.1, 1.0, true);
    run(5);
    CHECK(t.device.gain() == doctest::Approx(0.5).epsilon(0.01));
    run(6);
    CHECK(t.device.is_paused());
    CHECK_FALSE(t.buffer().playing);
    const size_t heard = t.buffer().heard.size();
    run(20);
    CHECK(t.buffer().heard.size() == heard);  // nothing plays while paused
    CHECK(t.device.get_free_bytes() == 0);    // and nothing more is taken beyond the target

    t.device.pause_with_fade(0.1, 1.0, false);
    run(1);
    CHECK(t.buffer().playing);
    run(5);
    CHECK(t.device.gain() == doctest::Approx(0.5).epsilon(0.1));
    run(6);
    CHECK(t.device.gain() == 1.0);

    // Resuming halfway through a fade to pause goes back up from there, over half the time.
    t.device.pause_with_fade(0.2, 1.0, true);
    run(10);
    CHECK(t.device.gain() == doctest::Approx(0.5).epsilon(0.05));
    t.device.pause_with_fade(0.2, 1.0, false);
    run(5);
    CHECK(t.device.gain() == doctest::Approx(0.75).epsilon(0.05));
    run(6);
    CHECK(t.device.gain() == 1.0);
    CHECK_FALSE(t.device.is_paused());
}

TEST_CASE("closing: with a fade, at once for 0 s, while paused, and with little left") {
    struct row {
        const char* name;
        double fade;
        bool paused;
        int passes_to_removal_at_least;  // 10 ms passes
    };
    // A removed object that was playing (or was stopped) in the last 0.2 s stays until 0.2 s (20 passes)
    // after that, silent.
    const row rows[] = {
        {"fade of 0.1 s", 0.1, false, 28}, {"fade of 0 s", 0.0, false, 19}, {"while paused", 0.1, true, 18}};
    for (const row& r : rows) {
        CAPTURE(r.name);
        rig t(0.5);
        REQUIRE(t.pass());
        const std::vector<float> input = test_frames(44100);
        size_t done = 0;
        for (int i = 0; i < 40; ++i) {
            done = feed(t.device, input, done);
            REQUIRE(t.step());
        }
        if (r.paused) {
            t.device.set_paused(true);
            REQUIRE(t.step());
        }
        t.device.close_with_fade(r.fade);
        int passes = 0;
        while (t.step()) ++passes;
        CHECK(passes >= r.passes_to_removal_at_least);
        CHECK(passes <= r.passes_to_removal_at_least + 3);
        if (!r.paused) {
            // Silent from the end of the fade (or at once) until the buffer goes.
            const std::vector<float> heard = heard_floats(t.buffer());
            size_t silent_tail = 0;
            while (silent_tail < heard.size() && heard[heard.size() - 1 - silent_tail] == 0.0f) ++silent_tail;
            CHECK(silent_tail >= 2 * 44100 / 5 - 2 * 441);
            if (r.fade > 0) CHECK(t.buffer().volumes.back() <= -2000);  // at 10 % or less when it went silent
        }
    }

    // Less buffered than the fade: the fade is shortened to what is left, start_now plays it out.
    rig t(3.0);
    REQUIRE(t.pass());
    const std::vector<float> input = test_frames(2205);  // 0.05 s
    REQUIRE(t.device.write_bytes(input.data(), 2205 * 8));
    t.device.close_with_fade(1.0);
    int passes = 0;
    while (t.step() && passes < 500) ++passes;
    CHECK(passes < 30);
}

TEST_CASE("a refused float buffer falls back to 32-bit integers that saturate") {
    const HRESULT refusals[] = {E_NOTIMPL, E_FAIL, ds_error_bad_format};
    for (HRESULT refusal : refusals) {
        CAPTURE(refusal);
        rig t(0.5);
        t.ds.refuse_float = refusal;
        REQUIRE(t.pass());
        CHECK(t.device.int32_output());
        const WAVEFORMATEXTENSIBLE& f = t.buffer().format;
        CHECK(f.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE);
        CHECK(f.Format.wBitsPerSample == 32);
        CHECK(f.SubFormat.Data1 == WAVE_FORMAT_PCM);
        const float samples[8] = {1.0f, -1.0f, 0.5f, -0.5f, 2.0f, -2.0f, 0.0f, 1.0f / 1024};
        std::vector<float> input;
        for (int i = 0; i < 2205; ++i) input.insert(input.end(), samples, samples + 8);  // 4 frames each
        REQUIRE(t.device.write_bytes(input.data(), static_cast<uint32_t>(input.size() * 4)));
        t.device.start_now();
        for (int i = 0; i < 20; ++i) REQUIRE(t.step());
        std::vector<int32_t> heard(8);
        REQUIRE(t.buffer().heard.size() >= 32);
        std::memcpy(heard.data(), t.buffer().heard.data(), 32);
        CHECK(heard[0] >= 2147483520);  // +1.0: full scale, never wrapped to -2^31
        CHECK(heard[1] == INT32_MIN);
        CHECK(heard[2] == 1073741824);
        CHECK(heard[3] == -1073741824);
        CHECK(heard[4] >= 2147483520);
        CHECK(heard[5] == INT32_MIN);
        CHECK(heard[6] == 0);
        CHECK(heard[7] == 2097152);
    }

    // Any other refusal fails the object with its result.
    rig t(0.5);
    t.ds.refuse_float = E_INVALIDARG;
    REQUIRE(t.pass());
    CHECK(t.device.get_error() == E_INVALIDARG);
}

TEST_CASE("buffer layouts: plain WAVEFORMATEX only for integer mono/stereo of up to 16 bits") {
    struct row {
        uint32_t channels, bits, speakers;
        bool is_float;
        WORD tag;
    };
    const row rows[] = {{2, 16, 0x3, false, WAVE_FORMAT_PCM},        {1, 16, 0x4, false, WAVE_FORMAT_PCM},
                        {1, 8, 0x4, false, WAVE_FORMAT_PCM},         {1, 16, 0x1, false, WAVE_FORMAT_EXTENSIBLE},
                        {6, 16, 0x3F, false, WAVE_FORMAT_EXTENSIBLE}, {2, 24, 0x3, false, WAVE_FORMAT_EXTENSIBLE},
                        {2, 32, 0x3, true, WAVE_FORMAT_EXTENSIBLE}};
    for (const row& r : rows) {
        CAPTURE(r.channels);
        CAPTURE(r.bits);
        ds_stream_format f;
        f.rate = 48000;
        f.channels = r.channels;
        f.bits = r.bits;
        f.is_float = r.is_float;
        f.speakers = r.speakers;
        rig t(1.0, f);
        REQUIRE(t.pass());
        const WAVEFORMATEXTENSIBLE& got = t.buffer().format;
        CHECK(got.Format.wFormatTag == r.tag);
        CHECK(got.Format.nBlockAlign == r.channels * r.bits / 8);
        CHECK(got.Format.nAvgBytesPerSec == 48000 * r.channels * r.bits / 8);
        if (r.tag == WAVE_FORMAT_EXTENSIBLE) {
            CHECK(got.Format.cbSize == 22);
            CHECK(got.dwChannelMask == r.speakers);
            CHECK(got.Samples.wValidBitsPerSample == r.bits);
            CHECK(got.SubFormat.Data1 == (r.is_float ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM));
        }
        if (r.bits == 8) CHECK(t.buffer().memory[0] == 0x80);  // 8-bit silence
    }
}

TEST_CASE("a failed device keeps its result, takes nothing and stays until closed") {
    rig t(0.5);
    t.ds.open_result = ds_error_no_driver;
    CHECK(t.pass());
    CHECK(t.device.get_error() == ds_error_no_driver);
    CHECK(t.device.get_free_bytes() == 0);
    const float frame[2] = {0.5f, 0.5f};
    CHECK_FALSE(t.device.write_bytes(frame, 8));
    CHECK(t.pass());
    t.device.close_with_fade(1.0);  // failed: closes at once
    CHECK_FALSE(t.pass());
}

TEST_CASE("the output thread starts with the first object and ends after the last") {
    fake_directsound ds;
    CHECK_FALSE(ds_output_thread_running());
    for (int round = 0; round < 2; ++round) {
        ds_device* a = ds_output_register(kpl::guid_null, 0.5, float_stereo());
        ds_device* b = ds_output_register(kpl::guid_null, 0.5, float_stereo(48000));
        CHECK(ds_output_thread_running());
        // Both buffers made by the output thread (it may take a while on a busy machine).
        const DWORD asked = GetTickCount();
        while (InterlockedCompareExchange(&ds.buffers_made, 0, 0) < LONG(2 * (round + 1)) &&
               GetTickCount() - asked < 10000)
            Sleep(5);
        a->close();
        Sleep(50);
        CHECK(ds_output_thread_running());  // b is still there
        b->close_with_fade(0.1);            // nothing buffered: closes at the next pass
        CHECK(ds_output_wait_idle(5.0));
        CHECK(ds_output_object_count() == 0);
    }
    CHECK(ds.buffers.size() == 4);
    for (auto& b : ds.buffers) CHECK_FALSE(b->alive);
}
