// The picture commands of vorn-inspect, over the album-art services as the player uses them.
//
// vorn-inspect art PATH KIND OUT: writes the embedded picture of that kind to the file OUT. KIND is a name
// (front, back, disc, icon, artist, other) or a picture type number (3 front, 4 back, 6 disc, 1 or 2 icon,
// 7, 8 or 10 artist, 0 other). A file without that picture fails with "Attached picture not found".
//
// vorn-inspect art-write PATH KIND [PICTURE]: stores the picture file PICTURE as the picture of that kind,
// or removes the kind when no PICTURE is given, and commits.
#include <cstdlib>

#include "foundation/fs/file_system.h"
#include "foundation/fs/open_mode.h"
#include "foundation/fs/path_lock.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/album_art.h"
#include "metadata/tags/id3v2_tag_io.h"
#include "tools/inspect/inspect_command.h"

namespace {

void ensure_service_table() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

kpl::utf8_string_tight location_of(const char* argument) {
    kpl::utf8_string_tight location("file://");
    location << inspect_path(argument);
    return location;
}

kpl::guid parse_kind(const char* text) {
    static const struct {
        const char* name;
        kpl::guid kind;
    } names[] = {{"front", album_art_kind_front}, {"back", album_art_kind_back},     {"disc", album_art_kind_disc},
                 {"icon", album_art_kind_icon},   {"artist", album_art_kind_artist}, {"other", album_art_kind_other}};
    for (const auto& n : names)
        if (kpl::stricmp_ascii(text, n.name) == 0) return n.kind;
    char* end = nullptr;
    unsigned long type = std::strtoul(text, &end, 10);
    kpl::guid kind;
    if (*text && !*end && text[0] != '-' && type < 256 && picture_type_to_album_art_kind(type, kind)) return kind;
    kpl::utf8_string_pow2 message("bad KIND: ");
    message << text;
    throw kpl::exception_invalid_params(message.c_str());
}

int run_art(const inspect_arguments& args, inspect_output&) {
    args.expect(3);
    ensure_service_table();
    kpl::utf8_string_tight location = location_of(args.required(0, "PATH"));
    const kpl::guid kind = parse_kind(args.required(1, "KIND"));
    kpl::utf8_string_tight output = location_of(args.required(2, "OUT"));
    service_ptr<album_art_reader> reader;
    album_art_open_reader(reader, file_stream_ref(), location.c_str(), abort_never);
    service_ptr<album_art_data> picture = reader->get(kind, abort_never);
    file_stream_ref target;
    file_system_open(target, output.c_str(), open_mode_create, abort_never);
    target->write(picture->get_data(), picture->get_size(), abort_never);
    return 0;
}

int run_art_write(const inspect_arguments& args, inspect_output&) {
    args.expect(3);
    ensure_service_table();
    kpl::utf8_string_tight location = location_of(args.required(0, "PATH"));
    const kpl::guid kind = parse_kind(args.required(1, "KIND"));
    service_ref lock;
    path_lock_manager::acquire_exclusive(lock, location.c_str(), abort_never);
    service_ptr<album_art_writer> writer;
    album_art_open_writer(writer, file_stream_ref(), location.c_str(), abort_never);
    if (args.positional.count() > 2) {
        file_stream_ref source;
        file_system_open_read(source, location_of(args.positional[2].c_str()).c_str(), abort_never);
        uint64_t size = source->get_size(abort_never);
        if (size > 0x7FFFFFFF) throw kpl::exception_overflow();
        kpl::byte_array bytes;
        bytes.resize_exact(static_cast<uint32_t>(size));
        if (source->read(bytes.data(), bytes.count(), abort_never) != bytes.count()) throw ketrel_io::exception_io_data();
        writer->set(kind, album_art_data_make(bytes.data(), bytes.count()), abort_never);
    } else {
        writer->remove(kind);
    }
    writer->commit(abort_never);
    return 0;
}

inspect_command g_art("art", "PATH KIND OUT", "writes the embedded picture of a kind (name or picture type) to OUT",
                      &run_art);
inspect_command g_art_write("art-write", "PATH KIND [PICTURE]",
                            "stores PICTURE as the embedded picture of a kind, or removes the kind", &run_art_write);

}  // namespace
