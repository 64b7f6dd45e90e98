#pragma once
// The exception tree of the base library, of start-up control and of service lookup.
//
// Failures travel as exceptions derived from std::exception; each carries its message text, read with
// what(). Catch sites rely on the tree:
//
//     try { ... } catch (kpl::exception_bug_check const& e) { /* also not_implemented, invalid_params, ... */ }
//     throw kpl::exception_overflow();                 // what() == "Overflow"
//     throw exception_messagebox("Could not access profile folder");
//
// Exceptions are plain values: any thread may build and throw them, and copying one never allocates
// (the text is shared and counted). Building one never fails because of its text: when no memory is
// left for the text, what() reads "".
//
// The I/O family (namespace ketrel_io) is in foundation/kpl/io_exceptions.h; exception_win32 and
// exception_com are in foundation/kpl/win32_errors.h.

#include <cstdint>
#include <exception>
#include <new>

namespace kpl {

// A shared, immutable message text. Copies share one counted heap block.
class exception_message {
public:
    exception_message() noexcept = default;
    explicit exception_message(const char* text) noexcept;
    exception_message(const char* text, uint32_t length) noexcept;
    exception_message(const exception_message& other) noexcept;
    exception_message& operator=(const exception_message& other) noexcept;
    ~exception_message();

    const char* c_str() const noexcept;

private:
    struct block;
    block* m_block = nullptr;
};

// std::exception with a message text; the common plumbing of the classes below.
class exception_with_message : public std::exception {
public:
    explicit exception_with_message(const char* text) noexcept : m_message(text) {}
    explicit exception_with_message(const exception_message& message) noexcept : m_message(message) {}
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    exception_message m_message;
};

// A broken internal invariant. "Bug check".
class exception_bug_check : public exception_with_message {
public:
    exception_bug_check() noexcept : exception_with_message("Bug check") {}
    explicit exception_bug_check(const char* text) noexcept : exception_with_message(text) {}
};

// A bug check that carries the thrower's text ("Bug check" unless one is given).
class exception_bug_check_v2 : public exception_bug_check {
public:
    exception_bug_check_v2() noexcept : exception_bug_check("Bug check") {}
    explicit exception_bug_check_v2(const char* text) noexcept : exception_bug_check(text) {}
};

// An operation an object does not offer. "Feature not implemented".
class exception_not_implemented : public exception_bug_check {
public:
    exception_not_implemented() noexcept : exception_bug_check("Feature not implemented") {}
    explicit exception_not_implemented(const char* text) noexcept : exception_bug_check(text) {}
};

// "Invalid parameters".
class exception_invalid_params : public exception_bug_check {
public:
    exception_invalid_params() noexcept : exception_bug_check("Invalid parameters") {}
    explicit exception_invalid_params(const char* text) noexcept : exception_bug_check(text) {}
};

// A failed kpl::dynamic_assert. "dynamic_assert failure".
class exception_dynamic_assert : public exception_bug_check {
public:
    exception_dynamic_assert() noexcept : exception_bug_check("dynamic_assert failure") {}
    explicit exception_dynamic_assert(const char* text) noexcept : exception_bug_check(text) {}
};

// A size or count that does not fit its field. "Overflow". Not a bug check.
class exception_overflow : public exception_with_message {
public:
    exception_overflow() noexcept : exception_with_message("Overflow") {}
    explicit exception_overflow(const char* text) noexcept : exception_with_message(text) {}
};

// Allocation failure: a std::bad_alloc whose what() is "bad allocation". Every allocation of the base
// library throws this one; catch it as std::bad_alloc.
class bad_allocation : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "bad allocation"; }
};

[[noreturn]] void throw_overflow();
[[noreturn]] void throw_bad_alloc();
[[noreturn]] void bug_check();

// Throws exception_dynamic_assert when `condition` is false.
inline void dynamic_assert(bool condition) {
    if (!condition) throw exception_dynamic_assert();
}

// For broken invariants where unwinding is not wanted: raises the non-continuable structured exception
// 0xAA67913C (no arguments). It cannot be caught as a C++ exception; it ends the process through the
// crash handler.
constexpr uint32_t crash_exception_code = 0xAA67913C;
[[noreturn]] void crash() noexcept;

}  // namespace kpl

// Service lookup (the service registry throws these).
class exception_service_not_found : public kpl::exception_with_message {
public:
    exception_service_not_found() noexcept : exception_with_message("Service not found") {}
};

class exception_service_duplicated : public kpl::exception_with_message {
public:
    exception_service_duplicated() noexcept : exception_with_message("Service duplicated") {}
};

// A service lacks an extension interface its caller cannot do without.
class exception_service_extension_not_found : public kpl::exception_with_message {
public:
    exception_service_extension_not_found() noexcept : exception_with_message("Service extension not found") {}
};

// Start-up control. Ends the start-up quietly (exit code 0). "Shutdown Request" unless a text is given.
class exception_shutdownrequest : public kpl::exception_with_message {
public:
    exception_shutdownrequest() noexcept : exception_with_message("Shutdown Request") {}
    explicit exception_shutdownrequest(const char* text) noexcept : exception_with_message(text) {}
};

// Start-up control: a text the shell shows in a message box before it stops (exit code -1).
class exception_messagebox : public kpl::exception_with_message {
public:
    explicit exception_messagebox(const char* text) noexcept : exception_with_message(text) {}
};

class exception_installdamaged : public exception_messagebox {
public:
    exception_installdamaged() noexcept
        : exception_messagebox("Internal error - one or more of the installed components have been damaged.") {}
};

class exception_out_of_resources : public exception_messagebox {
public:
    exception_out_of_resources() noexcept : exception_messagebox("Not enough system resources available.") {}
};
