#pragma once
// The output selection: which output module and which of its devices play, as two configuration variables
// read and written together under the output-selection lock; opening the selected output as the playback
// engine does; and binding the selected device's volume control.
//
//     output_selection_set(ds_module_guid, kpl::guid_null);   // the Playback page: "DS", default device
//     output_holder holder;                                   // the engine's, one per playback
//     holder.volume_db = -3.0;
//     output_open_configured(holder);                         // holder.output ready, holder.opened true
//
//     service_ptr<output_volume_control> control;
//     if (output_volume_bind(control)) control->set_volume(-3.0f);
//
// Variables: module {4EF867C5-BD50-4E87-876B-9E347074C80B}, default "DS" {D41D2423-FBB0-4635-B233-
// 7054F79814AB}; device {C9026507-B29B-4A35-A2B7-3C16BCCB0391}, default the null GUID (the default device);
// 16 bytes each. The module map (module GUID to its position among the output_module services) is built by
// the first open and never rebuilt.

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "playback/output/output_module.h"
#include "playback/output/output_volume_control.h"

constexpr kpl::guid ds_module_guid = {0xD41D2423, 0xFBB0, 0x4635, {0xB2, 0x33, 0x70, 0x54, 0xF7, 0x98, 0x14, 0xAB}};

// The pair, read or written under the lock.
void output_selection_get(kpl::guid& module, kpl::guid& device);
void output_selection_set(const kpl::guid& module, const kpl::guid& device);

// The engine's hold on its output.
struct output_holder {
    service_ptr<audio_output> output;
    double volume_db = 0;
    bool paused = false;
    bool opened = false;
};

// Opens the selected device of the selected module with a 3.0 s buffer, gives it the holder's volume and
// pause state and marks the holder opened. A module missing from the map, or one that cannot be created,
// throws exception_output_module_not_found ("Output module not found").
void output_open_configured(output_holder& holder);

// Releases what `bound` holds, then opens the volume control of the selected device from the first module
// with the selected GUID that answers output_module_volume. True when one was bound.
bool output_volume_bind(service_ptr<output_volume_control>& bound);
