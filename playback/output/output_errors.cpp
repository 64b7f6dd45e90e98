#include "playback/output/output_errors.h"

exception_com ds_exception(int32_t hr) {
    if (hr == ds_error_bad_format) return exception_com(hr, "Audio data format not supported by this device");
    if (hr == ds_error_no_driver) return exception_com(hr, "Device not found");
    return exception_com(hr);
}
