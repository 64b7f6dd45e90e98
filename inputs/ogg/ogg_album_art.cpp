// The Ogg album-art reader and writer: pictures in the comment packet of the first chained stream.

#include <ogg/ogg.h>

#include "foundation/fs/file_system.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "inputs/album_art.h"
#include "inputs/ogg/ogg_input.h"
#include "inputs/ogg/ogg_links.h"
#include "inputs/ogg/ogg_page_reader.h"
#include "inputs/ogg/ogg_retag.h"
#include "inputs/ogg_stream_handler.h"
#include "inputs/picture_comments.h"

namespace {

class picture_rebuilder final : public ogg_comment_rebuilder {
public:
    explicit picture_rebuilder(const album_art_map& pictures) : m_pictures(pictures) {}
    void rebuild(const uint8_t* old_packet, size_t size, const ogg_comment_magic& magic,
                 kpl::byte_array& out) override {
        picture_comments_write(old_packet, size, magic, m_pictures, out);
    }

private:
    album_art_map m_pictures;
};

class ogg_album_art_format final : public album_art_format {
public:
    void read_pictures(file_stream_ref& file, album_art_map& out, const abort_signal& abort) override {
        if (!file->can_seek() || file->is_remote()) throw exception_album_art_not_found();
        ogg_position_keeper keep(*file, abort);
        kpl::array<ogg_link> links;
        ogg_find_links(file, links, abort);
        if (links.count() == 0) throw ketrel_io::exception_io_data();
        {
            ogg_page_reader reader(file);
            reader.seek(links[0].start, abort);
            ogg_packet p;
            if (!reader.next_packet(p, links[0].end(), abort)) throw ketrel_io::exception_io_data();
            service_ptr<ogg_header_rewriter> rewriter;
            ogg_stream_handler_find(rewriter, p.packet, static_cast<size_t>(p.bytes));
            service_ptr<ogg_stream_handler> handler;
            if (!service_query(rewriter.get(), handler)) throw ketrel_io::exception_io_data();
            for (int64_t n = 0;; ++n) {
                if (n > 0 && !reader.next_packet(p, links[0].end(), abort)) throw ketrel_io::exception_io_data();
                uint32_t role = handler->packet_role(n, p.granulepos, p.packet, static_cast<size_t>(p.bytes));
                if (role & ogg_rewrite_comment)
                    picture_comments_read(p.packet, static_cast<size_t>(p.bytes), handler->comment_magic().length, out);
                if (role & ogg_rewrite_last) break;
            }
        }
        keep.restore(abort);
    }

    void write_pictures(file_stream_ref& file, const char* path, const album_art_map& pictures,
                        const abort_signal& abort) override {
        kpl::array<ogg_link> links;
        ogg_find_links(file, links, abort);
        if (links.count() == 0) throw ketrel_io::exception_io_data();
        kpl::array<ogg_retag_entry> staged;
        ogg_retag_entry entry;
        entry.subsong = 0;
        entry.pictures = std::make_shared<picture_rebuilder>(pictures);
        staged.append(std::move(entry));
        ogg_retag(file, path, links, staged, abort);
    }

    bool is_supported_kind(const kpl::guid& kind) override {
        uint32_t type;
        return album_art_kind_to_picture_type(kind, type);
    }
};

ogg_album_art_format g_format;

class ogg_album_art_reader_service final : public service_static<album_art_reader_service> {
public:
    bool accepts_extension(const char*, const char* extension) override { return ogg_accepts_extension(extension); }
    void open(service_ptr<album_art_reader>& out, file_stream_ref file, const char* path,
              const abort_signal& abort) override {
        album_art_editor_open_reader(out, g_format, file, path, abort);
    }
};

class ogg_album_art_writer_service final : public service_static<album_art_writer_service> {
public:
    bool accepts_extension(const char*, const char* extension) override { return ogg_accepts_extension(extension); }
    void open(service_ptr<album_art_writer>& out, file_stream_ref file, const char* path,
              const abort_signal& abort) override {
        album_art_editor_open_writer(out, g_format, file, path, abort);
    }
};

service_factory_single<ogg_album_art_reader_service, album_art_reader_service> g_reader;
service_factory_single<ogg_album_art_writer_service, album_art_writer_service> g_writer;

}  // namespace
