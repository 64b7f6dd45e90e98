// vorn-inspect format PATH SCRIPT [--subsong N]: the text a title script makes for one track of a file, as
// the player's lists show it: the file's info is read through input probing, digested into the browse
// record a track handle caches, and the script runs over that record and the track's location.
//
//     vorn-inspect format /music/a.flac "[%artist% - ]%title% '('%length%')'"
//     Nina Simone - Sinnerman (10:22)
//
// Subsong 0 unless --subsong gives another. The text is printed as the script makes it (control characters
// and colour codes included), followed by a line feed.
#include <cstdlib>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_probe.h"
#include "metadata/browse_fields.h"
#include "metadata/title_formatting/title_script.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"
#include "tools/inspect/inspect_command.h"

namespace {

uint32_t parse_subsong(const char* text) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (!*text || *end || text[0] == '-' || value > 0xFFFFFFFFUL) {
        kpl::utf8_string_pow2 message("bad --subsong: ");
        message << text;
        throw kpl::exception_invalid_params(message.c_str());
    }
    return static_cast<uint32_t>(value);
}

int run_format(const inspect_arguments& args, inspect_output& out) {
    static const char* const options[] = {"subsong", nullptr};
    args.expect(2, options);
    const char* path = args.required(0, "PATH");
    const char* script_text = args.required(1, "SCRIPT");
    uint32_t subsong = 0;
    if (const char* text = args.option("subsong")) subsong = parse_subsong(text);

    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    kpl::utf8_string_tight location("file://");
    location << inspect_path(path);

    service_ptr<track_info_reader> reader;
    input_open_info_reader(reader, file_stream_ref(), location.c_str(), abort_never, false);
    track_info_store info;
    reader->get_info(subsong, info, abort_never);
    browse_fields_builder record;
    record.fill_from_info(info);

    track_handle_ref handle;
    track_handle_registry::get().get_handle(handle, track_location(location.c_str(), subsong));
    title_script_ref script;
    title_script_compiler::get().compile(script, script_text);
    kpl::utf8_string_pow2 text;
    handle->format_title_from(record, nullptr, text, *script, nullptr);
    out.line(text.c_str());
    return 0;
}

inspect_command g_format("format", "PATH SCRIPT [--subsong N]",
                         "prints the text a title script makes for a track of the file (subsong 0 by default)",
                         &run_format);

}  // namespace
