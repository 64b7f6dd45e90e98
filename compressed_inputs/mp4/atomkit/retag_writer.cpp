// The retag writer: the rebuilt movie box and where it goes.

#include "compressed_inputs/mp4/atomkit/retag_writer.h"

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/atom_stream.h"
#include "compressed_inputs/mp4/atomkit/box_buffer.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "compressed_inputs/mp4/atomkit/movie_file.h"
#include "foundation/kpl/exceptions.h"

namespace atomkit {

namespace {

void copy_payload(byte_stream& s, uint64_t size, box_buffer& out) {
    if (size >= 0x80000000u) kpl::throw_bad_alloc();
    s.check_available(size);
    uint8_t block[4096];
    while (size) {
        const size_t n = size < sizeof block ? size_t(size) : sizeof block;
        s.read_exact(block, n);
        out.append(block, n);
        size -= n;
    }
}

void copy_box(byte_stream& s, uint32_t type, uint64_t size, box_buffer& out) {
    box_buffer payload;
    copy_payload(s, size, payload);
    write_box(out, type, payload.data(), payload.size());
}

void append_box(box_buffer& out, uint32_t type, const box_buffer& payload) {
    write_box(out, type, payload.data(), payload.size());
}

// Walks a container's payload, handing each child to f(stream, type, size).
template <class F>
void each_child(byte_stream& s, uint64_t size, F f) {
    uint64_t consumed = 0;
    while (consumed < size) {
        const box_header h = read_child_header(s, size - consumed);
        s.check_available(h.payload_size);
        atom_stream child(s, h.payload_size);
        f(child, h.type, h.payload_size);
        child.finish();
        consumed += h.header_size + h.payload_size;
    }
}

void rebuild_stsd(byte_stream& s, uint64_t size, box_buffer& out) {
    box_buffer payload;
    if (size < 8) throw exception("invalid stsd atom");
    copy_payload(s, 8, payload);
    each_child(s, size - 8, [&](byte_stream& c, uint32_t type, uint64_t n) { copy_box(c, type, n, payload); });
    append_box(out, fourcc("stsd"), payload);
}

void rebuild_stbl(byte_stream& s, uint64_t size, box_buffer& out) {
    box_buffer payload;
    bool ctts_seen = false;
    each_child(s, size, [&](byte_stream& c, uint32_t type, uint64_t n) {
        if (type == fourcc("stsd")) {
            rebuild_stsd(c, n, payload);
        } else if (type == fourcc("ctts")) {
            if (ctts_seen) return;  // a second one is dropped
            ctts_seen = true;
            copy_box(c, type, n, payload);
        } else {
            copy_box(c, type, n, payload);
        }
    });
    append_box(out, fourcc("stbl"), payload);
}

void rebuild_container(byte_stream& s, uint32_t type, uint64_t size, box_buffer& out) {
    box_buffer payload;
    each_child(s, size, [&](byte_stream& c, uint32_t t, uint64_t n) {
        if (t == fourcc("mdia") || t == fourcc("minf")) rebuild_container(c, t, n, payload);
        else if (t == fourcc("stbl")) rebuild_stbl(c, n, payload);
        else copy_box(c, t, n, payload);
    });
    append_box(out, type, payload);
}

}  // namespace

void write_movie(movie_file& model, file_backed_stream& file, uint32_t mode) {
    model.prepare_user_data(mode);

    file.seek(model.moov_offset + 8);
    if (model.moov_size < 8) throw exception("invalid box/atom header");
    atom_stream old_movie(file, model.moov_size - 8);
    box_buffer movie, udta;
    each_child(old_movie, model.moov_size - 8, [&](byte_stream& c, uint32_t type, uint64_t n) {
        if (type == fourcc("udta")) {
            each_child(c, n, [&](byte_stream& u, uint32_t t, uint64_t m) {
                if (t == fourcc("meta") || t == fourcc("chpl") || t == fourcc("tags") || t == fourcc("indx")) return;
                copy_box(u, t, m, udta);
            });
        } else if (type == fourcc("trak")) {
            rebuild_container(c, type, n, movie);
        } else {
            copy_box(c, type, n, movie);
        }
    });

    if (model.ud.has_ilst) {
        box_buffer meta;
        write_meta_box(model.ud, meta);
        append_box(udta, fourcc("meta"), meta);
    }
    if (chpl_wanted(model.chapters)) {
        box_buffer chpl;
        write_chpl(model.chapters, chpl);
        append_box(udta, fourcc("chpl"), chpl);
    }
    if (!model.ud.index_map.empty()) {
        box_buffer indx;
        write_index_map(model.ud.index_map, indx);
        append_box(udta, fourcc("indx"), indx);
    }
    if (model.ud.has_tags) {
        box_buffer tags;
        write_tags_box(model.ud, tags);
        append_box(udta, fourcc("tags"), tags);
    }
    append_box(movie, fourcc("udta"), udta);
    box_buffer whole;
    append_box(whole, fourcc("moov"), movie);

    if (model.moov_offset + model.moov_size >= model.data_end) {
        // In place. A box that grows writes its part beyond the old one first, so a full disk is met before the
        // old box is touched (and that part is taken away again); the rest only overwrites bytes the file has.
        size_t head = whole.size();
        const uint64_t old_size = file.size();
        try {
            if (whole.size() > model.moov_size) {
                head = size_t(model.moov_size);
                file.seek(model.moov_offset + head);
                file.write(whole.data() + head, whole.size() - head);
            }
            file.seek(model.moov_offset);
            file.write(whole.data(), head);
        } catch (...) {
            try {
                if (old_size != unknown_size && whole.size() > model.moov_size) file.truncate(old_size);
            } catch (...) {
            }
            throw;
        }
        file.seek(model.moov_offset + whole.size());
        model.moov_size = whole.size();
        model.data_end = model.moov_offset + whole.size();
    } else {
        // The new box goes after everything else first; only once it is complete is the old one given up, so
        // the file always holds exactly one whole movie box. A failure before that takes the new box away again.
        const uint64_t old_size = file.size();
        bool type_touched = false;
        try {
            file.seek(model.data_end);
            file.write(whole.data(), whole.size());
            file.seek(model.moov_offset + 4);
            type_touched = true;
            file.write("free", 4);
        } catch (...) {
            try {
                if (type_touched) {
                    file.seek(model.moov_offset + 4);
                    file.write("moov", 4);
                }
                if (old_size != unknown_size) file.truncate(old_size);
            } catch (...) {
            }
            throw;
        }
        model.moov_offset = model.data_end;
        model.moov_size = whole.size();
        model.data_end = model.moov_offset + whole.size();
    }
    file.truncate(model.data_end);
}

}  // namespace atomkit
