#pragma once
// file_stats: what the file systems report about a file without opening it.
//
//   file_stats s;
//   bool writable;
//   file_system_get_stats("file://C:\\Music\\a.flac", s, writable, abort_never);
//   if (s.size != file_size_unknown) show_size(s.size);          // bytes
//   if (s.timestamp != file_timestamp_unknown) show_time(s.timestamp);  // FILETIME of the last write
//
// The timestamp is a Windows FILETIME: 100-ns units since 1601-01-01 UTC.

#include <cstdint>

constexpr uint64_t file_size_unknown = ~static_cast<uint64_t>(0);
constexpr uint64_t file_timestamp_unknown = 0;

struct file_stats {
    uint64_t size = file_size_unknown;
    uint64_t timestamp = file_timestamp_unknown;
};

inline bool operator==(const file_stats& a, const file_stats& b) {
    return a.size == b.size && a.timestamp == b.timestamp;
}
inline bool operator!=(const file_stats& a, const file_stats& b) { return !(a == b); }
