#pragma once
// Boxes built byte by byte for the atomkit tests, and a file-backed stream over memory.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/byte_stream.h"

namespace atomkit_test {

using bytes = std::vector<uint8_t>;

// What running f throws, as text: "truncation: " and the text for a truncation, the text for another atomkit
// error, "no error" when it returns.
template <class F>
std::string atomkit_error(F f) {
    try {
        f();
    } catch (const atomkit::exception_truncation& e) {
        return std::string("truncation: ") + e.what();
    } catch (const atomkit::exception& e) {
        return e.what();
    }
    return "no error";
}

inline void put32(bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
inline void put64(bytes& b, uint64_t v) {
    put32(b, uint32_t(v >> 32));
    put32(b, uint32_t(v));
}
inline bytes cat(std::initializer_list<bytes> parts) {
    bytes out;
    for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
// A box with a 32-bit size of header + payload.
inline bytes box(const char* type, const bytes& payload = {}) {
    bytes b;
    put32(b, uint32_t(payload.size() + 8));
    b.insert(b.end(), type, type + 4);
    return cat({b, payload});
}
// A box with size 1 and a 64-bit largesize.
inline bytes box64(const char* type, const bytes& payload = {}) {
    bytes b;
    put32(b, 1);
    b.insert(b.end(), type, type + 4);
    put64(b, payload.size() + 16);
    return cat({b, payload});
}
// A header with an explicit size field and no payload.
inline bytes raw_header(uint32_t size, const char* type) {
    bytes b;
    put32(b, size);
    b.insert(b.end(), type, type + 4);
    return b;
}
inline bytes filler(size_t n, uint8_t value = 0xAB) { return bytes(n, value); }

// A file over a byte vector; `report_size` false makes size() answer unknown_size. Its skip is the base
// class's clamped forward seek.
class memory_file final : public atomkit::file_backed_stream {
public:
    explicit memory_file(bytes data, bool report_size = true) : m_data(std::move(data)), m_report_size(report_size) {}

    size_t read(void* buffer, size_t n) override {
        size_t left = m_pos < m_data.size() ? size_t(m_data.size() - m_pos) : 0;
        if (n > left) n = left;
        if (n) std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        bytes_read += n;
        return n;
    }
    void read_exact(void* buffer, size_t n) override {
        if (read(buffer, n) != n) throw atomkit::exception_truncation();
    }
    void skip_exact(uint64_t n) override {
        if (skip(n) != n) throw atomkit::exception_truncation();
    }
    void check_available(uint64_t n) override {
        if (m_pos > m_data.size() || n > m_data.size() - m_pos) throw atomkit::exception_truncation();
    }
    uint64_t position() override { return m_pos; }
    void seek(uint64_t offset) override { m_pos = offset; }
    uint64_t size() override { return m_report_size ? m_data.size() : atomkit::unknown_size; }
    void truncate(uint64_t size) override { m_data.resize(size_t(size)); }
    void write(const void* buffer, size_t n) override {
        if (m_pos + n > m_data.size()) m_data.resize(size_t(m_pos + n));
        std::memcpy(m_data.data() + m_pos, buffer, n);
        m_pos += n;
    }

    const bytes& data() const { return m_data; }
    uint64_t bytes_read = 0;

private:
    bytes m_data;
    uint64_t m_pos = 0;
    bool m_report_size;
};

}  // namespace atomkit_test
