#pragma once
// config_variable: a persistent setting. Every variable is a static object with its own GUID that writes
// its value to a byte stream and reads it back; the configuration store (config_store.h) saves all of them
// as records of "config.dat" in the profile folder and loads them at start-up.
//
//     // {F44473BB-9025-4204-AFB5-8F46C2102298}
//     constexpr kpl::guid k_use_library_folders_guid = {0xF44473BB, 0x9025, 0x4204, {...}};
//     config_bool cfg_use_windows_library_folders(k_use_library_folders_guid, true);
//
//     if (cfg_use_windows_library_folders) add_library_folders();   // true until the file says otherwise
//     cfg_use_windows_library_folders = false;                      // saved at the next save
//
// The constructor registers the variable: its GUID goes into both of its list nodes and the variable is
// linked at the head of the read list and the write list, so both lists run in reverse order of static
// initialisation. Variables are never unlinked. Two variables must not share a GUID: both would be
// written, and only the one registered first would be read back.
//
// Payload forms of the kinds below (integers little-endian):
//     config_text         the UTF-8 bytes, no terminator, no length
//     config_bool         1 byte, 0 or 1 (any non-zero byte reads as true)
//     config_int32        4 bytes
//     config_float        4 bytes, IEEE single precision
//     config_guid         16 bytes, the GUID's memory form
//     config_string_list  u32 count, then per entry a u32 byte length and the bytes
// A payload too short for its kind leaves the value as it was (the store ignores the data error). Values
// are read and changed by their owners without a lock; an owner that shares a variable with worker threads
// guards it itself.

#include <cstdint>

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"
#include "foundation/tasks/abort_signal.h"

class config_variable;

// The heads of a read list and a write list. The program's lists are config_variable_lists(); a test may
// keep private ones.
struct config_variable_list {
    config_variable* read_head = nullptr;
    config_variable* write_head = nullptr;
};

// The program's lists (constant-initialised, so variables of any translation unit can link themselves
// during static initialisation in any order).
config_variable_list& config_variable_lists() noexcept;

class config_variable {
public:
    // Replaces the value from a source that yields exactly the record's payload of `size` bytes.
    virtual void set_data(byte_source& source, uint32_t size, const abort_signal& abort) = 0;
    // Writes the value to the sink.
    virtual void get_data(byte_sink& sink, const abort_signal& abort) = 0;

    const kpl::guid& read_guid() const noexcept { return m_read.guid; }
    const kpl::guid& write_guid() const noexcept { return m_write.guid; }
    config_variable* next_read() const noexcept { return m_read.next; }
    config_variable* next_write() const noexcept { return m_write.next; }

    config_variable(const config_variable&) = delete;
    config_variable& operator=(const config_variable&) = delete;

protected:
    // Registers on the program's lists.
    explicit config_variable(const kpl::guid& guid) noexcept { register_variable(guid, config_variable_lists()); }
    config_variable(const kpl::guid& guid, config_variable_list& list) noexcept { register_variable(guid, list); }
    ~config_variable() = default;

private:
    // Copies the GUID into both nodes and links the variable at the head of both lists.
    void register_variable(const kpl::guid& guid, config_variable_list& list) noexcept;

    struct node {
        kpl::guid guid;
        config_variable* next;
    };
    node m_read;
    node m_write;
};

// Text: the payload is the UTF-8 text itself. Reading empties the text and appends pieces of up to 256
// bytes until a piece comes back short.
class config_text : public config_variable {
public:
    config_text(const kpl::guid& guid, const char* default_text) : config_variable(guid), m_value(default_text) {}
    config_text(const kpl::guid& guid, const char* default_text, config_variable_list& list)
        : config_variable(guid, list), m_value(default_text) {}

    void set_data(byte_source& source, uint32_t size, const abort_signal& abort) override;
    void get_data(byte_sink& sink, const abort_signal& abort) override;

    const char* c_str() const noexcept { return m_value.c_str(); }
    const kpl::utf8_string& get() const noexcept { return m_value; }
    void set(const char* text) { m_value = text; }
    config_text& operator=(const char* text) {
        set(text);
        return *this;
    }

private:
    kpl::utf8_string_tight m_value;
};

// The payload forms of the fixed-size kinds: read exactly their bytes (ketrel_io::exception_io_data when
// fewer remain) or write them.
namespace config_payload {
void read(byte_source& source, bool& out, const abort_signal& abort);
void read(byte_source& source, int32_t& out, const abort_signal& abort);
void read(byte_source& source, float& out, const abort_signal& abort);
void read(byte_source& source, kpl::guid& out, const abort_signal& abort);
void write(byte_sink& sink, bool value, const abort_signal& abort);
void write(byte_sink& sink, int32_t value, const abort_signal& abort);
void write(byte_sink& sink, float value, const abort_signal& abort);
void write(byte_sink& sink, const kpl::guid& value, const abort_signal& abort);
}  // namespace config_payload

// A value of a fixed-size payload form (bool, int32_t, float, kpl::guid).
template <class T>
class config_value : public config_variable {
public:
    config_value(const kpl::guid& guid, const T& default_value) : config_variable(guid), m_value(default_value) {}
    config_value(const kpl::guid& guid, const T& default_value, config_variable_list& list)
        : config_variable(guid, list), m_value(default_value) {}

    void set_data(byte_source& source, uint32_t, const abort_signal& abort) override {
        T value;
        config_payload::read(source, value, abort);
        m_value = value;
    }
    void get_data(byte_sink& sink, const abort_signal& abort) override { config_payload::write(sink, m_value, abort); }

    const T& get() const noexcept { return m_value; }
    void set(const T& value) noexcept { m_value = value; }
    operator T() const noexcept { return m_value; }
    config_value& operator=(const T& value) noexcept {
        m_value = value;
        return *this;
    }

private:
    T m_value;
};

using config_bool = config_value<bool>;
using config_int32 = config_value<int32_t>;
using config_float = config_value<float>;
using config_guid = config_value<kpl::guid>;

// A list of texts. A payload that ends inside the list leaves the old list in place.
class config_string_list : public config_variable {
public:
    explicit config_string_list(const kpl::guid& guid) : config_variable(guid) {}
    config_string_list(const kpl::guid& guid, config_variable_list& list) : config_variable(guid, list) {}

    void set_data(byte_source& source, uint32_t size, const abort_signal& abort) override;
    void get_data(byte_sink& sink, const abort_signal& abort) override;

    const kpl::string_array& get() const noexcept { return m_value; }
    kpl::string_array& get() noexcept { return m_value; }

private:
    kpl::string_array m_value;
};
