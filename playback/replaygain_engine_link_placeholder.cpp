// Stand-in until the playback engine exists: there is never an engine to tell.
#include "playback/replaygain_engine_link.h"

void playback_engine_set_replaygain(const replaygain_settings&) {}
