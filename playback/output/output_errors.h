#pragma once
// The failures of audio output and how a DirectSound result becomes one.
//
//     try { output->check(); }
//     catch (exception_output_device_not_found const& e) { ... }  // "Audio device not found"; also for
//                                                                   // "Output module not found"
//     ds_check(buffer->Play(0, 0, DSBPLAY_LOOPING));               // a failure throws exception_com
//
// ds_check gives the two DirectSound results the player names its own text: DSERR_BADFORMAT
// "Audio data format not supported by this device" and DSERR_NODRIVER "Device not found"; any other failure
// carries the system text and the code, as exception_com does.

#include <cstdint>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"

// The configured device does not exist (or cannot be reached through the configured module).
class exception_output_device_not_found : public kpl::exception_with_message {
public:
    exception_output_device_not_found() noexcept : exception_with_message("Audio device not found") {}
    explicit exception_output_device_not_found(const char* text) noexcept : exception_with_message(text) {}
};

// The configured output module is not registered. A kind of exception_output_device_not_found.
class exception_output_module_not_found : public exception_output_device_not_found {
public:
    exception_output_module_not_found() noexcept : exception_output_device_not_found("Output module not found") {}
};

// The results DirectSound reports that the output names.
constexpr int32_t ds_error_bad_format = static_cast<int32_t>(0x88780064);  // DSERR_BADFORMAT
constexpr int32_t ds_error_no_driver = static_cast<int32_t>(0x88780078);   // DSERR_NODRIVER

// The exception of a failed DirectSound result (see above).
exception_com ds_exception(int32_t hr);

// Throws ds_exception(hr) when hr is a failure.
inline void ds_check(int32_t hr) {
    if (hr < 0) throw ds_exception(hr);
}
