#pragma once
// How new ReplayGain settings reach the playback engine: handed over when an engine exists (it applies them
// from the next track it opens), dropped otherwise (the engine reads them when playback starts).
//
//     playback_engine_set_replaygain(settings);

#include "playback/replaygain_settings.h"

void playback_engine_set_replaygain(const replaygain_settings& settings);
