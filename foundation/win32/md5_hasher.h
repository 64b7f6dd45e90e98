#pragma once
// MD5 through the platform's cryptographic provider (a verify-context provider of the full RSA type).
//
//   md5_hasher h;                      // opens the provider: exception_win32 when the system refuses
//   h.add("ab", 2);
//   h.add("c", 1);
//   md5_digest d = h.finish();         // 90 01 50 98 3C D2 4F B0 D6 96 3F 7D 28 E1 7F 72
//   h.add("abc", 3);                   // finish ended that hash: this starts a new one
//
// The configuration file's digest and the names of temporary rewrite files are made with it. One
// hasher belongs to one thread at a time.

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>

struct md5_digest {
    uint8_t bytes[16];
};

inline bool operator==(const md5_digest& a, const md5_digest& b) {
    for (int i = 0; i < 16; ++i)
        if (a.bytes[i] != b.bytes[i]) return false;
    return true;
}
inline bool operator!=(const md5_digest& a, const md5_digest& b) { return !(a == b); }

class md5_hasher {
public:
    md5_hasher();
    ~md5_hasher();
    md5_hasher(const md5_hasher&) = delete;
    md5_hasher& operator=(const md5_hasher&) = delete;

    // Hashes n bytes; the hash object is created on first use.
    void add(const void* data, size_t n);
    // The 16-byte value of everything added since the last finish; the next add starts a new hash.
    // A value length other than 16 from the provider gives kpl::exception_invalid_params.
    md5_digest finish();

private:
    void ensure_hash();
    void destroy_hash();

    HCRYPTPROV m_provider = 0;
    HCRYPTHASH m_hash = 0;
};
