#pragma once
// How a file is opened, one enumeration for every file system.
//
//   mode                  access           if the file exists   if not      object
//   open_mode_read        read             opened               not found   read-only
//   open_mode_modify      read and write   opened               not found   writable
//   open_mode_create      read and write   emptied              created     writable
//
// A value outside these three is refused (kpl::exception_invalid_params on the local disk).

#include <cstdint>

enum file_open_mode : uint32_t {
    open_mode_read = 0,
    open_mode_modify = 1,
    open_mode_create = 2,
};
