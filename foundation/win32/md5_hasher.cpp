#include "foundation/win32/md5_hasher.h"

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"

md5_hasher::md5_hasher() {
    if (!CryptAcquireContextW(&m_provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        exception_win32::throw_last_error();
}

md5_hasher::~md5_hasher() {
    destroy_hash();
    CryptReleaseContext(m_provider, 0);
}

void md5_hasher::ensure_hash() {
    if (m_hash) return;
    if (!CryptCreateHash(m_provider, CALG_MD5, 0, 0, &m_hash)) {
        m_hash = 0;
        exception_win32::throw_last_error();
    }
}

void md5_hasher::destroy_hash() {
    if (m_hash) CryptDestroyHash(m_hash);
    m_hash = 0;
}

void md5_hasher::add(const void* data, size_t n) {
    ensure_hash();
    const BYTE* p = static_cast<const BYTE*>(data);
    while (n > 0) {
        DWORD piece = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        if (!CryptHashData(m_hash, p, piece, 0)) exception_win32::throw_last_error();
        p += piece;
        n -= piece;
    }
}

md5_digest md5_hasher::finish() {
    ensure_hash();
    md5_digest digest = {};
    DWORD length = sizeof(digest.bytes);
    BOOL ok = CryptGetHashParam(m_hash, HP_HASHVAL, digest.bytes, &length, 0);
    DWORD error = GetLastError();
    destroy_hash();
    if (!ok) {
        if (error == ERROR_MORE_DATA) throw kpl::exception_invalid_params();
        throw exception_win32(error);
    }
    if (length != sizeof(digest.bytes)) throw kpl::exception_invalid_params();
    return digest;
}
