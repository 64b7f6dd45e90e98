// The fields of a track: built-in fields with their exact texts, the browse fields with their fallbacks,
// the text kinds they write with, and scripts run through track handles.
#include <doctest/doctest.h>

#include <cmath>
#include <limits>
#include <string>

#include "foundation/services/service_registry.h"
#include "metadata/title_formatting/handle_title.h"
#include "metadata/title_formatting/title_field_source.h"
#include "metadata/title_formatting/title_nodes.h"
#include "metadata/title_formatting/title_script.h"
#include "metadata/track_handle.h"

namespace {

// The program's service table, so "file://" paths are shown by the local file system.
void use_program_services() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

// "Artist=A|Album Artist=B" with the browse names.
browse_fields_builder record_of(const std::string& text, float length = 0) {
    browse_fields_builder record;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('|', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        size_t eq = item.find('=');
        int32_t index = browse_field_index(item.substr(0, eq).c_str(), static_cast<uint32_t>(eq));
        REQUIRE(index >= 0);
        record.set(static_cast<uint32_t>(index), item.substr(eq + 1).c_str());
        start = end + 1;
    }
    record.length = length;
    return record;
}

struct run_result {
    std::string text;
    bool truth;
};

run_result format(const char* script, const browse_fields& record, const track_location& location,
                  title_text_filter* filter = nullptr) {
    handle_field_provider fields(record, location);
    // The folded tree, as a compiled script runs it, keeping the truth that a run does not return.
    title_node_ref root = title_compile_nodes(script, static_cast<uint32_t>(std::string(script).size()))->optimise();
    title_eval_context context;
    context.provider = &fields;
    context.filter = filter ? filter : &title_default_filter();
    kpl::utf8_string_pow2 out;
    const bool truth = root->evaluate(&context, out);
    if (!filter) {
        // The public path gives the same text.
        kpl::utf8_string_pow2 again;
        title_compile(script)->run(&fields, again, nullptr);
        CHECK(again == out);
    }
    return {out.c_str(), truth};
}

struct field_case {
    const char* script;
    const char* record;
    float length;
    const char* path;
    uint32_t subsong;
    const char* expected;
    bool truth;
};

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();
const char* const music = "file://C:\\Music\\Rock\\a.b.flac";

const field_case g_field_cases[] = {
    // artist and album artist stand in for each other; track artist only when both differ
    {"%artist%", "Album Artist=AA", 0, music, 0, "AA", true},
    {"%album artist%", "Artist=A", 0, music, 0, "A", true},
    {"%artist%|%album artist%", "Genre=x", 0, music, 0, "?|?", false},
    {"%artist%|%album artist%", "Artist=A|Album Artist=B", 0, music, 0, "A|B", true},
    {"%track artist%", "Artist=A|Album Artist=B", 0, music, 0, "A", true},
    {"%track artist%", "Artist=A|Album Artist=A", 0, music, 0, "?", false},
    {"%track artist%", "Artist=A", 0, music, 0, "?", false},
    {"%track artist%", "Album Artist=B", 0, music, 0, "?", false},
    {"%TRACK ARTIST%", "Artist=A|Album Artist=B", 0, music, 0, "A", true},
    {"[%track artist% - ]%title%", "Artist=A|Album Artist=A|Title=T", 0, music, 0, "T", true},
    {"[%track artist% - ]%title%", "Artist=A|Album Artist=V|Title=T", 0, music, 0, "A - T", true},
    // several values
    {"%artist%", "Artist=A; B", 0, music, 0, "A, B", true},
    {"%genre%", "Genre=Rock; Pop; Jazz", 0, music, 0, "Rock, Pop, Jazz", true},
    {"%title%", "Title=A; B", 0, music, 0, "A, B", true},
    {"%genre%", "Genre=a;b", 0, music, 0, "a;b", true},
    // the reachable browse names; title and track number are the built-in fields
    {"%album%|%discnumber%|%date%", "Album=X|DiscNumber=2|Date=1999", 0, music, 0, "X|2|1999", true},
    {"%ALBUM%", "Album=X", 0, music, 0, "X", true},
    {"%album%", "Artist=A", 0, music, 0, "?", false},
    {"%comment%", "Artist=A", 0, music, 0, "?", false},
    {"%TrackNumber%", "TrackNumber=5", 0, music, 0, "05", true},
    {"%tracknumber%", "TrackNumber=12", 0, music, 0, "12", true},
    {"%tracknumber%", "TrackNumber=1/2", 0, music, 0, "1/2", true},
    {"%tracknumber%", "Title=T", 0, music, 0, "?", false},
    {"[%tracknumber%. ]%title%", "Title=T", 0, music, 0, "T", true},
    // title falls back to the file name, then to the path
    {"%title%", "", 0, music, 0, "a.b", true},
    {"%Title%", "", 0, "file://C:\\Music\\", 0, "C:\\Music\\", true},
    {"%title%", "", 0, "", 0, "", true},
    // lengths
    {"%length%", "", 59.5f, music, 0, "1:00", true},
    {"%length%", "", 59.4f, music, 0, "0:59", true},
    {"%length%", "", 3600.0f, music, 0, "1:00:00", true},
    {"%length%", "", 90061.0f, music, 0, "1d 1:01:01", true},
    {"%length%", "", 0.0f, music, 0, "?", false},
    {"%length%", "", -1.0f, music, 0, "?", false},
    {"%length%", "", nan, music, 0, "?", false},
    {"%length%", "", inf, music, 0, "?", false},
    {"%length_ex%", "", 61.2399f, music, 0, "1:01.240", true},
    {"%length_ex%", "", 59.9996f, music, 0, "1:00.000", true},
    {"%length_ex%", "", 0.0f, music, 0, "?", false},
    {"%length_seconds%", "", 59.5f, music, 0, "60", true},
    {"%length_seconds%", "", 0.0f, music, 0, "?", false},
    // paths and subsongs
    {"%path%", "", 0, music, 0, "C:\\Music\\Rock\\a.b.flac", true},
    {"%path%", "", 0, "", 0, "n/a", true},
    {"%path%", "", 0, "unknown://x/y.ogg", 0, "unknown://x/y.ogg", true},
    {"%filename%", "", 0, music, 0, "a.b", true},
    {"%FileName%", "", 0, "file://C:\\Music\\.hidden", 0, ".hidden", true},
    {"%filename_ext%", "", 0, music, 0, "a.b.flac", true},
    {"%filename_ext%", "", 0, "unknown://x/a.mp3?x=1", 0, "a.mp3", true},
    {"%filename%", "", 0, "unknown://x/a.mp3?x=1.2", 0, "a", true},
    {"%filename_sort%", "", 0, music, 3, "a.b|0000000003", true},
    {"%path_sort%", "", 0, music, 4294967295u, "C:\\Music\\Rock\\a.b.flac|4294967295", true},
    {"%subsong%", "", 0, music, 3, "3", true},
    {"%subsong%", "", 0, music, 0, "0", true},
    {"%directory%", "", 0, music, 0, "Rock", true},
    {"%directory%", "", 0, "file://C:\\a.flac", 0, "", true},
    {"[%directory%]x", "", 0, "file://C:\\a.flac", 0, "x", true},
    {"%directory%", "", 0, "a.flac", 0, "?", false},
    {"[%directory%]x", "", 0, "a.flac", 0, "x", false},
    {"%directory%", "", 0, "\\a.flac", 0, "?", false},
    // the field source offers no functions
    {"$rand()", "", 0, music, 0, "[UNKNOWN FUNCTION]", false},
};

track_handle_ref handle_of(const char* path, uint32_t subsong = 0) {
    track_handle_ref h;
    track_handle_registry::get().get_handle(h, track_location(path, subsong));
    return h;
}

}  // namespace

TEST_CASE("title fields: built-in and browse fields, one table") {
    use_program_services();
    for (const field_case& c : g_field_cases) {
        INFO("script: " << std::string(c.script) << "   record: " << std::string(c.record) << "   length: " << c.length
                        << "   path: " << std::string(c.path) << "   subsong: " << c.subsong);
        const browse_fields_builder record = record_of(c.record, c.length);
        const track_location location(c.path, c.subsong);
        const run_result r = format(c.script, record, location);
        CHECK(r.text == std::string(c.expected));
        CHECK(r.truth == c.truth);
    }
}

TEST_CASE("title fields: truth and text kinds") {
    use_program_services();
    // Only what the field source writes reaches the filter; the "?" of an unknown name does not.
    struct recording_filter final : title_text_filter {
        std::string kinds;
        void write(const kpl::guid& kind, kpl::utf8_string& output, const char* text, uint32_t length) override {
            kinds += kind == text_kind_meta ? 'm' : (kind == text_kind_computed ? 'c' : '?');
            output.append("<");
            output.append(text, length);
            output.append(">");
        }
    } recorder;
    const browse_fields_builder record = record_of("Artist=A; B", 0);
    const track_location location("file://C:\\M\\a.flac", 2);
    const run_result r = format("%artist%|%length%|%directory%|%title%|%tracknumber%|%filename%|%subsong%|%nope%",
                                record, location, &recorder);
    CHECK(r.text == "<A><, ><B>|<?>|<M>|<a>|<?>|<a>|<2>|?");
    CHECK(recorder.kinds == "mmmmmmmcc");

    // Field by field through the service: built-in fields without a value are known and false.
    title_field_source& source = title_field_source::get();
    struct probe_case {
        const char* name;
        bool known, truth;
        const char* text;
    } probes[] = {
        {"length", true, false, "?"}, {"directory", true, true, "M"}, {"artist", true, true, "A, B"},
        {"album", false, false, ""},  {"tracknumber", true, false, "?"}, {"", false, false, ""},
    };
    for (const probe_case& p : probes) {
        INFO(p.name);
        kpl::utf8_string_pow2 out;
        title_output_sink sink(out, title_default_filter());
        bool truth = true;
        CHECK(source.get_field(record, location, sink, p.name, static_cast<uint32_t>(std::string(p.name).size()), truth) ==
              p.known);
        CHECK(truth == p.truth);
        CHECK(out == p.text);
    }

    // Names are taken by their length, not up to a terminator.
    kpl::utf8_string_pow2 out;
    title_output_sink sink(out, title_default_filter());
    bool truth = false;
    CHECK(source.get_field(record, location, sink, "artistXYZ", 6, truth));
    CHECK(std::string(out.c_str()) == "A, B");

    uint32_t index = 99;
    CHECK(source.resolve_field(record_of("Album Artist=V", 0), index, "artist", 6));
    CHECK(index == browse_album_artist);
    CHECK_FALSE(source.resolve_field(record_of("Album Artist=V", 0), index, "title", 5));

    // The service answers its class.
    service_ref found;
    CHECK(source.query(found, title_field_source::class_guid));
    CHECK(found.get() == &source);
    service_ref registered;
    service_class::get_single(registered, title_field_source::class_guid);
    CHECK(registered.get() == &source);
    service_class::get_single(registered, title_script_compiler::class_guid);
    CHECK(registered.get() == &title_script_compiler::get());
}

TEST_CASE("title fields: scripts over track handles") {
    use_program_services();
    track_handle_ref h = handle_of("file://C:\\Music\\Loose\\05 Song.flac", 2);
    title_script_ref script = title_compile("[%artist% - ]%title% '('%length%')'");
    kpl::utf8_string_pow2 out;

    // Without info: the file name, no length, and format_title says so.
    CHECK_FALSE(h->format_title(nullptr, out, *script, nullptr));
    CHECK(std::string(out.c_str()) == "05 Song (?)");

    browse_fields_builder record = record_of("Artist=Nina|Title=Sinner\tman", 125.0f);
    REQUIRE(h->set_info(record, 1000, 0, false));
    CHECK(h->format_title(nullptr, out, *script, nullptr));
    CHECK(std::string(out.c_str()) == "Nina - Sinner\tman (2:05)");

    // The no-control-characters filter hides the tab in the title.
    title_filter_no_control_chars no_controls;
    CHECK(h->format_title(nullptr, out, *script, &no_controls));
    CHECK(std::string(out.c_str()) == "Nina - Sinner_man (2:05)");

    // Another record for this handle's location, and an extra provider asked first.
    h->format_title_from(record_of("Title=Other", 61.0f), nullptr, out, *script, nullptr);
    CHECK(std::string(out.c_str()) == "Other (1:01)");
    struct playing final : title_field_provider {
        bool get_field(title_output_sink& sink, const char* name, uint32_t length, bool& truth) override {
            if (!title_name_equals(name, length, "artist")) return false;
            sink.write(text_kind_computed, "Now");
            truth = true;
            return true;
        }
        bool call_function(title_output_sink&, const char*, uint32_t, const title_evaluated_args&, bool&) override {
            return false;
        }
    } extra;
    CHECK(h->format_title(&extra, out, *script, nullptr));
    CHECK(std::string(out.c_str()) == "Now - Sinner\tman (2:05)");
    {
        track_info_lock_scope lock;
        CHECK(h->format_title_nolock(nullptr, out, *title_compile("%subsong%/%directory%"), nullptr));
    }
    CHECK(std::string(out.c_str()) == "2/Loose");
}
