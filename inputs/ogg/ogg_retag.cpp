#include "inputs/ogg/ogg_retag.h"

#include <ogg/ogg.h>

#include <cstring>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/abortable_file.h"
#include "inputs/ogg/ogg_page_reader.h"
#include "inputs/safe_rewrite.h"

namespace {

// The rebuilt header pages of one staged link.
struct header_plan {
    uint32_t link = 0;
    kpl::byte_array pages;
    uint64_t new_page_count = 0;
    uint64_t old_end = 0;  // where the unchanged data of the link begins
    uint64_t old_page_count = 0;
    uint32_t first_sequence = 0;
};

class stream_guard {
public:
    explicit stream_guard(int serial) { ogg_stream_init(&state, serial); }
    ~stream_guard() { ogg_stream_clear(&state); }
    stream_guard(const stream_guard&) = delete;
    stream_guard& operator=(const stream_guard&) = delete;
    ogg_stream_state state;
};

void append_bytes(kpl::byte_array& out, const void* data, size_t size) {
    uint32_t at = out.count();
    out.resize_pow2(at + static_cast<uint32_t>(size));
    out.set_count(at + static_cast<uint32_t>(size));
    if (size) std::memcpy(out.data() + at, data, size);
}

void take_pages(ogg_stream_state& os, bool flush, header_plan& plan) {
    ogg_page page;
    while (flush ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page)) {
        append_bytes(plan.pages, page.header, static_cast<size_t>(page.header_len));
        append_bytes(plan.pages, page.body, static_cast<size_t>(page.body_len));
        ++plan.new_page_count;
    }
}

void build_headers(file_stream_ref in, const ogg_link& link, const ogg_retag_entry& entry, header_plan& plan,
                   const abort_signal& abort) {
    ogg_page_reader reader(in);
    reader.seek(link.start, abort);
    ogg_packet first;
    if (!reader.next_packet(first, link.end(), abort)) throw ketrel_io::exception_io_data();
    service_ptr<ogg_header_rewriter> handler;
    ogg_stream_handler_find(handler, first.packet, static_cast<size_t>(first.bytes));
    service_ptr<ogg_stream_handler> comments;
    if (entry.pictures && !service_query(handler.get(), comments)) throw ketrel_io::exception_io_data();

    reader.seek(link.start, abort);
    ogg_page page;
    ogg_page_place place;
    if (!reader.next_page(page, place, link.end(), abort)) throw ketrel_io::exception_io_data();
    plan.first_sequence = static_cast<uint32_t>(ogg_page_pageno(&page));
    stream_guard out(place.serial);
    out.state.pageno = static_cast<long>(plan.first_sequence);

    reader.seek(link.start, abort);
    bool done = false;
    for (int64_t n = 0;; ++n) {
        ogg_packet p;
        if (!reader.next_packet(p, link.end(), abort)) {
            if (!done) throw ketrel_io::exception_io_data();
            break;
        }
        kpl::byte_array bytes;
        append_bytes(bytes, p.packet, static_cast<size_t>(p.bytes));
        uint32_t answer = 0;
        if (!done) {
            if (entry.pictures) {
                uint32_t role = comments->packet_role(n, p.granulepos, bytes.data(), bytes.count());
                if (role & ogg_rewrite_comment) {
                    kpl::byte_array rebuilt;
                    entry.pictures->rebuild(bytes.data(), bytes.count(), comments->comment_magic(), rebuilt);
                    bytes = std::move(rebuilt);
                }
                answer = role & (ogg_rewrite_last | ogg_rewrite_flush_page);
            } else {
                answer = handler->rewrite_header_packet(entry.info, n, p.granulepos, bytes);
            }
        }
        ogg_packet o = {};
        o.packet = bytes.data();
        o.bytes = static_cast<long>(bytes.count());
        o.b_o_s = n == 0;
        o.e_o_s = p.e_o_s;
        o.granulepos = p.granulepos < 0 ? 0 : p.granulepos;
        o.packetno = n;
        if (ogg_stream_packetin(&out.state, &o) != 0) throw ketrel_io::exception_io_data();
        // The beginning-of-stream packet is alone on its page, as every Ogg mapping requires.
        take_pages(out.state, n == 0 || (answer & ogg_rewrite_flush_page), plan);
        if (answer & ogg_rewrite_last) done = true;
        if (done && reader.stream_drained()) break;
    }
    take_pages(out.state, true, plan);
    plan.old_end = reader.offset();
    plan.old_page_count = reader.pages_read();
}

void copy_range(file_stream& in, file_stream& out, uint64_t from, uint64_t to, const abort_signal& abort) {
    if (to <= from) return;
    in.seek(from, abort);
    file_copy_exact(in, out, to - from, abort);
}

// The rest of a staged link after its headers, with page sequence numbers continuing the new headers.
void copy_link_rest(file_stream_ref in, file_stream& out, const header_plan& plan, uint64_t link_end,
                    const abort_signal& abort) {
    ogg_page_reader reader(in);
    reader.seek(plan.old_end, abort);
    ogg_page page;
    ogg_page_place place;
    if (!reader.next_page(page, place, link_end, abort)) return;
    const int64_t delta = int64_t(plan.first_sequence) + int64_t(plan.new_page_count) - ogg_page_pageno(&page);
    if (delta == 0) {
        copy_range(*in, out, plan.old_end, link_end, abort);
        return;
    }
    kpl::byte_array header, body;
    do {
        int64_t sequence = ogg_page_pageno(&page) + delta;
        if (sequence < 0 || sequence > 0xFFFFFFFFLL) throw ketrel_io::exception_io_data();
        header.set_count(0);
        body.set_count(0);
        append_bytes(header, page.header, static_cast<size_t>(page.header_len));
        append_bytes(body, page.body, static_cast<size_t>(page.body_len));
        for (int k = 0; k < 4; ++k) header[18 + k] = static_cast<uint8_t>(uint64_t(sequence) >> (8 * k));
        ogg_page copy = {header.data(), static_cast<long>(header.count()), body.data(), static_cast<long>(body.count())};
        ogg_page_checksum_set(&copy);
        out.write(header.data(), header.count(), abort);
        out.write(body.data(), body.count(), abort);
    } while (reader.next_page(page, place, link_end, abort));
}

// Everything from link `first` on, with the staged links' new headers.
void write_links_from(file_stream_ref in, file_stream& out, const kpl::array<ogg_link>& links,
                      const kpl::array<header_plan>& plans, uint32_t first, uint64_t size, const abort_signal& abort) {
    for (uint32_t i = first; i < links.count(); ++i) {
        const ogg_link& link = links[i];
        const uint64_t link_end = link.end() == ~uint64_t(0) || link.end() > size ? size : link.end();
        const header_plan* plan = nullptr;
        for (const header_plan& candidate : plans)
            if (candidate.link == i) plan = &candidate;
        if (!plan) {
            copy_range(*in, out, link.start, link_end, abort);
            continue;
        }
        out.write(plan->pages.data(), plan->pages.count(), abort);
        copy_link_rest(in, out, *plan, link_end, abort);
    }
}

}  // namespace

void ogg_retag(file_stream_ref& file, const char* path, const kpl::array<ogg_link>& links,
               const kpl::array<ogg_retag_entry>& staged, const abort_signal& abort) {
    kpl::array<header_plan> plans;
    {
        file_stream_ref in = file;
        abortable_file::wrap(in, abort, 4096);
        for (uint32_t i = 0; i < links.count(); ++i) {
            const ogg_retag_entry* entry = nullptr;
            for (const ogg_retag_entry& candidate : staged)
                if (candidate.subsong == i) entry = &candidate;
            if (!entry) continue;
            header_plan plan;
            plan.link = i;
            build_headers(in, links[i], *entry, plan, abort);
            plans.append(std::move(plan));
        }
        if (plans.count() == 0) return;

        bool fits = true;
        for (const header_plan& plan : plans)
            fits = fits && plan.pages.count() == plan.old_end - links[plan.link].start &&
                   plan.new_page_count == plan.old_page_count;
        if (fits) {
            for (const header_plan& plan : plans) {
                in->seek(links[plan.link].start, abort);
                in->write(plan.pages.data(), plan.pages.count(), abort);
            }
            return;
        }
    }

    const uint64_t size = file->get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    safe_rewrite rewrite(path);
    file_stream_ref out;
    bool begun = false;
    try {
        begun = rewrite.begin(out, abort);
        // Without a temporary beside the file there is no way to change its size that a failure part way
        // could not leave half-written: the write is refused and the file stays as it was.
        if (!begun) throw ketrel_io::exception_io_denied();
        {
            file_stream_ref in = file;
            abortable_file::wrap(in, abort, 4096);
            copy_range(*in, *out, 0, links[0].start, abort);
            write_links_from(in, *out, links, plans, 0, size, abort);
        }
        out.reset();
        rewrite.commit(file, abort);
    } catch (...) {
        out.reset();
        if (begun) rewrite.cancel();
        throw;
    }
}
