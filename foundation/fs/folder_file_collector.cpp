#include "foundation/fs/folder_file_collector.h"

#include "foundation/kpl/io_exceptions.h"

bool folder_file_collector::on_entry(filesystem_provider& provider, const abort_signal& abort, const char* location,
                                     bool is_folder, const file_stats& stats) {
    abort.check();
    if (!is_folder) {
        m_entries.append(kpl::rc_ptr<folder_file_entry>(new folder_file_entry(location, stats)));
    } else if (m_recursive) {
        try {
            provider.list_folder(location, *this, abort);
        } catch (const ketrel_io::exception_io&) {
        }
    }
    return true;
}
