#include "compressed_inputs/wma/wma_check.h"

#include <cstdio>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"

std::string wma_error_text(int32_t hr, const char* call) {
    const uint32_t code = static_cast<uint32_t>(hr);
    std::string text;
    if (call) {
        text = call;
        text += " failed : ";
    }
    const char* own = code == 0xC00D0006u   ? "Unable to establish a connection to the server"
                      : code == 0xC00D0026u ? "Unrecognized stream type"
                      : code == 0xC00D0BBDu ? "Playback of DRM-protected files is not supported"
                                            : nullptr;
    if (own) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
        text += own;
        text += " (0x";
        text += hex;
        text += ")";
    } else {
        text += win32_error_text_with_code(code).c_str();
    }
    return text;
}

void wma_check(int32_t hr, const char* call) {
    if (hr < 0) throw ketrel_io::exception_io(wma_error_text(hr, call).c_str());
}
