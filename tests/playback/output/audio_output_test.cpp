// The "DS" audio_output over device objects on fake buffers (passes run by hand): block checks, format
// changes that drain first, float and 16-bit samples, volume ramps, seek and pause fades, check texts; the
// output selection and module map; the session volume conversions.
#include <doctest/doctest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/service_registry.h"
#include "metadata/audio_block.h"
#include "playback/output/ds_audio_output.h"
#include "playback/output/ds_output_thread.h"
#include "playback/output/output_errors.h"
#include "playback/output/output_selection.h"
#include "playback/output/session_volume.h"
#include "tests/playback/output/fake_directsound.h"

namespace {

// Device objects are serviced only by the test; at the end every one left is played out and removed.
struct manual_passes {
    fake_directsound& ds;
    explicit manual_passes(fake_directsound& d) : ds(d) { ds_output_set_manual(true); }
    ~manual_passes() {
        for (int i = 0; i < 1000 && ds_output_object_count() > 0; ++i) step();
        ds_output_set_manual(false);
    }
    void step(double seconds = 0.010) {
        ds.advance(seconds);
        ds_output_pass();
    }
};

struct fade_settings {
    fade_settings(const char* out, const char* seek, const char* pause) {
        advanced_settings::fade_out_ms->set_text_value(out, std::strlen(out));
        advanced_settings::fade_on_seek_ms->set_text_value(seek, std::strlen(seek));
        advanced_settings::fade_on_pause_ms->set_text_value(pause, std::strlen(pause));
    }
    ~fade_settings() {
        advanced_settings::fade_out_ms->reset();
        advanced_settings::fade_on_seek_ms->reset();
        advanced_settings::fade_on_pause_ms->reset();
    }
};

void tone_block(audio_block& block, uint32_t rate, uint32_t frames, float level = 0.5f, uint32_t channels = 2) {
    block.set_data(nullptr, frames, channels, rate, channel_mask_default(channels));
    float* data = block.get_data_writable();
    for (uint32_t i = 0; i < frames; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
            data[i * channels + c] = level * static_cast<float>(std::sin(i * 0.05 + c)) + (level > 0 ? 1e-6f : 0);
        }
    }
}

// Writes the block and processes until it is passed on, letting the clock run.
void play_block(audio_output& out, manual_passes& passes, const audio_block& block) {
    out.write(block);
    bool ready = false;
    for (int i = 0; i < 10000; ++i) {
        out.process(ready);
        if (ready) return;
        passes.step();
    }
    FAIL("the block was never passed on");
}

// Opens a float output of 0.5 s on the default device and plays a second of tone at 44100 Hz into it.
void open_and_play_tone(service_ptr<audio_output>& out, manual_passes& passes, audio_block_store& block) {
    ds_audio_output_create(out, kpl::guid_null, 0.5, true);
    tone_block(block, 44100, 44100);
    play_block(*out, passes, block);
}

size_t nonzero_floats(const fake_ds_buffer_record& b) {
    size_t n = 0;
    for (size_t i = 0; i + 4 <= b.heard.size(); i += 4) {
        float v;
        std::memcpy(&v, &b.heard[i], 4);
        if (v != 0.0f) ++n;
    }
    return n;
}

// The converter and the module map look their services up in the program's table.
void ensure_services() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

int g_drains = 0;
void count_drain() { ++g_drains; }

}  // namespace

TEST_CASE("blocks with inconsistent formats are refused") {
    fake_directsound ds;
    manual_passes passes(ds);
    service_ptr<audio_output> out;
    ds_audio_output_create(out, kpl::guid_null, 0.5, true);
    struct row {
        uint32_t rate, channels, mask;
    };
    const row rows[] = {{0, 2, 0x3}, {44100, 2, 0x7}, {44100, 1, 0x3}, {44100, 2, 0}};
    for (const row& r : rows) {
        CAPTURE(r.mask);
        audio_block_store block;
        block.set_data(nullptr, 10, r.channels, r.rate, r.mask);
        try {
            out->write(block);
            FAIL("accepted");
        } catch (const ketrel_io::exception_io_data& e) {
            CHECK(std::strcmp(e.what(), "Invalid audio stream specifications") == 0);
        }
    }
    audio_block_store good;
    tone_block(good, 44100, 10);
    CHECK_NOTHROW(out->write(good));
    CHECK_THROWS_AS(out->write(good), kpl::exception_bug_check);  // staging not passed on yet
}

TEST_CASE("a rate change drains the old device first; nothing of the new rate plays on it") {
    fake_directsound ds;
    manual_passes passes(ds);
    g_drains = 0;
    ds_device_test_options.format_drain = &count_drain;
    service_ptr<audio_output> out;
    ds_audio_output_create(out, kpl::guid_null, 0.5, true);
    audio_block_store first, second;
    tone_block(first, 44100, 13230);  // 0.3 s, past the start threshold (0.25 s)
    tone_block(second, 48000, 4800);
    play_block(*out, passes, first);
    REQUIRE(ds.buffers.size() == 1);
    CHECK(ds.buffers[0]->rate() == 44100);
    out->write(second);
    bool ready = false;
    int steps = 0;
    while (ds.buffers.size() == 1 && steps < 1000) {
        out->process(ready);
        passes.step();
        ++steps;
    }
    ds_device_test_options = ds_device_options();
    REQUIRE(ds.buffers.size() == 2);
    CHECK(g_drains == 1);
    CHECK(steps > 20);  // it waited for the old audio to play out
    CHECK(nonzero_floats(*ds.buffers[0]) == 13230u * 2);  // all of the first block, nothing else
    CHECK(ds.buffers[1]->rate() == 48000);
    for (int i = 0; i < 100 && !ready; ++i) {
        out->process(ready);
        passes.step();
    }
    CHECK(ready);
    out->drain();
    for (int i = 0; i < 100 && out->get_latency() > 0; ++i) passes.step();
    CHECK(out->get_latency() == 0);
    CHECK(nonzero_floats(*ds.buffers[1]) == 4800u * 2);
    for (int i = 0; i < 25; ++i) passes.step();
    CHECK_FALSE(ds.buffers[0]->alive);
    CHECK(nonzero_floats(*ds.buffers[0]) == 13230u * 2);
}

TEST_CASE("16-bit output goes through the converter; plain PCM layout for stereo") {
    ensure_services();
    fake_directsound ds;
    manual_passes passes(ds);
    service_ptr<audio_output> out;
    ds_audio_output_create(out, kpl::guid_null, 0.5, false);
    audio_block_store block;
    const float samples[6] = {0.5f, -0.5f, 1.0f, -1.0f, 0.25f, 0.0f};
    block.set_data(samples, 3, 2, 44100, 0x3);
    play_block(*out, passes, block);
    out->drain();
    for (int i = 0; i < 10; ++i) passes.step();
    REQUIRE(ds.buffers.size() == 1);
    const fake_ds_buffer_record& b = *ds.buffers[0];
    CHECK(b.format.Format.wFormatTag == WAVE_FORMAT_PCM);
    CHECK(b.format.Format.wBitsPerSample == 16);
    REQUIRE(b.heard.size() >= 12);
    int16_t heard[6];
    std::memcpy(heard, b.heard.data(), 12);
    const int16_t expected[6] = {16384, -16384, 32767, -32768, 8192, 0};
    for (int i = 0; i < 6; ++i) CHECK(heard[i] == expected[i]);
}

TEST_CASE("check turns a device's failure into the output's error") {
    struct row {
        HRESULT open, create;
        const char* text;
        bool device_not_found;
    };
    const row rows[] = {
        {ds_error_no_driver, S_OK, "Audio device not found", true},
        {S_OK, ds_error_bad_format, "Audio data format not supported by this device", false},
        {E_INVALIDARG, S_OK, nullptr, false},
    };
    for (const row& r : rows) {
        fake_directsound ds;
        manual_passes passes(ds);
        ds.open_result = r.open;
        ds.create_result = r.create;
        service_ptr<audio_output> out;
        ds_audio_output_create(out, kpl::guid_null, 0.5, true);
        audio_block_store block;
        tone_block(block, 44100, 100);
        out->write(block);
        bool ready = false;
        out->process(ready);  // opens the device
        passes.step();        // the thread's pass fails it
        try {
            out->process(ready);
            FAIL("no error");
        } catch (const exception_output_device_not_found& e) {
            CHECK(r.device_not_found);
            CHECK(std::strcmp(e.what(), r.text) == 0);
        } catch (const exception_com& e) {
            CHECK_FALSE(r.device_not_found);
            CHECK(e.code() == (FAILED(r.open) ? r.open : r.create));
            if (r.text) CHECK(std::strcmp(e.what(), r.text) == 0);
        }
    }
}

TEST_CASE("volume: set at once when opening, ramped over 0.05 s later, limited to full scale") {
    fake_directsound ds;
    manual_passes passes(ds);
    service_ptr<audio_output> out;
    ds_audio_output_create(out, kpl::guid_null, 0.5, true);
    out->set_volume(-20.0);
    audio_block_store block;
    tone_block(block, 44100, 44100);
    play_block(*out, passes, block);
    REQUIRE(ds.buffers.size() == 1);
    fake_ds_buffer_record& b = *ds.buffers[0];
    CHECK(b.volumes.front() == -2000);
    CHECK(out->get_latency() == doctest::Approx(0.5).epsilon(0.1));
    out->set_volume(6.0);  // above 0 dB: full scale
    for (int i = 0; i < 3; ++i) passes.step();
    CHECK(b.volume > -2000);
    CHECK(b.volume < 0);
    for (int i = 0; i < 4; ++i) passes.step();
    CHECK(b.volume == 0);
    CHECK(output_volume_gain(-6.0206) == doctest::Approx(0.5).epsilon(0.001));
    CHECK(output_volume_gain(-1000) == doctest::Approx(0.0));
}

TEST_CASE("a flush fades the old sound out and the new one in over the seek fade; at 0 both are immediate") {
    struct row {
        const char* seek_ms;
        int min_passes, max_passes;  // passes until the old device is removed
    };
    // Removal comes 0.2 s (20 passes) after the old sound went silent.
    const row rows[] = {{"100", 28, 32}, {"0", 19, 22}};
    for (const row& r : rows) {
        CAPTURE(r.seek_ms);
        fade_settings fades("100", r.seek_ms, "100");
        fake_directsound ds;
        manual_passes passes(ds);
        service_ptr<audio_output> out;
        audio_block_store block;
        open_and_play_tone(out, passes, block);
        REQUIRE(ds.buffers.size() == 1);
        out->flush();
        CHECK(out->get_latency() == 0);  // the new device holds nothing yet
        int passes_until_removed = 0;
        while (ds.buffers[0]->alive && passes_until_removed < 100) {
            passes.step();
            ++passes_until_removed;
        }
        CHECK(passes_until_removed >= r.min_passes);
        CHECK(passes_until_removed <= r.max_passes);
        play_block(*out, passes, block);
        for (int i = 0; i < 40; ++i) passes.step();
        REQUIRE(ds.buffers.size() == 2);
        const fake_ds_buffer_record& b = *ds.buffers[1];
        if (std::strcmp(r.seek_ms, "0") == 0) {
            CHECK(b.volumes.front() == 0);
        } else {
            CHECK(b.volumes.front() == -10000);
            CHECK(b.volumes.back() == 0);
            CHECK(b.volumes.size() >= 8);  // rising step by step while it plays
        }
    }
}

TEST_CASE("pause fades out over the pause fade and takes nothing while paused") {
    fade_settings fades("100", "100", "200");
    fake_directsound ds;
    manual_passes passes(ds);
    service_ptr<audio_output> out;
    audio_block_store block;
    open_and_play_tone(out, passes, block);
    fake_ds_buffer_record& b = *ds.buffers[0];
    out->pause(true);
    for (int i = 0; i < 10; ++i) passes.step();
    CHECK(b.playing);
    CHECK(b.volume == ds_volume_hundredths(0.5));
    for (int i = 0; i < 12; ++i) passes.step();
    CHECK_FALSE(b.playing);
    out->write(block);
    bool ready = true;
    out->process(ready);
    CHECK_FALSE(ready);
    const double latency = out->get_latency();
    for (int i = 0; i < 10; ++i) passes.step();
    CHECK(out->get_latency() == latency);
    out->pause(false);
    for (int i = 0; i < 25; ++i) passes.step();
    CHECK(b.playing);
    CHECK(b.volume == 0);
}

TEST_CASE("opening the configured output: module map, unknown module") {
    ensure_services();
    fake_directsound ds;
    manual_passes passes(ds);
    kpl::guid module, device;
    output_selection_get(module, device);
    CHECK(module == ds_module_guid);
    CHECK(device == kpl::guid_null);

    const kpl::guid unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    output_selection_set(unknown, kpl::guid_null);
    output_holder holder;
    try {
        output_open_configured(holder);
        FAIL("opened");
    } catch (const exception_output_device_not_found& e) {
        CHECK(std::strcmp(e.what(), "Output module not found") == 0);
    }
    CHECK_FALSE(holder.opened);

    const kpl::guid chosen = {0xABCDEF01, 0x1111, 0x2222, {3, 3, 4, 4, 5, 5, 6, 6}};
    output_selection_set(ds_module_guid, chosen);
    holder.volume_db = -20;
    holder.paused = true;
    output_open_configured(holder);
    CHECK(holder.opened);
    audio_block_store block;
    tone_block(block, 44100, 100);
    holder.output->write(block);
    bool ready = false;
    holder.output->process(ready);
    passes.step();
    REQUIRE(ds.opened_devices.size() == 1);
    CHECK(ds.opened_devices[0] == chosen);
    REQUIRE(ds.buffers.size() == 1);
    CHECK(ds.buffers[0]->volumes.front() == -2000);
    holder.output->process(ready);
    CHECK_FALSE(ready);  // paused: nothing passed on
    holder.output.release();
    output_selection_set(ds_module_guid, kpl::guid_null);
}

TEST_CASE("session volume conversions and own changes") {
    struct row {
        float db, level;
    };
    const row to_level[] = {{0.0f, 1.0f}, {-100.0f, 0.00001f}, {-6.0206f, 0.5f}, {5.0f, 1.0f}, {-200.0f, 1e-10f}};
    for (const row& r : to_level) {
        CAPTURE(r.db);
        CHECK(session_db_to_level(r.db) == doctest::Approx(r.level).epsilon(0.0001));
    }
    const row to_db[] = {{0.0f, 1.0f}, {-100.0f, 0.0f}, {-100.0f, 1e-7f}, {-6.0206f, 0.5f}, {-100.0f, 0.00001f}};
    for (const row& r : to_db) {
        CAPTURE(r.level);
        CHECK(session_level_to_db(r.level) == doctest::Approx(r.db).epsilon(0.0001));
    }
    GUID own, other;
    std::memcpy(&own, &session_volume_context, sizeof own);
    other = own;
    other.Data1 ^= 1;
    CHECK(session_volume_is_own_change(&own));
    CHECK_FALSE(session_volume_is_own_change(&other));
    CHECK_FALSE(session_volume_is_own_change(nullptr));
}
