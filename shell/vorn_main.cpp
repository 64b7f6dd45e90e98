// Process entry of the player.
#include <windows.h>

#include "shell/app_lifecycle.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return app_entry(instance); }
