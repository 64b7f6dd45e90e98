#include "compressed_inputs/mp4/atomkit/field_set.h"

#include "foundation/kpl/text_compare.h"

namespace atomkit {

bool field_name_less::operator()(const std::string& a, const std::string& b) const {
    return kpl::stricmp_ascii_counted(a.data(), a.size(), b.data(), b.size()) < 0;
}

bool names_equal(const std::string& a, const char* b) { return kpl::stricmp_ascii(a.c_str(), b) == 0; }

bool is_technical_name(const std::string& name) {
    for (const char* n : {"tool", "codec", "ITUNSMPB", "ITUNNORM", "CDEC"}) {
        if (names_equal(name, n)) return true;
    }
    return name.size() >= 11 && kpl::stricmp_ascii_counted(name.data(), 11, "replaygain_", 11) == 0;
}

void store_field(field_set& fields, const std::string& name, const std::string& value) {
    if (is_technical_name(name)) {
        field_entry& e = fields[name];
        e.is_meta = false;
        e.values.assign(1, value);
        return;
    }
    auto it = fields.find(name);
    if (it == fields.end()) {
        fields[name].values.push_back(value);
    } else if (it->second.is_meta) {
        it->second.values.push_back(value);
    }
}

std::string cut_utf8(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t n = limit;
    while (n > 0 && (uint8_t(text[n]) & 0xC0) == 0x80) --n;
    return text.substr(0, n);
}

}  // namespace atomkit
