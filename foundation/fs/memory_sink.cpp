#include "foundation/fs/memory_sink.h"

#include <cstring>

#include "foundation/kpl/exceptions.h"

void memory_sink::write(const void* buffer, size_t n, const abort_signal& abort) {
    abort.check();
    uint32_t size = m_data.count();
    if (static_cast<uint64_t>(size) + n > 0xFFFFFFFFu) kpl::throw_bad_alloc();
    if (n == 0) return;
    m_data.resize_pow2_shrink(size + static_cast<uint32_t>(n));
    std::memcpy(m_data.data() + size, buffer, n);
}
