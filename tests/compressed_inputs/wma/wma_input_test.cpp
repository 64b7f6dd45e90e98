#include <doctest/doctest.h>

#include "compressed_inputs/wma/wma_input.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"

TEST_CASE("WMA input: local wma, wmv and asf files by extension only; remote paths refused before any loading") {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    input_service& input = wma_input_service();
    struct row {
        const char* path;
        const char* extension;
        bool accepted;
    };
    const row rows[] = {
        {"file://C:\\Music\\a.wma", "wma", true},  {"file://C:\\Music\\a.WMA", "WMA", true},
        {"file://C:\\Music\\a.wmv", "wmv", true},  {"file://C:\\Music\\a.Asf", "Asf", true},
        {"file://C:\\Music\\a.mp3", "mp3", false}, {"file://C:\\Music\\a.wmax", "wmax", false},
        {"http://example.com/a.wma", "wma", false}, {"mms://example.com/a.asf", "asf", false},
    };
    for (const row& r : rows) {
        CAPTURE(r.path);
        CHECK(input.accepts_extension(r.path, r.extension) == r.accepted);
    }
    CHECK_FALSE(input.accepts_content_type("audio/x-ms-wma"));
    CHECK_FALSE(input.accepts_content_type("video/x-ms-asf"));

    service_ptr<track_info_reader> reader;
    CHECK_THROWS_AS(input.open_info_reader(reader, file_stream_ref(), "http://example.com/a.wma", abort_never),
                    ketrel_io::exception_io_object_is_remote);
    CHECK_THROWS_AS(input.open_info_reader(reader, file_stream_ref(), "file://C:\\no such folder\\a.wma", abort_never),
                    ketrel_io::exception_io);
    CHECK(!reader.get());
}
