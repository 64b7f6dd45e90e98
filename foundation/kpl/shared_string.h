#pragma once
// kpl::shared_ref<T>: a two-word counted reference {counted block, object inside the block}. The block
// begins with its deleting destructor and a 32-bit counter. Copying adds one to the counter (interlocked);
// release() clears both words, subtracts one (interlocked) and deletes the block at 0. Every store takes
// the new reference before dropping the old one, so self-assignment is safe. The counter is thread-safe;
// the object itself is not.
//
// kpl::shared_string: a shared_ref whose object is a kpl::utf8_string.
//
//     kpl::shared_string a = kpl::shared_string::make("abc");   // a tight copy of the text
//     kpl::shared_string b = a;                                 // same block, counter 2
//     kpl::shared_string e = kpl::shared_string::make_empty();  // read-only ""; changing it throws
//                                                               // kpl::exception_not_implemented

#include <atomic>
#include <cstdint>
#include <new>
#include <utility>

#include "foundation/kpl/string.h"

namespace kpl {

class counted_block {
public:
    counted_block() noexcept = default;
    counted_block(const counted_block&) = delete;
    counted_block& operator=(const counted_block&) = delete;
    virtual ~counted_block() = default;

    void add_ref() noexcept { m_count.fetch_add(1, std::memory_order_relaxed); }
    // Subtracts one; true when the count reached 0 (the caller deletes the block).
    bool release() noexcept { return m_count.fetch_sub(1, std::memory_order_acq_rel) == 1; }
    uint32_t count() const noexcept { return m_count.load(std::memory_order_relaxed); }

private:
    std::atomic<uint32_t> m_count{1};
};

template <class T>
class counted_object_block : public counted_block {
public:
    template <class... Args>
    explicit counted_object_block(Args&&... args) : object(std::forward<Args>(args)...) {}
    T object;
};

template <class T>
class shared_ref {
public:
    shared_ref() noexcept = default;
    // Adopts a block whose counter already counts this reference.
    shared_ref(counted_block* block, T* object) noexcept : m_block(block), m_object(object) {}
    shared_ref(const shared_ref& other) noexcept : m_block(other.m_block), m_object(other.m_object) {
        if (m_block) m_block->add_ref();
    }
    shared_ref(shared_ref&& other) noexcept : m_block(other.m_block), m_object(other.m_object) {
        other.m_block = nullptr;
        other.m_object = nullptr;
    }
    ~shared_ref() { release(); }

    shared_ref& operator=(const shared_ref& other) noexcept {
        if (other.m_block) other.m_block->add_ref();
        counted_block* old = m_block;
        m_block = other.m_block;
        m_object = other.m_object;
        if (old && old->release()) delete old;
        return *this;
    }
    shared_ref& operator=(shared_ref&& other) noexcept {
        if (this != &other) {
            counted_block* old = m_block;
            m_block = other.m_block;
            m_object = other.m_object;
            other.m_block = nullptr;
            other.m_object = nullptr;
            if (old && old->release()) delete old;
        }
        return *this;
    }

    // Clears both words and drops the reference.
    void release() noexcept {
        counted_block* old = m_block;
        m_block = nullptr;
        m_object = nullptr;
        if (old && old->release()) delete old;
    }

    // A new block holding T(args...), counted once.
    template <class... Args>
    static shared_ref make(Args&&... args) {
        auto* block = new (std::nothrow) counted_object_block<T>(std::forward<Args>(args)...);
        if (!block) throw_bad_alloc();
        return shared_ref(block, &block->object);
    }

    T* get() const noexcept { return m_object; }
    T& operator*() const noexcept { return *m_object; }
    T* operator->() const noexcept { return m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }
    bool is_empty() const noexcept { return m_object == nullptr; }
    counted_block* block() const noexcept { return m_block; }

private:
    counted_block* m_block = nullptr;
    T* m_object = nullptr;
};

class shared_string : public shared_ref<utf8_string> {
public:
    shared_string() noexcept = default;
    shared_string(shared_ref<utf8_string>&& other) noexcept : shared_ref<utf8_string>(std::move(other)) {}

    // A new block holding a tight copy of `text`.
    static shared_string make(const char* text);
    static shared_string make(const char* text, uint32_t max);
    // A new read-only empty string: c_str() "", length() 0; append, assign, truncate, begin_write and
    // end_write throw kpl::exception_not_implemented ("Feature not implemented").
    static shared_string make_empty();

    // The text, or "" when the reference is null.
    const char* c_str() const { return get() ? get()->c_str() : ""; }
    uint32_t length() const { return get() ? get()->length() : 0; }
};

}  // namespace kpl
