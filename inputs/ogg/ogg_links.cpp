#include "inputs/ogg/ogg_links.h"

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/ogg/ogg_page_reader.h"

namespace {

class link_search {
public:
    link_search(ogg_page_reader& reader, kpl::array<uint64_t>& starts, const abort_signal& abort)
        : m_reader(reader), m_starts(starts), m_abort(abort) {}

    // Adds, in file order, the link starts in [begin, end); `serial` is the serial of the data before begin,
    // `end_serial` the serial of the page at end.
    void search(uint64_t begin, uint64_t end, int serial, int end_serial) {
        for (;;) {
            if (end_serial == serial) return;
            if (end < begin) throw ketrel_io::exception_io_data();
            if (begin == end) {
                m_starts.append(begin);
                return;
            }
            uint64_t mid = begin + (end - begin) / 2;
            ogg_page_place page;
            for (;;) {
                if (m_reader.page_at_or_after(mid, end, page, m_abort)) break;
                if (mid == begin) throw ketrel_io::exception_io_data();
                mid = begin + (mid - begin) / 2;
            }
            search(begin, page.offset, serial, page.serial);
            begin = page.end();
            serial = page.serial;
        }
    }

private:
    ogg_page_reader& m_reader;
    kpl::array<uint64_t>& m_starts;
    const abort_signal& m_abort;
};

}  // namespace

void ogg_find_links(file_stream_ref file, kpl::array<ogg_link>& out, const abort_signal& abort) {
    out.clear();
    const uint64_t size = file->get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    ogg_page_reader reader(file);
    ogg_page_place first;
    if (!reader.page_at_or_after(0, size, first, abort)) throw ketrel_io::exception_io_data();
    ogg_page_place last = reader.page_before(size, first.offset, abort);
    kpl::array<uint64_t> starts;
    starts.append(first.offset);
    link_search search(reader, starts, abort);
    if (last.offset > first.offset) search.search(first.end(), last.offset, first.serial, last.serial);
    for (uint32_t i = 0; i < starts.count(); ++i) {
        uint64_t next = i + 1 < starts.count() ? starts[i + 1] : size;
        out.append(ogg_link{starts[i], next - starts[i]});
    }
}
