#include "compressed_inputs/system_codecs/system_codecs.h"

#include <windows.h>

namespace {
volatile LONG g_override = 0;
}

uint32_t system_codec_version() {
    const LONG forced = InterlockedCompareExchange(&g_override, 0, 0);
    if (forced) return static_cast<uint32_t>(forced);
    const DWORD v = GetVersion();
    return (v & 0xFF) << 8 | ((v >> 8) & 0xFF);
}

void system_codec_version_override(uint32_t version) { InterlockedExchange(&g_override, static_cast<LONG>(version)); }
