// The navigation state variable: its stored form, the damaged-record checks and the portable rewrite.
#include "ui/navigation_state.h"

#include <windows.h>

#include <string>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/io_exceptions.h"
#include "library/folder_view_node.h"
#include "shell/app_state.h"

navigation_state_var cfg_navigation_state(navigation_state::variable_guid);

namespace navigation_state {

const wchar_t* const application_folder_key = L"<application folder>";

namespace {

void write_u32(byte_sink& sink, uint32_t value, const abort_signal& abort) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    sink.write(bytes, 4, abort);
}

// Reads the record front to back, never past the bytes the record holds.
class record_reader {
public:
    record_reader(byte_source& source, uint32_t size, const abort_signal& abort)
        : m_source(source), m_left(size), m_abort(abort) {}

    uint32_t u32() {
        take(4);
        unsigned char b[4];
        m_source.read_exact(b, 4, m_abort);
        return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    }
    // A count of items of at least `each` bytes: refused when that many cannot fit in what is left.
    uint32_t count(uint32_t each) {
        const uint32_t n = u32();
        if (n > m_left / each) throw ketrel_io::exception_io_data();
        return n;
    }
    std::string text(uint32_t length) {
        take(length);
        std::string out(length, '\0');
        if (length) m_source.read_exact(&out[0], length, m_abort);
        return out;
    }

private:
    void take(uint32_t n) {
        if (n > m_left) throw ketrel_io::exception_io_data();
        m_left -= n;
    }

    byte_source& m_source;
    uint32_t m_left;
    const abort_signal& m_abort;
};

list_text key_from_utf8(const std::string& bytes) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, bytes.data(), bytes.size());
    return list_text(w.c_str());
}

bool is_single_key(const key_list& level, const wchar_t* text) {
    return level.count() == 1 && std::wstring(level.front().text(), level.front().length()) == text;
}

// Whether the location's first levels are the folder's components, one key each.
bool starts_with_folder(const node_path& path, const std::vector<std::wstring>& folder) {
    if (folder.empty() || path.size() < folder.size()) return false;
    for (size_t i = 0; i < folder.size(); ++i)
        if (!is_single_key(path[i], folder[i].c_str())) return false;
    return true;
}

key_list one_key(const std::wstring& text) {
    key_list level;
    level.append(list_text(text));
    return level;
}

}  // namespace

portable_environment current_environment() {
    portable_environment out;
    out.portable = app_state.portable_library;
    if (!out.portable) return out;
    std::wstring buffer(256, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (n == 0) return out;
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        if (buffer.size() >= 0x100000) return out;
        buffer.resize(buffer.size() * 2);
    }
    const size_t cut = buffer.find_last_of(L'\\');
    if (cut == std::wstring::npos) return out;
    out.program_folder = folder_components(buffer.substr(0, cut));
    return out;
}

std::vector<std::wstring> folder_components(const std::wstring& folder) {
    std::vector<std::wstring> out;
    if (folder.empty() || folder == L"." || folder == L".\\") return out;
    for (const key_list& level : folder_view_node::folder_path(folder))
        for (const list_text& key : level) out.emplace_back(key.text(), key.length());
    return out;
}

view_path default_location() {
    view_path out;
    out.kind = 0;
    out.path.resize(2);
    return out;
}

void write(byte_sink& sink, const view_path& where, const portable_environment& environment,
           const abort_signal& abort) {
    node_path path = where.path;
    if (environment.portable && where.kind == 1 && starts_with_folder(path, environment.program_folder)) {
        path.erase(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(environment.program_folder.size()));
        path.insert(path.begin(), one_key(application_folder_key));
    }
    write_u32(sink, static_cast<uint32_t>(where.kind), abort);
    write_u32(sink, static_cast<uint32_t>(path.size()), abort);
    for (const key_list& level : path) {
        write_u32(sink, level.count(), abort);
        for (const list_text& key : level) {
            const std::string bytes = key.utf8();
            write_u32(sink, static_cast<uint32_t>(bytes.size()), abort);
            sink.write(bytes.data(), bytes.size(), abort);
        }
    }
}

view_path read(byte_source& source, uint32_t size, const portable_environment& environment,
               const abort_signal& abort) {
    record_reader in(source, size, abort);
    view_path out;
    const uint32_t kind = in.u32();
    if (kind > 2) throw ketrel_io::exception_io_data();
    out.kind = static_cast<int>(kind);
    // Every level takes at least its 4-byte key count, every key at least its 4-byte length.
    const uint32_t levels = in.count(4);
    out.path.resize(levels);
    for (key_list& level : out.path) {
        const uint32_t keys = in.count(4);
        for (uint32_t k = 0; k < keys; ++k) level.append(key_from_utf8(in.text(in.u32())));
    }
    if (environment.portable && out.kind == 1 && !out.path.empty() &&
        is_single_key(out.path[0], application_folder_key)) {
        out.path.erase(out.path.begin());
        node_path folder;
        for (const std::wstring& part : environment.program_folder) folder.push_back(one_key(part));
        out.path.insert(out.path.begin(), folder.begin(), folder.end());
    }
    return out;
}

}  // namespace navigation_state

void navigation_state_var::set_data(byte_source& source, uint32_t size, const abort_signal& abort) {
    m_value = navigation_state::read(source, size, m_environment(), abort);
}

void navigation_state_var::get_data(byte_sink& sink, const abort_signal& abort) {
    navigation_state::write(sink, m_value, m_environment(), abort);
}
