// The output commands of vorn-inspect: playing sources through the configured output as the playback
// engine does, listing output modules and devices, and the session volume.
//
//     vorn-inspect output a.flac tone:440:2 --volume -6 --at 1.5:pause --at 2.5:resume
//     open 44100 2 32 float        (per secondary buffer made, after any int32 fallback)
//     drain                        (per format change that drained a device)
//     open 48000 2 32 float
//     done 4.000                   (seconds written)
//
//     vorn-inspect output-devices
//     module {D41D2423-FBB0-4635-B233-7054F79814AB} DS flags 0
//     device {00000000-0000-0000-0000-000000000000} Primary Sound Driver
//
//     vorn-inspect session-volume --set -6
//     volume -6.00                 (or "none" when no control opens)
#include <windows.h>
#include <objbase.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/kpl/array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/critical_section.h"
#include "inputs/input_probe.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "playback/output/ds_device.h"
#include "playback/output/ds_output_thread.h"
#include "playback/output/output_module.h"
#include "playback/output/output_selection.h"
#include "shell/hidden_window.h"
#include "tools/inspect/inspect_command.h"

namespace {

void ensure_service_table() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

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

void append_guid(kpl::utf8_string& out, const kpl::guid& g) { out << inspect_guid_text(g).c_str(); }

// Lines written by the output thread and the feeding loop, in the order they happen.
kpl::critical_section g_log_lock;
kpl::utf8_string_pow2 g_log;

void log_line(const char* text) {
    kpl::critical_section_scope lock(g_log_lock);
    g_log << text << "\n";
}

void on_buffer_created(const ds_stream_format& format, bool int32) {
    char text[80];
    std::snprintf(text, sizeof text, "open %u %u %u %s", format.rate, format.channels, format.bits,
                  format.is_float && !int32 ? "float" : "int");
    log_line(text);
}

void on_format_drain() { log_line("drain"); }

// A source of blocks: a decoded file (subsong 0) or a tone.
class source {
public:
    explicit source(const char* argument) {
        if (std::strncmp(argument, "tone:", 5) == 0) {
            parse_tone(argument);
            return;
        }
        kpl::utf8_string_tight location("file://");
        location << inspect_path(argument);
        input_open_decoder(m_decoder, file_stream_ref(), location.c_str(), abort_never, false);
        m_decoder->initialise(0, 0, abort_never);
    }

    bool next(audio_block& block) {
        if (m_decoder) return m_decoder->decode_chunk(block, abort_never);
        if (m_position >= m_frames) return false;
        const uint32_t frames = static_cast<uint32_t>(std::min<uint64_t>(4096, m_frames - m_position));
        block.set_data(nullptr, frames, m_channels, m_rate, channel_mask_default(m_channels));
        float* data = block.get_data_writable();
        for (uint32_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(m_position + i) / m_rate;
            const float v = static_cast<float>(0.5 * std::sin(2 * 3.14159265358979323846 * m_hz * t));
            for (uint32_t c = 0; c < m_channels; ++c) data[i * m_channels + c] = v;
        }
        m_position += frames;
        return true;
    }

private:
    void parse_tone(const char* argument) {
        double fields[4] = {0, 0, 44100, 2};
        int count = 0;
        const char* p = argument + 5;
        while (count < 4) {
            char* end = nullptr;
            fields[count++] = std::strtod(p, &end);
            if (end == p || (*end && *end != ':')) bad_argument("bad tone", argument);
            if (!*end) break;
            p = end + 1;
        }
        if (count < 2 || !(fields[0] > 0) || !(fields[1] >= 0) || fields[2] < 1000 || fields[2] > 768000 ||
            fields[3] < 1 || fields[3] > 8) {
            bad_argument("bad tone", argument);
        }
        m_hz = fields[0];
        m_rate = static_cast<uint32_t>(fields[2]);
        m_channels = static_cast<uint32_t>(fields[3]);
        m_frames = static_cast<uint64_t>(std::floor(fields[1] * m_rate + 0.5));
    }

    service_ptr<track_decoder> m_decoder;
    double m_hz = 0;
    uint32_t m_rate = 0, m_channels = 0;
    uint64_t m_frames = 0, m_position = 0;
};

struct timed_action {
    double seconds;
    kpl::utf8_string_tight action;
    bool done;
};

void pump_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void set_fade(advanced_integer_entry& entry, const char* text, const char* what) {
    const double ms = parse_number(text, what);
    if (ms < 0 || ms > 10000 || ms != std::floor(ms)) bad_argument(what, text);
    entry->set_text_value(text, std::strlen(text));
}

struct com_scope {
    com_scope() { CoInitialize(nullptr); }
    ~com_scope() { CoUninitialize(); }
};

struct hidden_window_scope {
    hidden_window_scope() { hidden_window_create(); }
    ~hidden_window_scope() { hidden_window_destroy(); }
};

int run_output(const inspect_arguments& args, inspect_output& out) {
    static const char* const options[] = {"device", "module", "volume", "fade-out", "fade-seek", "fade-pause",
                                          "int32", "at", nullptr};
    args.expect(0xFFFFFFFF, options);
    args.required(0, "SOURCE");
    ensure_service_table();

    kpl::guid module = ds_module_guid, device = kpl::guid_null;
    if (const char* text = args.option("module")) module = parse_guid(text, "bad --module");
    if (const char* text = args.option("device")) device = parse_guid(text, "bad --device");
    output_holder holder;
    if (const char* text = args.option("volume")) holder.volume_db = parse_number(text, "bad --volume");
    if (const char* text = args.option("fade-out")) set_fade(advanced_settings::fade_out_ms, text, "bad --fade-out");
    if (const char* text = args.option("fade-seek")) set_fade(advanced_settings::fade_on_seek_ms, text, "bad --fade-seek");
    if (const char* text = args.option("fade-pause")) {
        set_fade(advanced_settings::fade_on_pause_ms, text, "bad --fade-pause");
    }
    kpl::array<timed_action> actions;
    for (uint32_t i = 0; i < args.option_names.count(); ++i) {
        if (args.option_names[i] != "at") continue;
        const char* text = args.option_values[i].c_str();
        const char* colon = std::strchr(text, ':');
        if (!colon) bad_argument("bad --at", text);
        char* end = nullptr;
        timed_action a;
        a.seconds = std::strtod(text, &end);
        if (end != colon || !(a.seconds >= 0)) bad_argument("bad --at", text);
        a.action = colon + 1;
        a.done = false;
        const char* name = a.action.c_str();
        if (std::strncmp(name, "volume=", 7) == 0) {
            parse_number(name + 7, "bad --at volume");
        } else if (std::strcmp(name, "pause") != 0 && std::strcmp(name, "resume") != 0 &&
                   std::strcmp(name, "flush") != 0 && std::strcmp(name, "stop") != 0) {
            bad_argument("bad --at", text);
        }
        actions.append(a);
    }

    ds_device_test_options.refuse_float = args.has_option("int32");
    ds_device_test_options.buffer_created = &on_buffer_created;
    ds_device_test_options.format_drain = &on_format_drain;
    output_selection_set(module, device);

    com_scope com;
    hidden_window_scope window;
    // Sources are opened one after another, as the engine opens tracks; a bad one ends the run.
    output_open_configured(holder);
    audio_output& output = *holder.output;

    audio_block_store_pow2 block;
    double written = 0;
    DWORD first_write = 0;
    bool started = false, stopped = false;
    auto run_actions = [&]() {
        if (!started) return;
        const double now = (GetTickCount() - first_write) * 0.001;
        for (timed_action& a : actions) {
            if (a.done || now < a.seconds) continue;
            a.done = true;
            const char* name = a.action.c_str();
            if (std::strncmp(name, "volume=", 7) == 0) {
                output.set_volume(std::strtod(name + 7, nullptr));
            } else if (std::strcmp(name, "pause") == 0) {
                output.pause(true);
            } else if (std::strcmp(name, "resume") == 0) {
                output.pause(false);
            } else if (std::strcmp(name, "flush") == 0) {
                output.flush();
            } else {
                stopped = true;
            }
        }
    };
    auto wait_a_little = [&]() {
        pump_messages();
        Sleep(10);
        run_actions();
    };

    for (uint32_t s = 0; s < args.positional.count() && !stopped; ++s) {
        source input(args.positional[s].c_str());
        while (!stopped && input.next(block)) {
            if (!started) {
                started = true;
                first_write = GetTickCount();
            }
            output.write(block);
            written += static_cast<double>(block.get_sample_count()) / block.get_sample_rate();
            bool ready = false;
            for (;;) {
                output.process(ready);
                if (ready || stopped) break;
                wait_a_little();
            }
            run_actions();
        }
    }
    if (!stopped) {
        output.drain();
        while (!stopped && output.get_latency() > 0) {
            output.check();
            wait_a_little();
        }
    }
    holder.output.release();
    if (!ds_output_wait_idle(30.0)) throw kpl::exception_bug_check("the output thread did not end");
    ds_device_test_options = ds_device_options();

    kpl::utf8_string_pow2 text;
    {
        kpl::critical_section_scope lock(g_log_lock);
        text = g_log;
    }
    out.text(text.c_str());
    char done[64];
    std::snprintf(done, sizeof done, "done %.3f", written);
    out.line(done);
    return 0;
}

class device_printer final : public output_device_sink {
public:
    explicit device_printer(inspect_output& out) : m_out(out) {}
    void on_device(const kpl::guid& device, const char* name, size_t length) override {
        kpl::utf8_string_pow2 line("device ");
        append_guid(line, device);
        line << " ";
        line << kpl::utf8_string_pow2(name, length == size_t(-1) ? kpl::utf8_string::npos : static_cast<uint32_t>(length));
        m_out.line(line.c_str());
    }

private:
    inspect_output& m_out;
};

int run_output_devices(const inspect_arguments& args, inspect_output& out) {
    args.expect(0);
    ensure_service_table();
    com_scope com;
    service_iterator it(output_module::class_guid);
    service_ref each;
    while (it.next(each)) {
        output_module* module = each.as<output_module>();
        kpl::guid guid;
        module->get_guid(guid);
        kpl::utf8_string_pow2 line("module ");
        append_guid(line, guid);
        line << " " << module->get_name() << " flags " << module->get_flags();
        out.line(line.c_str());
        device_printer printer(out);
        module->enumerate_devices(printer);
    }
    return 0;
}

int run_session_volume(const inspect_arguments& args, inspect_output& out) {
    static const char* const options[] = {"set", nullptr};
    args.expect(0, options);
    ensure_service_table();
    double set_db = 0;
    const bool set = args.has_option("set");
    if (set) set_db = parse_number(args.option("set"), "bad --set");
    com_scope com;
    hidden_window_scope window;
    service_ptr<output_volume_control> control;
    if (!output_volume_bind(control)) {
        out.line("none");
        return 0;
    }
    if (set) control->set_volume(static_cast<float>(set_db));
    char text[64];
    std::snprintf(text, sizeof text, "volume %.2f", control->get_volume());
    out.line(text);
    control.release();
    pump_messages();
    return 0;
}

inspect_command g_output("output",
                         "SOURCE... [--device GUID] [--module GUID] [--volume DB] [--fade-out MS] [--fade-seek MS] "
                         "[--fade-pause MS] [--int32] [--at SECONDS:ACTION]...",
                         "plays files or tone:HZ:SECONDS[:RATE[:CHANNELS]] through the configured output",
                         &run_output);
inspect_command g_output_devices("output-devices", "", "lists the output modules and their devices",
                                 &run_output_devices);
inspect_command g_session_volume("session-volume", "[--set DB]",
                                 "the session volume of the configured device (\"none\" without one)",
                                 &run_session_volume);

}  // namespace
