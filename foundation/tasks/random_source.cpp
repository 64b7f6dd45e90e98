#include "foundation/tasks/random_source.h"

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"

namespace {

class crypto_random final : public service_counted<random_source> {
public:
    crypto_random() {
        if (!CryptAcquireContextW(&m_provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            exception_win32::throw_last_error();
    }
    ~crypto_random() override { release_context(m_provider); }

    void reseed(uint32_t) override {}

    uint64_t next(uint32_t n) override {
        if (n == 0) throw kpl::exception_invalid_params();
        uint64_t value = 0;
        if (!CryptGenRandom(m_provider, sizeof value, reinterpret_cast<BYTE*>(&value)))
            exception_win32::throw_last_error();
        return value % n;
    }

private:
    HCRYPTPROV m_provider = 0;
};

service_factory_per_request<crypto_random, random_source> g_random_source_factory;

}  // namespace

service_ref random_source::create() {
    service_ref ref;
    ref.attach(static_cast<random_source*>(new crypto_random));
    return ref;
}

void random_source::release_context(HCRYPTPROV provider) { CryptReleaseContext(provider, 0); }
