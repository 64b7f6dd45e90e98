#include "playback/playback_controller.h"

bool playback_listener_dispatch_active = false;
