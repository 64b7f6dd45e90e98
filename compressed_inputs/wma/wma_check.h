#pragma once
// wma_check: the error of a failed Windows Media runtime call.
//
//     wma_check(0xC00D0BBD, "IWMSyncReader::OpenStream");
//     // throws ketrel_io::exception_io "IWMSyncReader::OpenStream failed : Playback of DRM-protected files
//     //                                  is not supported (0xC00D0BBD)"
//     wma_check(S_OK, "x");          // nothing: only negative results throw
//     wma_error_text(0x80004001, nullptr) -> "<system text> (0x80004001)"   (no call name: no prefix)
//
// Three codes have texts of their own (0xC00D0006, 0xC00D0026, 0xC00D0BBD); others take the system's
// message (blanks made spaces, trailing ones cut), or "Unknown error code" when it has none.

#include <cstdint>
#include <string>

std::string wma_error_text(int32_t hr, const char* call);
void wma_check(int32_t hr, const char* call = nullptr);
