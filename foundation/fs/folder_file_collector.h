#pragma once
// folder_file_collector: gathers the files of a folder listing, optionally of its subfolders too.
//
//   folder_file_collector files(true);                          // recursive
//   file_system_list_folder("file://C:\\Music", files, abort);
//   for (auto& e : files.entries()) add(e->location.c_str(), e->stats.size);
//
// Files are kept in the order they were reported; folders are walked where they are met. A subfolder
// that cannot be listed (any ketrel_io::exception_io, such as one without access rights) is passed over.
// An abort ends the walk with ketrel_io::exception_aborted.

#include "foundation/fs/file_stats.h"
#include "foundation/fs/filesystem_provider.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"

class folder_file_entry : public kpl::refcounted {
public:
    folder_file_entry(const char* location_text, const file_stats& file_stats_value)
        : location(location_text), stats(file_stats_value) {}

    kpl::utf8_string_tight location;
    file_stats stats;
};

class folder_file_collector : public folder_list_callback {
public:
    explicit folder_file_collector(bool recursive) : m_recursive(recursive) {}

    bool on_entry(filesystem_provider& provider, const abort_signal& abort, const char* location, bool is_folder,
                  const file_stats& stats) override;

    const kpl::array<kpl::rc_ptr<folder_file_entry>>& entries() const { return m_entries; }

private:
    kpl::array<kpl::rc_ptr<folder_file_entry>> m_entries;
    bool m_recursive;
};
