#pragma once
// kpl::thread: a worker thread owned by an object. Derive, put the work in body(), start() it.
//
//   class scanner : public kpl::thread {
//       void body() override { ... }          // runs on the new thread; exceptions are swallowed
//   public:
//       ~scanner() { wait_and_close(); }      // stop before the derived part goes
//   };
//   scanner s;
//   s.start(THREAD_PRIORITY_BELOW_NORMAL);    // a previous run of s is waited for first
//   s.wait_and_close();
//
// The base destructor also waits for a running thread, but by then the derived part is gone, so every
// derived class stops its thread in its own destructor.

#include <windows.h>

#include <exception>

namespace kpl {

class thread {
public:
    // Thrown when the system cannot create the thread.
    class exception_creation : public std::exception {
    public:
        const char* what() const noexcept override { return "Could not create thread"; }
    };

    thread() = default;
    virtual ~thread();
    thread(const thread&) = delete;
    thread& operator=(const thread&) = delete;

    // Waits without time-out for a previous thread of this object and closes it, then creates the thread
    // suspended, gives it the Win32 priority and lets it run. Throws exception_creation on failure.
    void start(int priority = THREAD_PRIORITY_NORMAL);
    // Waits without time-out for the thread to end and closes its handle; nothing when none was started.
    void wait_and_close();
    // True from start() until wait_and_close(), also while a finished thread is still unjoined.
    bool is_started() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE handle() const { return m_handle; }

protected:
    // The work of the thread. An exception escaping it ends the thread quietly (exit code 0).
    virtual void body() = 0;

private:
    static unsigned __stdcall entry(void* self);
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace kpl
