#include "foundation/kpl/array.h"

#include <cstdlib>

#include "foundation/kpl/allocation_hooks.h"

namespace kpl {

void* realloc_or_throw(uint32_t size, void* block) {
    if (size == 0) {
        std::free(block);
        return nullptr;
    }
    allocation_check(size);
    void* fresh = block ? std::realloc(block, size) : std::malloc(size);
    if (!fresh) throw_bad_alloc();  // realloc leaves the old block valid
    return fresh;
}

void* check_allocation(void* pointer) {
    if (!pointer) throw_bad_alloc();
    return pointer;
}

}  // namespace kpl
