#pragma once
// A copy of a text or of bytes that ends exactly at an inaccessible page, with no terminator after it: a
// parser that reads even one byte past the given length crashes the test instead of passing by luck.
//
//     guarded_text g("12.5", 4);
//     kpl::parse_double(g.data(), g.size());
//
//     guarded_text tag(bytes);                       // a std::vector<uint8_t>
//     ape_parse_items(tag.bytes(), uint32_t(tag.size()), ...);

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class guarded_text {
public:
    guarded_text(const char* text, size_t length) : m_size(length) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        size_t page = info.dwPageSize;
        size_t span = (length + page - 1) / page * page;
        if (span == 0) span = page;
        m_base = static_cast<char*>(VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(m_base + span, page, PAGE_NOACCESS, &old);
        m_data = m_base + span - length;
        if (length) std::memcpy(m_data, text, length);
    }
    explicit guarded_text(const char* text) : guarded_text(text, std::strlen(text)) {}
    explicit guarded_text(const std::vector<uint8_t>& bytes)
        : guarded_text(reinterpret_cast<const char*>(bytes.data()), bytes.size()) {}
    guarded_text(const guarded_text&) = delete;
    guarded_text& operator=(const guarded_text&) = delete;
    ~guarded_text() { VirtualFree(m_base, 0, MEM_RELEASE); }

    const char* data() const { return m_data; }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(m_data); }
    size_t size() const { return m_size; }

private:
    char* m_base;
    char* m_data;
    size_t m_size;
};
