// matroska_album_art_reader: pictures from a Matroska file's attachments, chosen by file name.
//
// Image attachments (MIME type starting "image/", case-sensitive) named, without extension and in any letter
// case, "cover" or "front cover" are the front cover, "back cover" the back cover, "disc" or "media" the disc,
// "artist" the artist picture; a file with one image attachment and no named one has it as its front cover:
//
//     cover.jpg (image/jpeg) + back.png (image/png)   -> front found, back not ("back" is not a name)
//     scan.jpg (image/jpeg) alone                      -> front
//     Cover.JPG (Image/jpeg)                           -> nothing (not an image type)

#include <cstring>
#include <map>
#include <vector>

#include "compressed_inputs/matroska/matroska_index.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/path_names.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/abortable_file.h"
#include "inputs/album_art.h"

namespace Matroska {

bool matroska_accepts_extension(const char* extension);

namespace {

struct guid_less {
    bool operator()(const kpl::guid& a, const kpl::guid& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
};

class matroska_pictures final : public service_counted<album_art_reader> {
public:
    std::map<kpl::guid, std::vector<uint8_t>, guid_less> pictures;

    service_ptr<album_art_data> get(const kpl::guid& kind, const abort_signal&) override {
        auto it = pictures.find(kind);
        if (it == pictures.end()) throw exception_album_art_not_found();
        return album_art_data_make(it->second.data(), it->second.size());
    }
};

std::vector<uint8_t> attachment_bytes(ebml_reader& reader, const matroska_attachment& a) {
    if (a.data_size > 0xFFFFFFFFu) throw ketrel_io::exception_io_data();
    std::vector<uint8_t> bytes(static_cast<size_t>(a.data_size));
    reader.reset(a.data_position, a.data_position + a.data_size);
    if (!bytes.empty()) reader.read(bytes.data(), bytes.size());
    return bytes;
}

class matroska_album_art_reader final : public service_static<album_art_reader_service> {
public:
    bool accepts_extension(const char*, const char* extension) override { return matroska_accepts_extension(extension); }

    void open(service_ptr<album_art_reader>& out, file_stream_ref file, const char* path,
              const abort_signal& abort) override {
        filesystem_open_mode(file, path, 0, abort);
        if (!file->can_seek()) throw ketrel_io::exception_io_object_not_seekable();
        if (!file->is_in_memory()) abortable_file::wrap(file, abort_never, 4096);
        matroska_index index;
        ebml_reader reader(file, abort);
        matroska_scan(index, reader);
        if (!index.has(id::attachments)) throw exception_album_art_not_found();
        std::vector<matroska_attachment> attachments;
        attachments_handler handler(attachments);
        matroska_read_all(index, reader, id::attachments, handler);

        service_ref holder;
        auto* result = new matroska_pictures();
        holder.attach(static_cast<album_art_reader*>(result));
        static const struct {
            const char* name;
            const kpl::guid* kind;
        } names[] = {{"cover", &album_art_kind_front}, {"front cover", &album_art_kind_front},
                     {"back cover", &album_art_kind_back}, {"disc", &album_art_kind_disc},
                     {"media", &album_art_kind_disc},      {"artist", &album_art_kind_artist}};
        uint32_t images = 0;
        const matroska_attachment* first = nullptr;
        for (const matroska_attachment& a : attachments) {
            if (a.mime_type.compare(0, 6, "image/") != 0) continue;
            ++images;
            if (!first) first = &a;
            const kpl::utf8_string_tight stem = kpl::filename_without_extension(a.name.c_str());
            for (const auto& n : names) {
                if (utf8_compare_nocase_fast(stem.c_str(), n.name) == 0) {
                    result->pictures[*n.kind] = attachment_bytes(reader, a);
                    break;
                }
            }
        }
        if (result->pictures.empty()) {
            if (images != 1) throw exception_album_art_not_found();
            result->pictures[album_art_kind_front] = attachment_bytes(reader, *first);
        }
        out.attach_ref(std::move(holder));
    }
};

service_factory_single<matroska_album_art_reader, album_art_reader_service> g_matroska_album_art_reader;

}  // namespace
}  // namespace Matroska
