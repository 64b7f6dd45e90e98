#include "metadata/tag_space.h"

#include <cstring>

namespace {

constexpr size_t default_padding = 2048;
constexpr size_t largest_kept_slack = 16384;

void append_zeros(kpl::array<uint8_t>& buffer, size_t n) {
    uint32_t old = buffer.count();
    if (n > UINT32_MAX - old) kpl::throw_bad_alloc();
    buffer.resize_exact(old + static_cast<uint32_t>(n));  // new elements are zero
}

}  // namespace

void byte_buffer_pad_tag_space(size_t old_size, kpl::array<uint8_t>& buffer) {
    size_t s = buffer.count();
    if (s > old_size) {
        append_zeros(buffer, default_padding);
        return;
    }
    size_t d = old_size - s;
    if (d == 0) return;
    append_zeros(buffer, d <= largest_kept_slack ? d : default_padding);
}

void byte_buffer_set(kpl::array<uint8_t>& buffer, const void* data, size_t size) {
    if (size > UINT32_MAX) kpl::throw_bad_alloc();
    const uint8_t* from = static_cast<const uint8_t*>(data);
    if (buffer.count() && from >= buffer.data() && from < buffer.data() + buffer.count()) {
        kpl::array<uint8_t> fresh;  // the data lies in the buffer itself
        byte_buffer_set(fresh, data, size);
        buffer.swap(fresh);
        return;
    }
    buffer.resize_exact(static_cast<uint32_t>(size));
    if (size) std::memcpy(buffer.data(), data, size);
}
