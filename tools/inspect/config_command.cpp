// The config command of vorn-inspect: stores payloads through the program's configuration variables and
// lists the records of a profile's config.dat.
//
// vorn-inspect config PROFILE [GUID=HEX]...
//
// PROFILE's config.dat is loaded (the folder is made when missing). Each GUID=HEX hands the bytes HEX (two
// hex digits per byte, "" for none) to the variable of that GUID as a record of the file would. An unknown
// GUID, bad hex or a payload the variable refuses fails the command before anything is written. The file
// is then saved and each of its records printed, in file order, as the GUID (upper case, in braces), a TAB
// and the payload in lower-case hex ("-" when empty):
//     {6490F07D-F12E-4963-8946-FDE5DCC08F3A}	000000000200000000000000000000000
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/services/service_registry.h"
#include "tools/inspect/inspect_command.h"

namespace {

std::wstring wide(const std::string& text) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, text.c_str());
    return w.c_str();
}

[[noreturn]] void fail(const std::string& text) { throw kpl::exception_invalid_params(text.c_str()); }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<uint8_t> parse_hex(const std::string& text) {
    if (text.size() % 2) fail("odd number of hex digits: " + text);
    std::vector<uint8_t> out;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0) fail("not hex: " + text);
        out.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return out;
}

// Exactly the given bytes.
class bytes_source final : public byte_source {
public:
    explicit bytes_source(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    size_t read(void* buffer, size_t n, const abort_signal&) override {
        const size_t count = n < m_bytes.size() - m_at ? n : m_bytes.size() - m_at;
        if (count) std::memcpy(buffer, m_bytes.data() + m_at, count);
        m_at += count;
        return count;
    }

private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_at = 0;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", braces optional, hex digits of either case.
kpl::guid parse_guid(const std::string& text) {
    const std::string bare = text.size() == 38 && text.front() == '{' && text.back() == '}' ? text.substr(1, 36) : text;
    bool good = bare.size() == 36;
    for (size_t i = 0; good && i < bare.size(); ++i)
        good = (i == 8 || i == 13 || i == 18 || i == 23) ? bare[i] == '-' : hex_digit(bare[i]) >= 0;
    if (!good) fail("not a GUID: " + text);
    return kpl::guid_from_text(bare.c_str());
}

config_variable* find_variable(const kpl::guid& guid) {
    for (config_variable* each = config_variable_lists().read_head; each; each = each->next_read())
        if (each->read_guid() == guid) return each;
    return nullptr;
}

std::vector<uint8_t> read_whole_file(const std::string& path) {
    std::vector<uint8_t> out;
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return out;
    uint8_t buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) out.insert(out.end(), buffer, buffer + got);
    CloseHandle(file);
    return out;
}

uint32_t u32_at(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

kpl::guid guid_at(const std::vector<uint8_t>& bytes, size_t at) {
    kpl::guid g;
    g.data1 = u32_at(bytes, at);
    g.data2 = static_cast<uint16_t>(bytes[at + 4] | bytes[at + 5] << 8);
    g.data3 = static_cast<uint16_t>(bytes[at + 6] | bytes[at + 7] << 8);
    for (int i = 0; i < 8; ++i) g.data4[i] = bytes[at + 8 + i];
    return g;
}

int run_config(const inspect_arguments& args, inspect_output& out) {
    args.expect(0xFFFFFFFF);
    const std::string profile = inspect_path(args.required(0, "PROFILE")).c_str();
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    for (size_t at = profile.find('\\', 3); at != std::string::npos; at = profile.find('\\', at + 1))
        CreateDirectoryW(wide(profile.substr(0, at)).c_str(), nullptr);
    CreateDirectoryW(wide(profile).c_str(), nullptr);
    const std::string file = profile + "\\config.dat";
    const std::string location = "file://" + file;
    config_store::program().load(location.c_str(), true);

    for (uint32_t i = 1; i < args.positional.count(); ++i) {
        const std::string assignment = args.positional[i].c_str();
        const size_t equals = assignment.find('=');
        if (equals == std::string::npos) fail("expected GUID=HEX: " + assignment);
        const std::string name = assignment.substr(0, equals);
        const kpl::guid guid = parse_guid(name);
        config_variable* variable = find_variable(guid);
        if (!variable) fail("no variable has the GUID " + inspect_guid_text(guid));
        const std::vector<uint8_t> payload = parse_hex(assignment.substr(equals + 1));
        bytes_source source(payload);
        variable->set_data(source, static_cast<uint32_t>(payload.size()), abort_never);
    }
    config_store::program().write_file(location.c_str());

    const std::vector<uint8_t> bytes = read_whole_file(file);
    if (bytes.size() < config_file::header_size) return 0;
    const size_t end = config_file::header_size + u32_at(bytes, 32);
    if (end > bytes.size()) throw ketrel_io::exception_io_data();
    size_t at = config_file::header_size;
    while (end - at >= 20) {
        const kpl::guid guid = guid_at(bytes, at);
        const uint32_t size = u32_at(bytes, at + 16);
        at += 20;
        if (size > end - at) throw ketrel_io::exception_io_data();
        std::string hex;
        static const char digits[] = "0123456789abcdef";
        for (uint32_t k = 0; k < size; ++k) {
            hex += digits[bytes[at + k] >> 4];
            hex += digits[bytes[at + k] & 15];
        }
        at += size;
        out.line((inspect_guid_text(guid) + "\t" + (hex.empty() ? "-" : hex)).c_str());
    }
    return 0;
}

inspect_command g_config("config", "PROFILE [GUID=HEX]...",
                         "stores each payload through its configuration variable in PROFILE's config.dat, then "
                         "prints every record as GUID, TAB, hex payload",
                         &run_config);

}  // namespace
