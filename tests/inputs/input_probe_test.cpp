// Probing over a table of fake inputs: content type before extension, the candidate rules, the facet each
// entry point asks for, skipping flagged inputs, and the writer's retry while the file is in use.
#include <doctest/doctest.h>

#include <cstring>
#include <memory>
#include <vector>
#include <string>
#include <typeinfo>

#include "foundation/fs/memory_file.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/tick_timer.h"
#include "inputs/input_probe.h"
#include "inputs/mime_type.h"
#include "metadata/track_info.h"
#include "tests/inputs/input_test_support.h"

namespace {

using input_test::counting_file;

class specific_data_error : public ketrel_io::exception_io_data {
public:
    specific_data_error() : exception_io_data("specific damage") {}
};

// What a fake input does when asked to open.
enum class outcome { open, unsupported, data_error, data_error_b, specific, not_found, sharing };

// A facet that tells which input made it and for which facet.
class fake_facet final : public service_counted<track_info_writer> {
public:
    fake_facet(const char* input, const char* facet) : made_by(input), kind(facet) {}
    uint32_t subsong_count() override { return 1; }
    uint32_t subsong_id(uint32_t) override { return 0; }
    void get_info(uint32_t, track_info&, const abort_signal&) override {}
    file_stats get_file_stats(const abort_signal&) override { return file_stats(); }
    void stage_info(uint32_t, const track_info&, const abort_signal&) override {}
    void commit_info(const abort_signal&) override {}
    std::string made_by, kind;
};

class fake_input final : public service_static<input_service> {
public:
    fake_input(const char* name, const char* content_type, const char* extension, outcome result, uint32_t flags = 0)
        : m_name(name), m_type(content_type), m_extension(extension), m_result(result), m_flags(flags) {}

    bool accepts_content_type(const char* type) override { return *m_type && mime_type_matches(type, m_type); }
    bool accepts_extension(const char*, const char* extension) override {
        return _stricmp(extension, m_extension) == 0;
    }
    void open_decoder(service_ptr<track_decoder>&, file_stream_ref file, const char* path,
                      const abort_signal& abort) override {
        opened(file, path, abort, "decoder");
        throw kpl::exception_bug_check("a decoder is never asked for here");
    }
    void open_info_reader(service_ptr<track_info_reader>& out, file_stream_ref file, const char* path,
                          const abort_signal& abort) override {
        fake_facet* facet = opened(file, path, abort, "reader");
        service_ref r;
        r.attach(static_cast<track_info_reader*>(facet));
        out.attach_ref(std::move(r));
    }
    void open_info_writer(service_ptr<track_info_writer>& out, file_stream_ref file, const char* path,
                          const abort_signal& abort) override {
        fake_facet* facet = opened(file, path, abort, "writer");
        service_ref r;
        r.attach(static_cast<track_info_writer*>(facet));
        out.attach_ref(std::move(r));
    }
    uint32_t get_input_flags() override { return m_flags; }

    int attempts = 0;

private:
    fake_facet* opened(file_stream_ref, const char*, const abort_signal& abort, const char* kind) {
        abort.check();
        ++attempts;
        switch (m_result) {
        case outcome::open: return new fake_facet(m_name, kind);
        case outcome::unsupported: throw ketrel_io::exception_io_unsupported_format();
        case outcome::data_error: throw ketrel_io::exception_io_data("damage seen by A");
        case outcome::data_error_b: throw ketrel_io::exception_io_data("damage seen by B");
        case outcome::specific: throw specific_data_error();
        case outcome::not_found: throw ketrel_io::exception_io_not_found();
        case outcome::sharing: throw ketrel_io::exception_io_sharing_violation();
        }
        return nullptr;
    }

    const char* m_name;
    const char* m_type;
    const char* m_extension;
    outcome m_result;
    uint32_t m_flags;
};

// A private table of fake inputs.
class fake_inputs {
public:
    fake_inputs& add(const char* name, const char* type, const char* extension, outcome result, uint32_t flags = 0) {
        m_inputs.push_back(std::unique_ptr<service_factory_single<fake_input, input_service>>(
            new service_factory_single<fake_input, input_service>(m_list, name, type, extension, result, flags)));
        return *this;
    }
    input_probe probe() {
        m_table.build(m_list);
        return input_probe(m_table.find(input_service::class_guid));
    }
    fake_input& input(size_t i) { return m_inputs[i]->instance(); }

private:
    service_factory_list m_list;
    std::vector<std::unique_ptr<service_factory_single<fake_input, input_service>>> m_inputs;
    service_table m_table;
};

const char* reader_made_by(service_ptr<track_info_reader>& reader) {
    return static_cast<fake_facet*>(static_cast<track_info_writer*>(reader.get()))->made_by.c_str();
}

}  // namespace

TEST_CASE("probing picks the input by content type, else by extension") {
    struct row {
        const char* what;
        const char* content_type;  // "" for a file without one (or no file at all)
        const char* path;
        const char* expected;      // the input that opens, or "unsupported"
    };
    const row rows[] = {
        {"extension, no file", "", "file://C:\\m\\a.FLAC", "flac"},
        {"extension after a subsong mark", "", "file://C:\\m\\a.wav?2", "wav"},
        {"no extension, no content type", "", "file://C:\\m\\noext", "unsupported"},
        {"dot only in the folder", "", "file://C:\\m.flac\\noext", "unsupported"},
        {"content type with parameters and capitals", "Audio/X-FLAC ; rate=44100", "file://C:\\m\\a.wav", "flac"},
        {"content type wins even when the extension names another input", "audio/ogg", "file://C:\\m\\a.flac", "ogg"},
        {"a content type no input takes falls back to the extension", "audio/wav", "file://C:\\m\\a.wav", "wav"},
        {"a longer type is another type", "audio/oggx", "file://C:\\m\\x.flac", "flac"},
    };
    fake_inputs inputs;
    inputs.add("flac", "audio/x-flac", "flac", outcome::open)
        .add("ogg", "audio/ogg", "ogg", outcome::open)
        .add("wav", "", "wav", outcome::open);
    input_probe probe = inputs.probe();
    for (const row& r : rows) {
        CAPTURE(r.what);
        file_stream_ref file;
        if (*r.content_type) {
            kpl::rc_ptr<counting_file> typed = counting_file::wrap(memory_file::create(), true);
            typed->content_type = r.content_type;
            file = typed;
        }
        service_ptr<track_info_reader> reader;
        if (std::strcmp(r.expected, "unsupported") == 0) {
            CHECK_THROWS_AS(probe.open_info_reader(reader, file, r.path, abort_never, false),
                            ketrel_io::exception_io_unsupported_format);
        } else {
            probe.open_info_reader(reader, file, r.path, abort_never, false);
            CHECK(std::string(reader_made_by(reader)) == r.expected);
        }
    }
}

TEST_CASE("several candidates: what their failures add up to") {
    struct row {
        const char* what;
        outcome first, second;
        const char* expected;     // "open:NAME", or the exception's text
        const std::type_info* type;
    };
    const ketrel_io::exception_io_data default_data;
    const row rows[] = {
        {"one unsupported, one opens", outcome::unsupported, outcome::open, "open:B", nullptr},
        {"one data error, one opens", outcome::data_error, outcome::open, "open:B", nullptr},
        {"two data errors give the default text", outcome::data_error, outcome::data_error_b, default_data.what(),
         &typeid(ketrel_io::exception_io_data)},
        {"one data error and one unsupported keep its text", outcome::data_error, outcome::unsupported,
         "damage seen by A", &typeid(ketrel_io::exception_io_data)},
        {"a specific data error among several is reduced to plain data", outcome::specific, outcome::unsupported,
         "specific damage", &typeid(ketrel_io::exception_io_data)},
        {"both unsupported", outcome::unsupported, outcome::unsupported, "",
         &typeid(ketrel_io::exception_io_unsupported_format)},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        fake_inputs inputs;
        inputs.add("A", "", "x", r.first).add("B", "", "x", r.second);
        input_probe probe = inputs.probe();
        service_ptr<track_info_reader> reader;
        if (std::strncmp(r.expected, "open:", 5) == 0) {
            probe.open_info_reader(reader, file_stream_ref(), "C:\\a.x", abort_never, false);
            CHECK(std::string(reader_made_by(reader)) == r.expected + 5);
            continue;
        }
        try {
            probe.open_info_reader(reader, file_stream_ref(), "C:\\a.x", abort_never, false);
            FAIL("probing succeeded");
        } catch (const std::exception& e) {
            CHECK(typeid(e) == *r.type);
            if (*r.type != typeid(ketrel_io::exception_io_unsupported_format)) CHECK(std::string(e.what()) == r.expected);
        }
    }
}

TEST_CASE("a single candidate's exception and non-data exceptions pass unchanged") {
    {
        fake_inputs inputs;
        inputs.add("A", "", "x", outcome::specific);
        service_ptr<track_info_reader> reader;
        CHECK_THROWS_AS(inputs.probe().open_info_reader(reader, file_stream_ref(), "a.x", abort_never, false),
                        specific_data_error);
    }
    for (outcome stop : {outcome::not_found, outcome::sharing}) {
        fake_inputs inputs;
        inputs.add("A", "", "x", stop).add("B", "", "x", stop);
        service_ptr<track_info_reader> reader;
        input_probe probe = inputs.probe();
        CHECK_THROWS_AS(probe.open_info_reader(reader, file_stream_ref(), "a.x", abort_never, false),
                        ketrel_io::exception_io);
        // The first failure ended probing: only one of the two was tried.
        CHECK(inputs.input(0).attempts + inputs.input(1).attempts == 1);
    }
    {
        fake_inputs inputs;
        inputs.add("A", "", "x", outcome::open);
        service_ptr<track_info_reader> reader;
        input_test::abort_after_checks aborted(0);
        CHECK_THROWS_AS(inputs.probe().open_info_reader(reader, file_stream_ref(), "a.x", aborted, false),
                        ketrel_io::exception_aborted);
    }
}

TEST_CASE("each entry point opens its own facet; flagged inputs are skipped only when asked") {
    fake_inputs inputs;
    inputs.add("skippable", "", "x", outcome::open, input_service::flag_skippable);
    input_probe probe = inputs.probe();
    service_ptr<track_info_writer> writer;
    probe.open_info_writer(writer, file_stream_ref(), "a.x", abort_never, false);
    CHECK(static_cast<fake_facet*>(writer.get())->kind == "writer");
    service_ptr<track_info_reader> reader;
    probe.open_info_reader(reader, file_stream_ref(), "a.x", abort_never, false);
    CHECK(static_cast<fake_facet*>(static_cast<track_info_writer*>(reader.get()))->kind == "reader");
    CHECK_THROWS_AS(probe.open_info_reader(reader, file_stream_ref(), "a.x", abort_never, true),
                    ketrel_io::exception_io_unsupported_format);
}

TEST_CASE("the writer entry point waits out a file in use, up to its time-out") {
    fake_inputs inputs;
    inputs.add("busy", "", "x", outcome::sharing);
    input_probe probe = inputs.probe();
    service_ptr<track_info_writer> writer;
    tick_timer timer;
    timer.start();
    CHECK_THROWS_AS(input_open_info_writer_ex(probe, writer, file_stream_ref(), "a.x", abort_never, 0.5, false),
                    ketrel_io::exception_io_sharing_violation);
    const double elapsed = timer.query_seconds();
    CHECK(elapsed >= 0.5);
    CHECK(elapsed < 2.0);
    CHECK(inputs.input(0).attempts > 5);

    // An abort ends the wait at once.
    input_test::abort_after_checks aborted(3);
    CHECK_THROWS_AS(input_open_info_writer_ex(probe, writer, file_stream_ref(), "a.x", aborted, 10.0, false),
                    ketrel_io::exception_aborted);

    // Other failures are not retried.
    fake_inputs other;
    other.add("gone", "", "x", outcome::not_found);
    input_probe gone = other.probe();
    CHECK_THROWS_AS(input_open_info_writer_ex(gone, writer, file_stream_ref(), "a.x", abort_never, 10.0, false),
                    ketrel_io::exception_io_not_found);
    CHECK(other.input(0).attempts == 1);
}
