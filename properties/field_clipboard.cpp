#include "properties/field_clipboard.h"

#include <cstring>
#include <new>

#include "foundation/kpl/win32_errors.h"

UINT properties_clipboard_format() {
    static UINT format = 0;
    if (!format) {
        format = RegisterClipboardFormatW(L"{9E67E09D-115C-43d1-8359-6A4B0C1DAFE4}");
        if (!format) exception_win32::throw_last_error();
    }
    return format;
}

namespace {

void put_u32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void put_text(std::string& out, const std::string& text) {
    put_u32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

class block_reader {
public:
    block_reader(const void* data, size_t size) : m_data(static_cast<const unsigned char*>(data)), m_left(size) {}
    bool u32(uint32_t& out) {
        if (m_left < 4) return false;
        out = m_data[0] | (m_data[1] << 8) | (m_data[2] << 16) | (static_cast<uint32_t>(m_data[3]) << 24);
        m_data += 4;
        m_left -= 4;
        return true;
    }
    bool text(std::string& out) {
        uint32_t length;
        if (!u32(length) || length > m_left) return false;
        out.assign(reinterpret_cast<const char*>(m_data), length);
        m_data += length;
        m_left -= length;
        return true;
    }

private:
    const unsigned char* m_data;
    size_t m_left;
};

}  // namespace

std::string properties_serialize_fields(const properties_field_list& records) {
    std::string out;
    put_u32(out, static_cast<uint32_t>(records.size()));
    for (const properties_field_model& record : records) {
        put_u32(out, record.track_count());
        put_text(out, record.name());
        for (uint32_t t = 0; t < record.track_count(); ++t) {
            const properties_value_list* values = record.find_values(t);
            put_u32(out, values ? static_cast<uint32_t>(values->size()) : 0);
            if (values)
                for (const std::string& value : *values) put_text(out, value);
        }
    }
    return out;
}

bool properties_parse_fields(const void* data, size_t size, properties_field_list& out) {
    out.clear();
    try {
        block_reader reader(data, size);
        uint32_t count;
        if (!reader.u32(count)) return false;
        properties_field_list records;
        // Every count only bounds a loop; what is kept grows with the bytes actually read.
        for (uint32_t r = 0; r < count; ++r) {
            uint32_t tracks;
            std::string name;
            if (!reader.u32(tracks) || !reader.text(name)) return false;
            properties_field_model record(name.c_str(), tracks);
            for (uint32_t t = 0; t < tracks; ++t) {
                uint32_t values;
                if (!reader.u32(values)) return false;
                properties_value_list list;
                for (uint32_t v = 0; v < values; ++v) {
                    std::string value;
                    if (!reader.text(value)) return false;
                    list.push_back(std::move(value));
                }
                if (!list.empty()) record.set_values(t, list);
            }
            records.push_back(std::move(record));
        }
        out.swap(records);
        return true;
    } catch (const std::exception&) {
        out.clear();
        return false;
    }
}

void clipboard_put_data(UINT format, const void* bytes, size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size ? size : 1);
    if (!block) throw std::bad_alloc();
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        throw std::bad_alloc();
    }
    if (size) std::memcpy(target, bytes, size);
    GlobalUnlock(block);
    if (!SetClipboardData(format, block)) {
        const DWORD error = GetLastError();
        GlobalFree(block);
        throw exception_win32(error);
    }
}

void properties_copy_fields(const properties_field_list& records) {
    const std::string block = properties_serialize_fields(records);
    clipboard_put_data(properties_clipboard_format(), block.data(), block.size());
}

bool properties_paste_fields(properties_field_list& out) {
    out.clear();
    try {
        HANDLE data = GetClipboardData(properties_clipboard_format());
        if (!data) return false;
        const void* bytes = GlobalLock(data);
        if (!bytes) return false;
        const bool ok = properties_parse_fields(bytes, GlobalSize(data), out);
        GlobalUnlock(data);
        return ok;
    } catch (const std::exception&) {
        out.clear();
        return false;
    }
}

bool properties_fields_available() {
    try {
        return IsClipboardFormatAvailable(properties_clipboard_format()) != 0;
    } catch (const std::exception&) {
        return false;
    }
}
