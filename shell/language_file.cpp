#include "shell/language_file.h"

#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/win32/xml_reader.h"

namespace {

bool name_is(const char* name, const char* wanted) { return kpl::stricmp_ascii(name, wanted) == 0; }

// Collects the character data of an element's content, comments and nested elements left out.
class text_collector final : public xml_reader::handler {
public:
    kpl::utf8_string_pow2 text;

    void on_element(const char*, const xml_reader::attribute_map&, const char*, size_t) override {}
    void on_text(const char* raw, size_t length) override { xml_reader::decode_entities(text, raw, length); }
};

class entry_handler final : public xml_reader::handler {
public:
    entry_handler(localization_map& map, kpl::utf8_string& credits) : m_map(map), m_credits(credits) {}

    void on_element(const char* name, const xml_reader::attribute_map& attributes, const char* content,
                    size_t length) override {
        if (name_is(name, "entry")) {
            const char* id = xml_reader::attribute(attributes, "id");
            const char* text = xml_reader::attribute(attributes, "text");
            if (id && text) m_map.set(id, kpl::utf8_string_tight(text));
        } else if (name_is(name, "copyright")) {
            text_collector collector;
            if (content) xml_reader::parse_body(collector, content, length);
            const char* begin = collector.text.c_str();
            const char* end = begin + collector.text.length();
            while (begin < end && static_cast<unsigned char>(*begin) <= 0x20) ++begin;
            while (end > begin && static_cast<unsigned char>(end[-1]) <= 0x20) --end;
            if (end > begin) m_credits.assign(begin, static_cast<uint32_t>(end - begin));
        }
    }
    void on_text(const char*, size_t) override {}

private:
    localization_map& m_map;
    kpl::utf8_string& m_credits;
};

class root_handler final : public xml_reader::handler {
public:
    root_handler(localization_map& map, kpl::utf8_string& credits) : m_entries(map, credits) {}

    void on_element(const char* name, const xml_reader::attribute_map&, const char* content, size_t length) override {
        if (!name_is(name, "localization")) return;
        if (m_seen) throw ketrel_io::exception_io_data();
        m_seen = true;
        if (content) xml_reader::parse_body(m_entries, content, length);
    }
    void on_text(const char*, size_t) override {}

private:
    entry_handler m_entries;
    bool m_seen = false;
};

}  // namespace

void parse_language_file(const char* bytes, size_t length, localization_map& out, kpl::utf8_string& credits) {
    root_handler root(out, credits);
    xml_reader::parse_document(root, bytes, length);
}

uint16_t builtin_language_resource(uint32_t language_id) noexcept {
    switch (language_id & 0x3FF) {
        case 0x04: return 301;
        case 0x07: return 296;
        case 0x0B: return 299;
        case 0x0C: return 308;
        case 0x0D: return 302;
        case 0x11: return 303;
        case 0x15: return 291;
        case 0x19: return 298;
        case 0x1D: return 307;
        default: return builtin_english_resource;
    }
}

const system_message_id system_message_ids[10] = {
    {"exception_io_not_found", 2},
    {"exception_io_denied", 5},
    {"exception_io_sharing_violation", 32},
    {"exception_io_device_full", 112},
    {"exception_io_file_corrupted", 1392},
    {"exception_io_already_exists", 183},
    {"exception_io_write_protected", 19},
    {"exception_io_directory_not_empty", 145},
    {"exception_io_name_too_long", 111},
    {"exception_io_no_handler_for_path", 161},
};

void add_system_messages(localization_map& map, bool (*message_for)(uint32_t code, kpl::utf8_string& out)) {
    for (const system_message_id& entry : system_message_ids) {
        if (map.find_value(entry.id)) continue;
        kpl::utf8_string_pow2 text;
        if (message_for(entry.code, text)) map.set(entry.id, kpl::utf8_string_tight(text));
    }
}
