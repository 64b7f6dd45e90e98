#pragma once
// The I/O exception family (namespace ketrel_io).
//
// Each kind built without an argument takes its text from the language table, looked up when the
// exception is constructed with the class name (without the namespace) as the id; a missing id gives "".
// With the English table:
//
//     ketrel_io::exception_io_not_found e;      // e.what() == "Object not found"
//     ketrel_io::exception_io_data("Corrupted configuration file");   // an explicit text
//     ketrel_io::exception_io::construct_with_code(1234).what() == "I/O error #1234"
//
// Every kind derives from ketrel_io::exception_io, so one handler catches them all, except
// ketrel_io::exception_aborted ("User abort"), the silent cancel, which is not an I/O error.
//
// throw_win32_io_error (code) throws the kind that reports a Win32 error code:
//     2, 3 not_found; 5, 65 denied; 19 write_protected; 23, 1392, 1393 file_corrupted;
//     32, 33, 148, 170 sharing_violation; 39, 112 device_full; 80, 183 already_exists; 111 name_too_long;
//     145 directory_not_empty; any other exception_io_win32_ex with the code.

#include "foundation/kpl/exceptions.h"

namespace ketrel_io {

class exception_io_win32_ex;

class exception_io : public kpl::exception_with_message {
public:
    exception_io() noexcept : exception_io(text_id{"exception_io"}) {}
    explicit exception_io(const char* text) noexcept : exception_with_message(text) {}

    static exception_io_win32_ex construct_with_code(uint32_t code) noexcept;

protected:
    // Builds the exception with the language-table text of `id`.
    struct text_id {
        const char* id;
    };
    explicit exception_io(text_id id) noexcept;
};

// Malformed or unsupported data. "Unsupported format or corrupted file".
class exception_io_data : public exception_io {
public:
    exception_io_data() noexcept : exception_io(text_id{"exception_io_data"}) {}
    explicit exception_io_data(const char* text) noexcept : exception_io(text) {}

protected:
    explicit exception_io_data(text_id id) noexcept : exception_io(id) {}
};

// "Unsupported file format". A kind of exception_io_data.
class exception_io_unsupported_format : public exception_io_data {
public:
    exception_io_unsupported_format() noexcept : exception_io_data(text_id{"exception_io_unsupported_format"}) {}
    explicit exception_io_unsupported_format(const char* text) noexcept : exception_io_data(text) {}
};

// "Object not found".
class exception_io_not_found : public exception_io {
public:
    exception_io_not_found() noexcept : exception_io(text_id{"exception_io_not_found"}) {}
    explicit exception_io_not_found(const char* text) noexcept : exception_io(text) {}
};

// "Access denied".
class exception_io_denied : public exception_io {
public:
    exception_io_denied() noexcept : exception_io(text_id{"exception_io_denied"}) {}
    explicit exception_io_denied(const char* text) noexcept : exception_io(text) {}

protected:
    explicit exception_io_denied(text_id id) noexcept : exception_io(id) {}
};

// "The media is write protected". A kind of exception_io_denied.
class exception_io_write_protected : public exception_io_denied {
public:
    exception_io_write_protected() noexcept : exception_io_denied(text_id{"exception_io_write_protected"}) {}
    explicit exception_io_write_protected(const char* text) noexcept : exception_io_denied(text) {}
};

// "File is already in use".
class exception_io_sharing_violation : public exception_io {
public:
    exception_io_sharing_violation() noexcept : exception_io(text_id{"exception_io_sharing_violation"}) {}
    explicit exception_io_sharing_violation(const char* text) noexcept : exception_io(text) {}
};

// "Device full".
class exception_io_device_full : public exception_io {
public:
    exception_io_device_full() noexcept : exception_io(text_id{"exception_io_device_full"}) {}
    explicit exception_io_device_full(const char* text) noexcept : exception_io(text) {}
};

// "The file is corrupted".
class exception_io_file_corrupted : public exception_io {
public:
    exception_io_file_corrupted() noexcept : exception_io(text_id{"exception_io_file_corrupted"}) {}
    explicit exception_io_file_corrupted(const char* text) noexcept : exception_io(text) {}
};

// "Object already exists".
class exception_io_already_exists : public exception_io {
public:
    exception_io_already_exists() noexcept : exception_io(text_id{"exception_io_already_exists"}) {}
    explicit exception_io_already_exists(const char* text) noexcept : exception_io(text) {}
};

// "File name is too long".
class exception_io_name_too_long : public exception_io {
public:
    exception_io_name_too_long() noexcept : exception_io(text_id{"exception_io_name_too_long"}) {}
    explicit exception_io_name_too_long(const char* text) noexcept : exception_io(text) {}
};

// "Directory not empty".
class exception_io_directory_not_empty : public exception_io {
public:
    exception_io_directory_not_empty() noexcept : exception_io(text_id{"exception_io_directory_not_empty"}) {}
    explicit exception_io_directory_not_empty(const char* text) noexcept : exception_io(text) {}
};

// "Seek offset out of range".
class exception_io_seek_out_of_range : public exception_io {
public:
    exception_io_seek_out_of_range() noexcept : exception_io(text_id{"exception_io_seek_out_of_range"}) {}
    explicit exception_io_seek_out_of_range(const char* text) noexcept : exception_io(text) {}
};

// A location no file system handles. "Invalid path".
class exception_io_no_handler_for_path : public exception_io {
public:
    exception_io_no_handler_for_path() noexcept : exception_io(text_id{"exception_io_no_handler_for_path"}) {}
    explicit exception_io_no_handler_for_path(const char* text) noexcept : exception_io(text) {}
};

// "Unknown length".
class exception_io_no_length : public exception_io {
public:
    exception_io_no_length() noexcept : exception_io(text_id{"exception_io_no_length"}) {}
    explicit exception_io_no_length(const char* text) noexcept : exception_io(text) {}
};

// "Object is not seekable".
class exception_io_object_not_seekable : public exception_io {
public:
    exception_io_object_not_seekable() noexcept : exception_io(text_id{"exception_io_object_not_seekable"}) {}
    explicit exception_io_object_not_seekable(const char* text) noexcept : exception_io(text) {}
};

// "This operation is not supported on remote objects".
class exception_io_object_is_remote : public exception_io {
public:
    exception_io_object_is_remote() noexcept : exception_io(text_id{"exception_io_object_is_remote"}) {}
    explicit exception_io_object_is_remote(const char* text) noexcept : exception_io(text) {}
};

// The base of the coded I/O error; never thrown by itself. Its text is that of "exception_io".
class exception_io_win32 : public exception_io {
public:
    exception_io_win32() noexcept : exception_io(text_id{"exception_io"}) {}
};

// An I/O error reported by a Win32 code that no other kind covers. Its text is the language-table text
// of "exception_io_with_code" with "{code}" replaced by the decimal code ("I/O error #1234"); the base part
// keeps the text of "exception_io".
class exception_io_win32_ex : public exception_io_win32 {
public:
    explicit exception_io_win32_ex(uint32_t code) noexcept;

    const char* what() const noexcept override { return m_coded_message.c_str(); }
    uint32_t code() const noexcept { return m_code; }

private:
    kpl::exception_message m_coded_message;
    uint32_t m_code;
};

inline exception_io_win32_ex exception_io::construct_with_code(uint32_t code) noexcept {
    return exception_io_win32_ex(code);
}

// The user (or the program) cancelled the operation. "User abort", never looked up. Not an exception_io.
class exception_aborted : public kpl::exception_with_message {
public:
    exception_aborted() noexcept : exception_with_message("User abort") {}
    explicit exception_aborted(const char* text) noexcept : exception_with_message(text) {}
};

}  // namespace ketrel_io

// Throws the ketrel_io kind that reports the Win32 error `code` (table above).
[[noreturn]] void throw_win32_io_error(uint32_t code);
