#pragma once
// The filesystem_provider services of the program's registry, in the registry's order (none before the
// registry's table is built).
//
//   filesystem_provider_ref p;
//   for (uint32_t i = 0; filesystem_provider_at(i, p); ++i)
//       if (p->owns_path(location)) break;

#include <cstdint>

#include "foundation/fs/filesystem_provider.h"

// The provider with the given index into out; false (out unchanged) past the last one.
bool filesystem_provider_at(uint32_t index, filesystem_provider_ref& out);
