#include "foundation/kpl/array.h"

#include <cstdlib>

namespace kpl {

uint32_t checked_multiply(uint32_t count, uint32_t size) {
    if (count == 0) return 0;
    uint64_t product = static_cast<uint64_t>(count) * size;
    if (product > UINT32_MAX) throw_bad_alloc();
    return static_cast<uint32_t>(product);
}

void* realloc_or_throw(uint32_t size, void* block) {
    if (size == 0) {
        std::free(block);
        return nullptr;
    }
    void* fresh = block ? std::realloc(block, size) : std::malloc(size);
    if (!fresh) throw_bad_alloc();  // realloc leaves the old block valid
    return fresh;
}

void* check_allocation(void* pointer) {
    if (!pointer) throw_bad_alloc();
    return pointer;
}

}  // namespace kpl
