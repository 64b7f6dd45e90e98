#include "foundation/tasks/random_source.h"

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"

const kpl::guid random_source::class_guid = {
    0xC303A0F1, 0x8E88, 0x4539, {0x87, 0xE5, 0x9E, 0x45, 0x5B, 0x7D, 0x54, 0x8C}};

namespace {

class crypto_random final : public random_source {
public:
    crypto_random() {
        if (!CryptAcquireContextW(&m_provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            exception_win32::throw_last_error();
    }
    ~crypto_random() { release_context(m_provider); }

    uint32_t add_ref() override { return uint32_t(InterlockedIncrement(&m_count)); }
    uint32_t release() override {
        const LONG count = InterlockedDecrement(&m_count);
        if (count == 0) delete this;
        return uint32_t(count);
    }
    bool query(service_ref& out, const kpl::guid& interface_guid) override {
        if (interface_guid != random_source::class_guid) return false;
        out.assign(this);
        return true;
    }

    void seed(uint32_t) override {}

    uint64_t next(uint32_t n) override {
        if (n == 0) throw kpl::exception_invalid_params();
        uint64_t value = 0;
        if (!CryptGenRandom(m_provider, sizeof value, reinterpret_cast<BYTE*>(&value)))
            exception_win32::throw_last_error();
        return value % n;
    }

private:
    volatile LONG m_count = 1;
    HCRYPTPROV m_provider = 0;
};

}  // namespace

service_ref random_source::create() {
    service_ref ref;
    ref.attach(new crypto_random);
    return ref;
}

void random_source::release_context(HCRYPTPROV provider) { CryptReleaseContext(provider, 0); }
