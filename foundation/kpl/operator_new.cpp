// The program's global allocation functions: the same heap as the library's default ones (malloc and
// free), but a failure throws kpl::bad_allocation, so every allocation failure of the program reads
// "bad allocation" and is still caught as std::bad_alloc.

#include <cstdlib>
#include <new>

#include "foundation/kpl/exceptions.h"

void* operator new(std::size_t size) {
    if (size == 0) size = 1;
    for (;;) {
        if (void* p = std::malloc(size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) kpl::throw_bad_alloc();
        handler();
    }
}

void* operator new[](std::size_t size) { return ::operator new(size); }
