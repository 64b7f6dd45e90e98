#pragma once
// random_source: random numbers from the system's cryptographic provider, for shuffled playback and the
// title function "rand". Each request for the service makes a new object with a provider of its own.
//
//   service_ref r = random_source::create();              // or through the service registry
//   random_source* random = r.as<random_source>();
//   random->reseed(uint32_t(__rdtsc()));                  // accepted and ignored
//   const uint64_t pick = random->next(track_count);      // in [0, track_count)

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class random_source : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xC303A0F1, 0x8E88, 0x4539, {0x87, 0xE5, 0x9E, 0x45, 0x5B, 0x7D, 0x54, 0x8C}};

    // Accepted and ignored: the numbers need no starting value.
    virtual void reseed(uint32_t value) = 0;
    // A random number in [0, n): 8 random bytes as an unsigned 64-bit value, modulo n. n = 0 throws
    // kpl::exception_invalid_params; a failing provider throws exception_win32.
    virtual uint64_t next(uint32_t n) = 0;

    // A new object (count 1, held by the returned reference), as the service registry makes one per
    // request. Throws exception_win32 when no provider can be had.
    static service_ref create();
    // CryptReleaseContext of a provider handle.
    static void release_context(HCRYPTPROV provider);
};
