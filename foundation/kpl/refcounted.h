#pragma once
// Counted objects and counted references.
//
// A counted object is a heap object whose first virtual operation is its (deleting) destructor and
// whose 32-bit reference count follows the operations table. add_ref and release are interlocked, so
// references to one object may be taken and dropped on several threads; release deletes the object
// when the count reaches 0.
//
// kpl::rc_ptr<T> holds one reference to any object with add_ref and release (counted objects and
// service objects alike). Every store takes the new reference before releasing the old one, so
// assigning a reference to itself is safe:
//
//     kpl::rc_ptr<node> a(new node);   // count 1
//     kpl::rc_ptr<node> b = a;         // count 2
//     a = a.get();                     // still 2, nothing freed
//     a.reset(); b.reset();            // count 0: deleted

#include "foundation/kpl/exceptions.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace kpl {

class refcounted {
public:
    refcounted() : m_count(0) {}
    refcounted(const refcounted&) = delete;
    refcounted& operator=(const refcounted&) = delete;
    virtual ~refcounted() = default;

    // Counted objects come from the heap; failure throws std::bad_alloc with "bad allocation".
    static void* operator new(size_t size) {
        void* p = std::malloc(size ? size : 1);
        if (!p) throw_bad_alloc();
        return p;
    }
    static void operator delete(void* p) noexcept { std::free(p); }

    uint32_t add_ref() { return static_cast<uint32_t>(__atomic_add_fetch(&m_count, 1, __ATOMIC_SEQ_CST)); }
    // Returns the remaining count; the object is gone when it returns 0.
    uint32_t release() {
        long n = __atomic_sub_fetch(&m_count, 1, __ATOMIC_SEQ_CST);
        if (n == 0) delete this;
        return static_cast<uint32_t>(n);
    }
    uint32_t ref_count() const { return static_cast<uint32_t>(__atomic_load_n(&m_count, __ATOMIC_SEQ_CST)); }

private:
    volatile long m_count;
};

// Drops one reference of a counted object (null does nothing).
inline void refcounted_release(refcounted* object) {
    if (object) object->release();
}

// Deletes an owned object through its virtual destructor and clears the owner's pointer.
template <class T>
inline void owned_ptr_delete(T*& object) {
    T* p = object;
    object = nullptr;
    delete p;
}

template <class T>
class rc_ptr {
public:
    rc_ptr() = default;
    rc_ptr(std::nullptr_t) {}
    rc_ptr(T* object) : m_ptr(object) {
        if (m_ptr) m_ptr->add_ref();
    }
    rc_ptr(const rc_ptr& other) : rc_ptr(other.m_ptr) {}
    rc_ptr(rc_ptr&& other) noexcept : m_ptr(other.m_ptr) { other.m_ptr = nullptr; }
    template <class U>
    rc_ptr(const rc_ptr<U>& other) : rc_ptr(static_cast<T*>(other.get())) {}
    ~rc_ptr() { reset(); }

    rc_ptr& operator=(const rc_ptr& other) {
        assign(other.m_ptr);
        return *this;
    }
    rc_ptr& operator=(rc_ptr&& other) noexcept {
        if (this != &other) {
            T* old = m_ptr;
            m_ptr = other.m_ptr;
            other.m_ptr = nullptr;
            if (old) old->release();
        }
        return *this;
    }
    rc_ptr& operator=(T* object) {
        assign(object);
        return *this;
    }
    rc_ptr& operator=(std::nullptr_t) {
        reset();
        return *this;
    }

    // New reference first, then the old one is released (self-assignment safe).
    void assign(T* object) {
        if (object) object->add_ref();
        T* old = m_ptr;
        m_ptr = object;
        if (old) old->release();
    }
    void reset() {
        T* old = m_ptr;
        m_ptr = nullptr;
        if (old) old->release();
    }
    // Gives up the reference without releasing it.
    T* detach() {
        T* p = m_ptr;
        m_ptr = nullptr;
        return p;
    }
    // Takes over a reference the caller already owns.
    static rc_ptr adopt(T* object) {
        rc_ptr r;
        r.m_ptr = object;
        return r;
    }

    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    T& operator*() const { return *m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    bool operator==(const rc_ptr& other) const { return m_ptr == other.m_ptr; }
    bool operator!=(const rc_ptr& other) const { return m_ptr != other.m_ptr; }
    bool operator==(const T* other) const { return m_ptr == other; }
    bool operator!=(const T* other) const { return m_ptr != other; }
    bool operator==(std::nullptr_t) const { return m_ptr == nullptr; }
    bool operator!=(std::nullptr_t) const { return m_ptr != nullptr; }

private:
    T* m_ptr = nullptr;
};

// Stores a new counted reference into a holder: add-ref the new object, then release the old one.
template <class T>
inline void rc_ptr_assign(rc_ptr<T>& holder, T* object) {
    holder.assign(object);
}

}  // namespace kpl
