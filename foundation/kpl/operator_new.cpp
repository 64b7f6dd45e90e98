// The program's global allocation functions: the same heap as the library's default ones (malloc and
// free), but a failure throws kpl::bad_allocation, so every allocation failure of the program reads
// "bad allocation" and is still caught as std::bad_alloc. Test programs may hook them
// (foundation/kpl/allocation_hooks.h).

#include <cstdlib>
#include <new>

#include "foundation/kpl/allocation_hooks.h"
#include "foundation/kpl/exceptions.h"

namespace {
const kpl::allocation_hooks* g_hooks = nullptr;
}

const kpl::allocation_hooks* kpl::set_allocation_hooks(const allocation_hooks* hooks) {
    const allocation_hooks* before = g_hooks;
    g_hooks = hooks;
    return before;
}

void kpl::allocation_check(std::size_t size) {
    if (const allocation_hooks* hooks = g_hooks) {
        if (hooks->check) hooks->check(size);
    }
}

void* operator new(std::size_t size) {
    if (size == 0) size = 1;
    if (const kpl::allocation_hooks* hooks = g_hooks) {
        if (hooks->allocate) {
            if (void* p = hooks->allocate(size)) return p;
        }
    }
    for (;;) {
        if (void* p = std::malloc(size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) kpl::throw_bad_alloc();
        handler();
    }
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void operator delete(void* block) noexcept {
    if (!block) return;
    if (const kpl::allocation_hooks* hooks = g_hooks) {
        if (hooks->release && hooks->release(block)) return;
    }
    std::free(block);
}

void operator delete[](void* block) noexcept { ::operator delete(block); }
void operator delete(void* block, std::size_t) noexcept { ::operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { ::operator delete(block); }
