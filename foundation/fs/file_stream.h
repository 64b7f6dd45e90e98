#pragma once
// file_stream: an open file of any file system, with a position, read through its byte_source face and
// written through its byte_sink face.
//
//   file_stream_ref f;
//   file_system_open(f, "file://C:\\Music\\a.flac", open_mode_read, abort);
//   uint64_t size = f->get_size(abort);          // file_size_unknown when the object cannot tell
//   f->seek(size - 128, abort);                  // beyond the size: exception_io_seek_out_of_range
//   char tag[128];
//   f->read_exact(tag, 128, abort);
//   f->seek_from(-10, seek_origin_end, abort);   // 10 bytes before the end
//
// Files are reference-counted (interlocked), so a reference may be handed to another thread, but one
// object is used by one thread at a time: its position is not protected. Two opens of one file have
// independent positions. The object goes when its last reference is released.

#include <cstdint>

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"

enum seek_origin : int { seek_origin_start = 0, seek_origin_current = 1, seek_origin_end = 2 };

class file_stream : public service_object, public byte_source, public byte_sink {
public:
    // query answers this GUID only.
    static constexpr kpl::guid class_guid = {0xB2F9FC40, 0x3E55, 0x4B23, {0xA2, 0xC9, 0x22, 0xBA, 0xAD, 0x87, 0x95, 0xB1}};

    // The size in bytes; file_size_unknown when the object cannot tell.
    virtual uint64_t get_size(const abort_signal& abort) = 0;
    virtual uint64_t get_position(const abort_signal& abort) = 0;
    // Cuts or extends the file; a position beyond the new end moves to it. Read-only objects refuse with
    // ketrel_io::exception_io_denied.
    virtual void resize(uint64_t size, const abort_signal& abort) = 0;
    // Moves to an absolute position; beyond the end gives ketrel_io::exception_io_seek_out_of_range.
    virtual void seek(uint64_t position, const abort_signal& abort) = 0;
    // Moves relative to the start (0), the current position (1) or the end (2). The target is an unsigned
    // 64-bit sum, so one before the start is a huge position that seek rejects. At the end of an object of
    // unknown size: ketrel_io::exception_io_no_length; another origin: ketrel_io::exception_io_data.
    //     f->seek_from(-4, seek_origin_current, abort);   // 4 bytes back
    virtual void seek_from(int64_t offset, int origin, const abort_signal& abort);
    virtual bool can_seek() = 0;
    // The MIME type when the object knows one; false otherwise.
    virtual bool get_content_type(kpl::utf8_string& out) = 0;
    virtual bool is_in_memory() = 0;
    // Called by long-lived readers between their work; lets an object release what it holds.
    virtual void on_idle(const abort_signal& abort) = 0;
    // FILETIME of the last write; file_timestamp_unknown (0) when the object cannot tell.
    virtual uint64_t get_timestamp(const abort_signal& abort) = 0;
    // seek (0).
    virtual void rewind(const abort_signal& abort);
    virtual bool is_remote() = 0;

    // A seekable file of known size skips more than 1024 bytes with a seek forward by
    // min (n, size - position); other skips read and discard.
    uint64_t skip(uint64_t n, const abort_signal& abort) override;

protected:
    file_stream() = default;
    virtual ~file_stream() = default;
};

// A counted reference to a file. File objects derive from service_counted<file_stream> and are made
// with the count at 1, which a new reference adopts:
//     file_stream_ref f = file_stream_ref::adopt(new memory_file());
using file_stream_ref = kpl::rc_ptr<file_stream>;
