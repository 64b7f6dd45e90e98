#pragma once
// While a guarded_heap_scope lives, every block the program allocates with new ends at an inaccessible
// page, so code that writes or reads even a few bytes past a buffer it allocated crashes the test instead
// of passing by luck (the end is rounded to the platform's allocation alignment). Blocks handed out in the
// scope may be freed after it (the hooks then stay until the last one goes). Each block takes its own pages:
// keep the scope around the few calls under test, not a whole test program. Hooks set before the scope
// still see every request first (a cap still refuses) and get back the blocks that are not the scope's.
//
//     {
//         guarded_heap_scope guard;
//         decoder->decode_packet(frame, size, block, abort_never);    // buffers made here are guarded
//     }

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/allocation_hooks.h"
#include "foundation/kpl/exceptions.h"

class guarded_heap_scope {
public:
    guarded_heap_scope() {
        static const kpl::allocation_hooks hooks = {allocate, release, check};
        const kpl::allocation_hooks* before = kpl::set_allocation_hooks(&hooks);
        if (before != &hooks) previous() = before;
        active() = true;
    }
    ~guarded_heap_scope() {
        active() = false;
        if (live() == 0) kpl::set_allocation_hooks(previous());
    }
    guarded_heap_scope(const guarded_heap_scope&) = delete;
    guarded_heap_scope& operator=(const guarded_heap_scope&) = delete;

private:
    static constexpr size_t max_blocks = 4096;
    struct slot {
        char* base;
        void* block;
    };
    static bool& active() {
        static bool on = false;
        return on;
    }
    static const kpl::allocation_hooks*& previous() {
        static const kpl::allocation_hooks* hooks = nullptr;
        return hooks;
    }
    static size_t& live() {
        static size_t count = 0;
        return count;
    }
    static slot* slots() {
        static slot table[max_blocks];
        return table;
    }
    static void* allocate(size_t size) {
        const kpl::allocation_hooks* before = previous();
        if (before && before->allocate) {
            if (void* p = before->allocate(size)) return p;
        }
        if (!active()) return nullptr;
        slot* table = slots();
        size_t free_slot = max_blocks;
        for (size_t i = 0; i < max_blocks; ++i) {
            if (!table[i].base) {
                free_slot = i;
                break;
            }
        }
        if (free_slot == max_blocks) return nullptr;
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t align = alignof(std::max_align_t);
        const size_t rounded = (size + align - 1) / align * align;
        const size_t span = (rounded + page - 1) / page * page;
        char* base = static_cast<char*>(VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!base) kpl::throw_bad_alloc();
        DWORD old;
        VirtualProtect(base + span, page, PAGE_NOACCESS, &old);
        void* block = base + span - rounded;
        table[free_slot].base = base;
        table[free_slot].block = block;
        ++live();
        return block;
    }
    // Arrays of the base library are not guarded (they use realloc); the hooks before still see their sizes.
    static void check(size_t size) {
        const kpl::allocation_hooks* before = previous();
        if (before && before->check) before->check(size);
    }
    static bool release(void* block) {
        const kpl::allocation_hooks* before = previous();
        if (live() == 0) return before && before->release && before->release(block);
        slot* table = slots();
        for (size_t i = 0; i < max_blocks; ++i) {
            if (table[i].block == block && table[i].base) {
                VirtualFree(table[i].base, 0, MEM_RELEASE);
                table[i].base = nullptr;
                table[i].block = nullptr;
                --live();
                return true;
            }
        }
        return before && before->release && before->release(block);
    }
};
