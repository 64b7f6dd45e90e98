// vorn-inspect tags PATH: the fields of a file's leading ID3v2 tag and its trailing APEv2 and ID3v1 tags,
// merged as the tag readers merge them (the ID3v2 fields when there is such a tag, else the trailing
// ones), whatever the file's format:
//     meta artist=A
//     meta artist=B
//     replaygain track_gain=-6.20 dB
//     info tagtype=id3v2.3|apev2
// A file without tags prints nothing.
//
// vorn-inspect tags-write PATH FIELD=VALUE... --id3v2 [--ape] [--id3v1]: updates the fields and writes the
// tags named (the others are removed), keeping every other field and frame. A repeated field gets several
// values in that order; an empty value removes the field; the first '=' separates name and value. The
// file is rewritten through a temporary file beside it when its front changes size.
#include <cstring>

#include "foundation/fs/file_system.h"
#include "foundation/fs/open_mode.h"
#include "foundation/fs/path_lock.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string_array.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/safe_rewrite.h"
#include "metadata/replaygain.h"
#include "metadata/tags/tag_exceptions.h"
#include "metadata/tags/tag_file_ops.h"
#include "tools/inspect/inspect_command.h"

namespace {

// The tag operations look their services up in the program's class table.
void ensure_service_table() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

kpl::utf8_string_tight location_of(const char* argument) {
    kpl::utf8_string_tight location("file://");
    location << inspect_path(argument);
    return location;
}

void read_tags(file_stream& file, track_info& info) {
    try {
        read_id3v2_and_trailing_tags(file, info, abort_never);
    } catch (const exception_tag_not_found&) {
        info.meta_remove_all();
    }
}

void print_info(const track_info& info, inspect_output& out) {
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        for (uint32_t j = 0; j < info.meta_value_count(i); ++j) {
            kpl::utf8_string_pow2 line("meta ");
            line << info.meta_name(i) << "=" << info.meta_value(i, j);
            out.line(line.c_str());
        }
    }
    replaygain_values rg = info.get_replaygain();
    char text[replaygain_peak_text_size];
    const char* names[4] = {"track_gain", "track_peak", "album_gain", "album_peak"};
    for (int k = 0; k < 4; ++k) {
        bool present = k == 0   ? replaygain_gain_to_text(text, rg.track_gain)
                       : k == 1 ? replaygain_peak_to_text(text, rg.track_peak)
                       : k == 2 ? replaygain_gain_to_text(text, rg.album_gain)
                                : replaygain_peak_to_text(text, rg.album_peak);
        if (!present) continue;
        kpl::utf8_string_pow2 line("replaygain ");
        line << names[k] << "=" << text;
        out.line(line.c_str());
    }
    for (uint32_t i = 0; i < info.info_count(); ++i) {
        kpl::utf8_string_pow2 line("info ");
        line << info.info_name(i) << "=" << info.info_value(i);
        out.line(line.c_str());
    }
}

int run_tags(const inspect_arguments& args, inspect_output& out) {
    args.expect(1);
    ensure_service_table();
    kpl::utf8_string_tight location = location_of(args.required(0, "PATH"));
    file_stream_ref file;
    file_system_open(file, location.c_str(), open_mode_read, abort_never);
    track_info_store info;
    read_tags(*file, info);
    print_info(info, out);
    return 0;
}

// "replaygain_track_gain" and the other three set the ReplayGain record (an empty value removes one); true
// when the name was one of them.
bool set_replaygain_field(track_info& info, const char* name, const char* value) {
    replaygain_values rg = info.get_replaygain();
    if (*value) {
        if (!replaygain_parse_field(name, value, replaygain_values::npos, rg)) return false;
    } else if (kpl::stricmp_ascii(name, replaygain_field_album_gain) == 0) {
        rg.album_gain = replaygain_values::gain_invalid;
    } else if (kpl::stricmp_ascii(name, replaygain_field_track_gain) == 0) {
        rg.track_gain = replaygain_values::gain_invalid;
    } else if (kpl::stricmp_ascii(name, replaygain_field_album_peak) == 0) {
        rg.album_peak = replaygain_values::peak_invalid;
    } else if (kpl::stricmp_ascii(name, replaygain_field_track_peak) == 0) {
        rg.track_peak = replaygain_values::peak_invalid;
    } else {
        return false;
    }
    info.set_replaygain(rg);
    return true;
}

void remove_meta_field(track_info& info, const char* name) {
    for (int32_t field; (field = info.meta_find(name)) >= 0;) {
        kpl::bit_array mask(info.meta_count());
        mask.set(static_cast<uint32_t>(field), true);
        info.meta_remove_mask(mask);
    }
}

int run_tags_write(const inspect_arguments& args, inspect_output&) {
    static const char* const known[] = {"id3v2", "ape", "id3v1", nullptr};
    args.expect(0xFFFFFFFF, known);
    uint32_t flags = (args.has_option("id3v2") ? tag_flag_id3v2 : 0) | (args.has_option("ape") ? tag_flag_apev2 : 0) |
                     (args.has_option("id3v1") ? tag_flag_id3v1 : 0);
    if (flags == 0) throw kpl::exception_invalid_params("name the tags to write: --id3v2, --ape, --id3v1");
    ensure_service_table();
    kpl::utf8_string_tight location = location_of(args.required(0, "PATH"));

    service_ref lock;
    path_lock_manager::acquire_exclusive(lock, location.c_str(), abort_never);
    file_stream_ref file;
    file_system_open(file, location.c_str(), open_mode_modify, abort_never);
    track_info_store info;
    read_tags(*file, info);

    // The fields named on the command line are replaced by the values given there.
    kpl::string_array replaced;
    for (uint32_t i = 1; i < args.positional.count(); ++i) {
        const char* assignment = args.positional[i].c_str();
        const char* eq = std::strchr(assignment, '=');
        if (!eq || eq == assignment) throw kpl::exception_invalid_params("expected FIELD=VALUE");
        kpl::utf8_string_tight name(assignment, static_cast<uint32_t>(eq - assignment));
        const char* value = eq + 1;
        if (set_replaygain_field(info, name.c_str(), value)) continue;
        bool seen = false;
        for (uint32_t k = 0; k < replaced.count() && !seen; ++k) seen = kpl::stricmp_ascii(replaced[k].c_str(), name.c_str()) == 0;
        if (!seen) {
            remove_meta_field(info, name.c_str());
            replaced.append(name);
        }
        if (!*value) continue;
        int32_t field = info.meta_find(name.c_str());
        if (field < 0) {
            info.meta_add(name.c_str(), track_info::npos, value, track_info::npos);
        } else {
            info.meta_add_value(value, static_cast<uint32_t>(field));
        }
    }

    safe_rewrite rewrite(location.c_str());
    try {
        trailing_tags_write(rewrite, *file, flags, info, abort_never);
        rewrite.commit(file, abort_never);
    } catch (...) {
        rewrite.cancel();
        throw;
    }
    return 0;
}

inspect_command g_tags("tags", "PATH", "prints the fields of the file's ID3v2, APEv2 and ID3v1 tags", &run_tags);
inspect_command g_tags_write("tags-write", "PATH FIELD=VALUE... --id3v2 [--ape] [--id3v1]",
                             "updates fields and writes the tags named, removing the others", &run_tags_write);

}  // namespace
