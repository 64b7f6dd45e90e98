#pragma once
// A way for test programs to watch or redirect the program's global allocations (operator new and delete):
// a test that counts what a parser allocates, caps it, or places blocks against an inaccessible page sets
// the hooks; the program itself never does, and without hooks new and delete are malloc and free.
//
//     static void* on_allocate(size_t size) { if (size > cap) kpl::throw_bad_alloc(); return nullptr; }
//     static kpl::allocation_hooks hooks = {on_allocate, nullptr, nullptr};
//     kpl::set_allocation_hooks(&hooks);     // a null allocate result falls back to malloc
//
// `allocate` may return the block itself, return null to let malloc serve it, or throw. `release` is asked
// about every freed block first and answers true when it freed the block (one it handed out). `check` sees the
// size of every block the base library's arrays and strings of plain elements take with malloc or realloc
// (they cannot be served from elsewhere) and may throw. Any of the three may be null. The hooks are read
// without a lock: set them while only one thread allocates, and keep `release` set for as long as a block it
// handed out may still be freed.

#include <cstddef>

namespace kpl {

struct allocation_hooks {
    void* (*allocate)(std::size_t size);
    bool (*release)(void* block);
    void (*check)(std::size_t size);
};

// Asks the hooks' `check` about a block of `size` bytes (nothing without hooks).
void allocation_check(std::size_t size);

// Null removes the hooks. The structure must outlive its use. Answers the hooks set before, so a scope can
// put them back (and pass on what it does not handle itself).
const allocation_hooks* set_allocation_hooks(const allocation_hooks* hooks);

}  // namespace kpl
