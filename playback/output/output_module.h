#pragma once
// Output modules and the outputs they make. Sound leaves the program through an output module: a service
// that lists its devices and creates an audio_output for one device. This system has one module, "DS"
// (DirectSound, ds_module.cpp). The playback engine opens the configured output (output_selection.h) and
// drives it from its worker:
//
//     service_ptr<audio_output> out;
//     module->create_output(out, device_guid, 3.0, 0, 32);
//     out->set_volume(-6.0);
//     out->write(block);                          // staging must be empty
//     bool ready = false;
//     while (!ready) { out->process(ready); wait(); }   // passes the staged samples on as room allows
//     ...
//     out->drain();                               // the end is heard even below the start threshold
//     while (out->get_latency() > 0) wait();
//     out.release();                              // fades out over "Fade out (ms)"
//
// An audio_output belongs to one thread (the engine's worker); modules are static and may be used on any.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"

class audio_block;
class output_volume_control;

// Told about each device of a module.
class output_device_sink {
public:
    // `name` is UTF-8 of `length` bytes (size_t(-1): up to its zero byte).
    virtual void on_device(const kpl::guid& device, const char* name, size_t length) = 0;

protected:
    ~output_device_sink() = default;
};

// One output stream on one device (reference counted, made by create_output).
class audio_output : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xB9632C4F, 0x596E, 0x43EE, {0xB2, 0x14, 0x71, 0x04, 0x48, 0x4B, 0x65, 0xF1}};

    // Seconds not yet heard: staged samples not yet passed on plus what the device holds.
    virtual double get_latency() = 0;
    // Copies the block into the staging buffer, which must be empty (kpl::exception_bug_check otherwise). A
    // block whose rate or channel count is 0, or whose channel count differs from the bits of its mask, is
    // refused with ketrel_io::exception_io_data "Invalid audio stream specifications".
    virtual void write(const audio_block& block) = 0;
    // check, then: on a format change the old device is drained while it holds audio, else a device opens
    // at the new format; otherwise as many staged samples as the device has room for are passed on. ready:
    // all staged samples passed on.
    virtual void process(bool& ready) = 0;
    // Pauses or resumes (fading over "Fade on pause (ms)") when the state changes.
    virtual void pause(bool paused) = 0;
    // Drops the staging buffer and reopens the device: the old sound fades out and the new one in, each over
    // "Fade on seek (ms)".
    virtual void flush() = 0;
    // The device starts playing what it holds even below its start threshold.
    virtual void drain() = 0;
    // Remembers the volume; a device ramps to it over 0.05 s. Gain = 10^(dB / 20), limited to [0, 1].
    virtual void set_volume(double db) = 0;
    // Throws the device's stored failure: DSERR_NODRIVER as exception_output_device_not_found "Audio device
    // not found", any other as exception_com with its text.
    virtual void check() = 0;
};

// An output module (a service class with one static implementation per module).
class output_module : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xE7480B4F, 0x4941, 0x4DD2, {0xAD, 0xBF, 0x96, 0x6C, 0x76, 0x63, 0x43, 0x92}};

    // A new output for `device` (the null GUID: the default device) with a buffer of `buffer_seconds` (at
    // least 0.1). `conversion_flag` and `bits_hint` are passed by the engine (0 and 32); "DS" ignores them.
    virtual void create_output(service_ptr<audio_output>& out, const kpl::guid& device, double buffer_seconds,
                               int conversion_flag, int bits_hint) = 0;
    virtual void enumerate_devices(output_device_sink& sink) = 0;
    virtual void get_guid(kpl::guid& out) = 0;
    virtual const char* get_name() = 0;
    virtual void reserved(void* a, void* b, void* c) = 0;
    // Flag 8 (no module of this system sets it): device names are shown after the module's name.
    virtual uint32_t get_flags() = 0;
};

// Answered by query on modules that can open a volume control for a device (the same object).
class output_module_volume : public output_module {
public:
    static constexpr kpl::guid class_guid = {0x84569AA6, 0xFF5B, 0x4A6A, {0x81, 0x73, 0x64, 0x63, 0xB5, 0xA9, 0x1E, 0xBD}};
    using parent_interface = output_module;

    // True with `out` holding the control; false when the device has none (before Vista, or on failure).
    virtual bool open_volume_control(const kpl::guid& device, service_ptr<output_volume_control>& out) = 0;
};
