#pragma once
// The audio_output of the "DS" module: a staging buffer in front of one DirectSound device object.
//
//     service_ptr<audio_output> out;
//     ds_audio_output_create(out, kpl::guid_null, 3.0);
//
// Samples go to the device as 32-bit floats from Windows Vista on and as 16-bit integers (through the
// pcm_converter service) before. A format change (rate, channels or mask) drains the old device first: no
// sample of the new format is played at the old one. The three fade lengths of the "Fading" settings are
// read when they are used. Releasing the output closes its device with a fade over "Fade out (ms)".

#include "foundation/kpl/guid.h"
#include "playback/output/output_module.h"

void ds_audio_output_create(service_ptr<audio_output>& out, const kpl::guid& device, double buffer_seconds);
// The same with the sample form chosen by the caller (tests): float, or 16-bit integers.
void ds_audio_output_create(service_ptr<audio_output>& out, const kpl::guid& device, double buffer_seconds,
                            bool float_samples);

// Linear gain of a volume in dB: 10^(dB x 0.05), limited to [0, 1].
double output_volume_gain(double db);
