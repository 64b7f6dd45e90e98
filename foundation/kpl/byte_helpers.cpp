#include "foundation/kpl/byte_helpers.h"

#include "foundation/kpl/exceptions.h"

#include <cstring>
#include <windows.h>

namespace kpl {

void reverse_bytes(void* buffer, size_t n) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    for (size_t i = 0, j = n; i + 1 < j; ++i, --j) {
        uint8_t t = p[i];
        p[i] = p[j - 1];
        p[j - 1] = t;
    }
}

void copy_dwords(uint32_t* destination, const uint32_t* source, size_t count) {
    if (count) std::memcpy(destination, source, count * sizeof(uint32_t));
}

}  // namespace kpl

uint64_t qpc_stopwatch::read_counter() {
    LARGE_INTEGER value;
    if (!QueryPerformanceCounter(&value)) throw kpl::exception_not_implemented();
    return static_cast<uint64_t>(value.QuadPart);
}
