#pragma once
// Album pictures embedded in media files: the picture kinds, the reader and writer services, and the
// editor that keeps a file's pictures in a map between opening and commit.
//
//     service_ptr<album_art_reader> reader;
//     album_art_open_reader(reader, file_stream_ref(), "file://C:\\Music\\a.ogg", abort);  // by extension
//     service_ptr<album_art_data> front = reader->get(album_art_kind_front, abort);
//     // front->get_data(), front->get_size(): the picture file's bytes (PNG, JPEG, ...)
//
//     service_ptr<album_art_writer> writer;
//     album_art_open_writer(writer, file_stream_ref(), path, abort);
//     writer->set(album_art_kind_back, album_art_data_make(bytes, n), abort);
//     writer->commit(abort);
//
// Kinds and the picture type numbers of ID3v2 "APIC" frames and FLAC picture blocks:
//     front 3, back 4, disc 6, icon 2 (read from 1 and 2), artist 8 (read from 7, 8, 10);
//     the null GUID stands for type 0 ("other"), which is read but never written.
// A reader of a file without pictures, or get of a missing kind: exception_album_art_not_found
// "Attached picture not found". set of a kind the format cannot store: exception_album_art_unsupported_entry
// "Unsupported attached picture entry". commit on a reader: kpl::exception_not_implemented.

#include <cstddef>
#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"

constexpr kpl::guid album_art_kind_front = {0xF1E66F4E, 0xFE09, 0x4B94, {0x91, 0xA3, 0x67, 0xC2, 0x3E, 0xD1, 0x44, 0x5E}};
constexpr kpl::guid album_art_kind_back = {0xCB552D19, 0x86D5, 0x434C, {0xAC, 0x77, 0xBB, 0x24, 0xED, 0x56, 0x7E, 0xE4}};
constexpr kpl::guid album_art_kind_disc = {0x3DBA9F36, 0xF928, 0x4FA4, {0x87, 0x9C, 0xD3, 0x40, 0x47, 0x59, 0x58, 0x7E}};
constexpr kpl::guid album_art_kind_icon = {0x74CDF5B4, 0x7053, 0x4B3D, {0x9A, 0x3C, 0x54, 0x69, 0xF5, 0x82, 0x6E, 0xEC}};
constexpr kpl::guid album_art_kind_artist = {0x9A654042, 0xACD1, 0x43F7, {0xBF, 0xCF, 0xD3, 0xEC, 0x0F, 0xFE, 0x40, 0xFA}};
constexpr kpl::guid album_art_kind_other = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// The type number a kind is written as; false for the null GUID and every other GUID.
bool album_art_kind_to_picture_type(const kpl::guid& kind, uint32_t& type);

class exception_album_art_not_found : public ketrel_io::exception_io_not_found {
public:
    exception_album_art_not_found() noexcept : exception_io_not_found("Attached picture not found") {}
};

class exception_album_art_unsupported_entry : public ketrel_io::exception_io_data {
public:
    exception_album_art_unsupported_entry() noexcept : exception_io_data("Unsupported attached picture entry") {}
};

// The bytes of one picture.
class album_art_data : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x9DDCE05C, 0xAA3F, 0x4565, {0xB3, 0x3A, 0xBD, 0x6A, 0xDC, 0xDD, 0x90, 0x37}};
    virtual const void* get_data() const = 0;
    virtual size_t get_size() const = 0;
};

// A new picture object holding a copy of the bytes.
service_ptr<album_art_data> album_art_data_make(const void* data, size_t size);

class album_art_reader : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xF673700E, 0x3B6E, 0x4F70, {0xA1, 0x06, 0xAB, 0x74, 0x5C, 0x20, 0x20, 0x60}};
    virtual service_ptr<album_art_data> get(const kpl::guid& kind, const abort_signal& abort) = 0;
};

class album_art_writer : public album_art_reader {
public:
    static constexpr kpl::guid class_guid = {0x642A2AE1, 0x2259, 0x48F5, {0xAB, 0xDC, 0x63, 0xED, 0x4E, 0xB5, 0x90, 0x76}};
    using parent_interface = album_art_reader;
    virtual void set(const kpl::guid& kind, const service_ptr<album_art_data>& data, const abort_signal& abort) = 0;
    virtual bool remove(const kpl::guid& kind) = 0;
    virtual void commit(const abort_signal& abort) = 0;
};

class album_art_writer_v2 : public album_art_writer {
public:
    static constexpr kpl::guid class_guid = {0xCF0F46CA, 0xE34A, 0x4BE7, {0xAF, 0x40, 0x0F, 0x31, 0x5C, 0xA1, 0x23, 0x98}};
    using parent_interface = album_art_writer;
    virtual void remove_all() = 0;
};

class album_art_reader_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xE19CA3D3, 0x6267, 0x4271, {0xB7, 0x89, 0x6A, 0x3F, 0x87, 0xFB, 0x3E, 0xBF}};
    virtual bool accepts_extension(const char* path, const char* extension) = 0;
    virtual void open(service_ptr<album_art_reader>& out, file_stream_ref file, const char* path,
                      const abort_signal& abort) = 0;
};

class album_art_writer_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x36B34487, 0xD7B9, 0x4533, {0xA7, 0x3F, 0x39, 0x6E, 0x2D, 0x9F, 0x41, 0x5E}};
    virtual bool accepts_extension(const char* path, const char* extension) = 0;
    virtual void open(service_ptr<album_art_writer>& out, file_stream_ref file, const char* path,
                      const abort_signal& abort) = 0;
};

// Pictures by kind, ordered by the kind GUID's bytes; setting a kind again replaces its picture.
class album_art_map {
public:
    struct entry {
        kpl::guid kind;
        service_ptr<album_art_data> data;
    };
    void set(const kpl::guid& kind, const service_ptr<album_art_data>& data);
    bool remove(const kpl::guid& kind);
    const entry* find(const kpl::guid& kind) const;
    void clear() { m_entries.clear(); }
    uint32_t count() const { return m_entries.count(); }
    const entry& operator[](uint32_t i) const { return m_entries[i]; }

private:
    kpl::array<entry> m_entries;
};

// What an editor needs of one file type.
class album_art_format {
public:
    virtual ~album_art_format() = default;
    virtual void read_pictures(file_stream_ref& file, album_art_map& out, const abort_signal& abort) = 0;
    virtual void write_pictures(file_stream_ref& file, const char* path, const album_art_map& pictures,
                                const abort_signal& abort) = 0;
    virtual bool is_supported_kind(const kpl::guid& kind) { (void)kind; return true; }
};

// Opens the editor over a file: for reading (no pictures: exception_album_art_not_found) or for writing
// (the file opened for modification and kept). `format` must outlive the editor (a static object).
void album_art_editor_open_reader(service_ptr<album_art_reader>& out, album_art_format& format,
                                  file_stream_ref file, const char* path, const abort_signal& abort);
void album_art_editor_open_writer(service_ptr<album_art_writer>& out, album_art_format& format,
                                  file_stream_ref file, const char* path, const abort_signal& abort);

// The first registered reader (writer) service that takes the path's extension opens it; none:
// ketrel_io::exception_io_unsupported_format.
void album_art_open_reader(service_ptr<album_art_reader>& out, file_stream_ref file, const char* path,
                           const abort_signal& abort);
void album_art_open_writer(service_ptr<album_art_writer>& out, file_stream_ref file, const char* path,
                           const abort_signal& abort);
