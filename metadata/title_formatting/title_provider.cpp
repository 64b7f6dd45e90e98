#include "metadata/title_formatting/title_provider.h"

#include "foundation/kpl/number_format.h"

const kpl::guid text_kind_meta = {0xCD839C8E, 0x5C66, 0x4AE1, {0x8D, 0xAD, 0x71, 0x1F, 0x86, 0x00, 0x0A, 0xE3}};
const kpl::guid text_kind_computed = {0x673AA1CD, 0xA7A8, 0x40C8, {0xBF, 0x9B, 0x34, 0x37, 0x99, 0x29, 0x16, 0x3B}};

namespace {

class default_filter final : public title_text_filter {
public:
    void write(const kpl::guid&, kpl::utf8_string& output, const char* text, uint32_t length) override {
        output.append(text, length);
    }
};

class empty_provider final : public title_field_provider {
public:
    bool get_field(title_output_sink&, const char*, uint32_t, bool&) override { return false; }
    bool call_function(title_output_sink&, const char*, uint32_t, const title_evaluated_args&, bool&) override {
        return false;
    }
};

// Constant-initialised: usable from any thread and during static initialisation.
default_filter g_default_filter;
empty_provider g_empty_provider;

}  // namespace

title_text_filter& title_default_filter() { return g_default_filter; }

title_field_provider& title_empty_provider() { return g_empty_provider; }

void title_filter_no_control_chars::write(const kpl::guid&, kpl::utf8_string& output, const char* text,
                                          uint32_t length) {
    if (!text) return;
    // Copies runs of ordinary bytes in one append each.
    uint32_t run = 0, i = 0;
    for (; i < length && text[i]; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20) {
            if (i > run) output.append(text + run, i - run);
            output.append("_", 1);
            run = i + 1;
        }
    }
    if (i > run) output.append(text + run, i - run);
}

bool title_provider_chain::get_field(title_output_sink& sink, const char* name, uint32_t name_length, bool& truth) {
    truth = false;
    if (m_first.get_field(sink, name, name_length, truth)) return true;
    truth = false;
    return m_second.get_field(sink, name, name_length, truth);
}

bool title_provider_chain::call_function(title_output_sink& sink, const char* name, uint32_t name_length,
                                         const title_evaluated_args& args, bool& truth) {
    truth = false;
    if (m_first.call_function(sink, name, name_length, args, truth)) return true;
    truth = false;
    return m_second.call_function(sink, name, name_length, args, truth);
}

bool title_name_equals(const char* name, uint32_t length, const char* expected) {
    uint32_t i = 0;
    for (; i < length; ++i) {
        char a = name[i], b = expected[i];
        if (b == 0) return false;
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
        if (a != b) return false;
    }
    return expected[i] == 0;
}

void store_uint64_with_key(title_output_sink& sink, int64_t value) {
    auto text = kpl::format_int64(value);
    sink.write(text_kind_computed, text.c_str(), text.length());
}
