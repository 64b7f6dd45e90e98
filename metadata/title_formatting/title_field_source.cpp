#include "metadata/title_formatting/title_field_source.h"

#include <cmath>
#include <cstring>

#include "foundation/fs/file_system.h"
#include "foundation/kpl/number_format.h"
#include "foundation/services/service_registry.h"
#include "metadata/title_formatting/title_paths.h"

const kpl::guid title_field_source::class_guid = {
    0x432FE059, 0xF087, 0x4785, {0xA5, 0x18, 0xCB, 0xC1, 0x8B, 0x84, 0x9A, 0xC1}};

namespace {

// What a built-in field handler gets: the request, and the display path made on first use.
class field_request {
public:
    field_request(const browse_fields& record, const track_location& location, title_output_sink& sink)
        : record(record), location(location), sink(sink) {}

    const kpl::utf8_string& display_path() {
        if (!m_have_path) {
            file_system_display_path(location.get_path(), m_path);
            m_have_path = true;
        }
        return m_path;
    }

    const browse_fields& record;
    const track_location& location;
    title_output_sink& sink;

private:
    kpl::utf8_string_pow2 m_path;
    bool m_have_path = false;
};

void write(title_output_sink& sink, const kpl::guid& kind, const kpl::utf8_string& text) {
    sink.write(kind, text.c_str(), text.length());
}

// The browse text with every "; " written as ", ".
void write_multi_value(title_output_sink& sink, const char* text) {
    for (;;) {
        const char* separator = std::strstr(text, "; ");
        if (!separator) break;
        sink.write(text_kind_meta, text, static_cast<uint32_t>(separator - text));
        sink.write(text_kind_meta, ", ", 2);
        text = separator + 2;
    }
    sink.write(text_kind_meta, text);
}

void append_filename(kpl::utf8_string& out, const kpl::utf8_string& path) {
    title_path_append_filename(out, path.c_str(), path.length());
}

void append_subsong_sort(kpl::utf8_string& out, uint32_t subsong) {
    out.append("|", 1);
    auto digits = kpl::format_uint64(subsong, 10);
    out.append(digits.c_str(), digits.length());
}

// The length rounded to whole seconds; false when it is 0, negative or not a finite number.
bool whole_seconds(float length, uint64_t& seconds) {
    const double l = length;
    if (!(l > 0) || !std::isfinite(l)) return false;
    const double rounded = std::floor(l + 0.5);
    seconds = rounded >= 9.2e18 ? static_cast<uint64_t>(9.2e18) : static_cast<uint64_t>(rounded);
    return true;
}

bool field_filename(field_request& r) {
    kpl::utf8_string_pow2 text;
    append_filename(text, r.display_path());
    write(r.sink, text_kind_computed, text);
    return true;
}

bool field_filename_ext(field_request& r) {
    const kpl::utf8_string& path = r.display_path();
    const char* text = path.c_str();
    uint32_t start = title_path_name_start(text, path.length()), end = start;
    while (end < path.length() && text[end] != '?') ++end;
    r.sink.write(text_kind_computed, text + start, end - start);
    return true;
}

bool field_filename_sort(field_request& r) {
    kpl::utf8_string_pow2 text;
    append_filename(text, r.display_path());
    append_subsong_sort(text, r.location.get_subsong());
    write(r.sink, text_kind_computed, text);
    return true;
}

bool field_path(field_request& r) {
    const kpl::utf8_string& path = r.display_path();
    if (path.is_empty()) {
        r.sink.write(text_kind_computed, "n/a", 3);
    } else {
        write(r.sink, text_kind_computed, path);
    }
    return true;
}

bool field_path_sort(field_request& r) {
    kpl::utf8_string_pow2 text(r.display_path());
    append_subsong_sort(text, r.location.get_subsong());
    write(r.sink, text_kind_computed, text);
    return true;
}

bool field_directory(field_request& r) {
    const kpl::utf8_string& path = r.display_path();
    const uint32_t name = title_path_name_start(path.c_str(), path.length());
    // Nothing remains before the last separator, or there is none.
    if (name <= 1) return false;
    const uint32_t end = name - 1;
    const uint32_t folder = title_path_name_start(path.c_str(), end);
    r.sink.write(text_kind_meta, path.c_str() + folder, end - folder);
    return true;
}

bool field_subsong(field_request& r) {
    auto text = kpl::format_uint64(r.location.get_subsong());
    r.sink.write(text_kind_computed, text.c_str(), text.length());
    return true;
}

bool field_length(field_request& r) {
    uint64_t seconds;
    if (!whole_seconds(r.record.length, seconds)) return false;
    auto text = kpl::format_time_span(seconds);
    r.sink.write(text_kind_computed, text.c_str(), text.length());
    return true;
}

bool field_length_ex(field_request& r) {
    uint64_t seconds;
    if (!whole_seconds(r.record.length, seconds)) return false;
    auto text = kpl::format_time_span_fraction(r.record.length, 3);
    r.sink.write(text_kind_computed, text.c_str(), text.length());
    return true;
}

bool field_length_seconds(field_request& r) {
    uint64_t seconds;
    if (!whole_seconds(r.record.length, seconds)) return false;
    auto text = kpl::format_uint64(seconds);
    r.sink.write(text_kind_computed, text.c_str(), text.length());
    return true;
}

bool field_title(field_request& r) {
    const char* title = r.record.get(browse_title);
    if (*title) {
        write_multi_value(r.sink, title);
        return true;
    }
    kpl::utf8_string_pow2 text;
    append_filename(text, r.display_path());
    write(r.sink, text_kind_meta, text.is_empty() ? r.display_path() : text);
    return true;
}

bool field_tracknumber(field_request& r) {
    const char* number = r.record.get(browse_track_number);
    if (!*number) return false;
    if (!number[1]) r.sink.write(text_kind_meta, "0", 1);
    r.sink.write(text_kind_meta, number);
    return true;
}

struct builtin_field {
    const char* name;
    bool (*handler)(field_request&);
};

const builtin_field g_builtin_fields[] = {
    {"filename", field_filename},       {"filename_ext", field_filename_ext},
    {"filename_sort", field_filename_sort}, {"path", field_path},
    {"path_sort", field_path_sort},     {"directory", field_directory},
    {"subsong", field_subsong},         {"length", field_length},
    {"length_ex", field_length_ex},     {"length_seconds", field_length_seconds},
    {"title", field_title},             {"tracknumber", field_tracknumber},
};

class field_source final : public title_field_source {
public:
    uint32_t release() override { return 1; }
    uint32_t add_ref() override { return 1; }
    bool query(service_ref& out, const kpl::guid& guid) override {
        if (guid != class_guid) return false;
        out.assign(this);
        return true;
    }

    bool get_field(const browse_fields& record, const track_location& location, title_output_sink& sink,
                   const char* name, uint32_t name_length, bool& truth) override {
        for (const builtin_field& field : g_builtin_fields) {
            if (!title_name_equals(name, name_length, field.name)) continue;
            field_request request(record, location, sink);
            truth = field.handler(request);
            if (!truth) sink.write(text_kind_meta, "?", 1);
            return true;
        }
        truth = false;
        uint32_t index;
        if (!resolve_field(record, index, name, name_length)) return false;
        write_multi_value(sink, record.get(index));
        truth = true;
        return true;
    }

    bool call_function(const browse_fields&, const track_location&, title_output_sink&, const char*, uint32_t,
                       const title_evaluated_args&, bool&) override {
        return false;
    }

    bool resolve_field(const browse_fields& record, uint32_t& index, const char* name, uint32_t name_length) override {
        const int32_t found = name_length ? browse_field_index(name, name_length) : -1;
        if (found < 0) {
            if (!title_name_equals(name, name_length, "track artist")) return false;
            const char* artist = record.get(browse_artist);
            const char* album_artist = record.get(browse_album_artist);
            if (!*artist || !*album_artist || std::strcmp(artist, album_artist) == 0) return false;
            index = browse_artist;
            return true;
        }
        const uint32_t i = static_cast<uint32_t>(found);
        uint32_t first = i, second = i;
        if (i == browse_artist) second = browse_album_artist;
        if (i == browse_album_artist) second = browse_artist;
        if (*record.get(first)) {
            index = first;
            return true;
        }
        if (*record.get(second)) {
            index = second;
            return true;
        }
        return false;
    }
};

// Registered with the service registry; the object itself lives in title_field_source::get().
class field_source_factory final : public service_factory {
public:
    field_source_factory() noexcept : service_factory(title_field_source::class_guid, service_registration_list()) {}
    void create_instance(service_ref& out) override { out.assign(&title_field_source::get()); }
};

field_source_factory g_field_source_factory;

// Constant-initialised: usable from any thread and during static initialisation.
field_source g_field_source;

}  // namespace

title_field_source& title_field_source::get() { return g_field_source; }

bool handle_field_provider::get_field(title_output_sink& sink, const char* name, uint32_t name_length, bool& truth) {
    return title_field_source::get().get_field(m_record, m_location, sink, name, name_length, truth);
}

bool handle_field_provider::call_function(title_output_sink& sink, const char* name, uint32_t name_length,
                                          const title_evaluated_args& args, bool& truth) {
    return title_field_source::get().call_function(m_record, m_location, sink, name, name_length, args, truth);
}
