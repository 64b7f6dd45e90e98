#pragma once
// While an allocation_watch lives, it notes the largest single block the program asks new or an array of the
// base library for, and refuses (with kpl::bad_allocation, before anything is allocated) every block above its
// cap, noting that it did.
// A parser that sizes a buffer from a field it has not checked against the file shows up here even on a
// machine with the memory to grant it.
//
//     allocation_watch watch(1 << 20);
//     wav_tags_read(*file, info, abort_never);
//     CHECK(watch.largest() < 1 << 20);
//     CHECK_FALSE(watch.refused());

#include <cstddef>

#include "foundation/kpl/allocation_hooks.h"
#include "foundation/kpl/exceptions.h"

class allocation_watch {
public:
    explicit allocation_watch(size_t cap) {
        state& s = current();
        s.cap = cap;
        s.largest = 0;
        s.refused = false;
        static const kpl::allocation_hooks hooks = {allocate, release, allocate_check};
        s.before = kpl::set_allocation_hooks(&hooks);
    }
    ~allocation_watch() { kpl::set_allocation_hooks(current().before); }
    allocation_watch(const allocation_watch&) = delete;
    allocation_watch& operator=(const allocation_watch&) = delete;

    size_t largest() const { return current().largest; }
    bool refused() const { return current().refused; }
    // Starts counting afresh (the cap stays).
    void reset() {
        current().largest = 0;
        current().refused = false;
    }

private:
    struct state {
        size_t cap = 0, largest = 0;
        bool refused = false;
        const kpl::allocation_hooks* before = nullptr;
    };
    static state& current() {
        static state s;
        return s;
    }
    static void* allocate(size_t size) {
        state& s = current();
        if (size > s.largest) s.largest = size;
        if (size > s.cap) {
            s.refused = true;
            kpl::throw_bad_alloc();
        }
        return nullptr;
    }
    static void allocate_check(size_t size) { allocate(size); }
    // Blocks that hooks set before the watch handed out go back to them.
    static bool release(void* block) {
        const kpl::allocation_hooks* before = current().before;
        return before && before->release && before->release(block);
    }
};
