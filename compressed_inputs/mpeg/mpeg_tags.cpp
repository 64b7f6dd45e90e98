// mpeg_stream's tag writing: the kinds of tag the file has stay; a file with none (or only an ID3v1 tag that
// cannot hold the new info) gets the kinds of the preferred tag scheme.

#include <cstring>

#include "compressed_inputs/mpeg/mpeg_stream.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/service_registry.h"
#include "inputs/safe_rewrite.h"
#include "metadata/tags/tag_file_ops.h"
#include "metadata/tags/trailing_tag_io.h"

namespace {

struct tag_kinds {
    bool ape = false, id3v1 = false, id3v2 = false;
};

tag_kinds kinds_of(const char* tagtype) {
    tag_kinds k;
    const char* p = tagtype;
    while (p && *p) {
        const char* end = std::strchr(p, '|');
        const size_t n = end ? size_t(end - p) : std::strlen(p);
        auto is = [&](const char* word) { return std::strlen(word) == n && std::strncmp(p, word, n) == 0; };
        if (is("apev1") || is("apev2")) k.ape = true;
        if (is("id3v1")) k.id3v1 = true;
        if (is("id3v2") || is("id3v2.2") || is("id3v2.3") || is("id3v2.4")) k.id3v2 = true;
        p = end ? end + 1 : nullptr;
    }
    return k;
}

}  // namespace

void mpeg_stream::stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort) {
    if (subsong != 0) throw ketrel_io::exception_io_data();
    analyse(abort);
    if (!m_seekable) throw ketrel_io::exception_io_object_not_seekable();
    tag_kinds k;
    try {
        track_info_store existing;
        m_file->seek(0, abort);
        read_id3v2_and_trailing_tags(*m_file, existing, abort);
        k = kinds_of(existing.info_get_by_name("tagtype"));
    } catch (const ketrel_io::exception_io_data&) {
        k = tag_kinds();
    }
    if (!k.id3v2 && !k.ape) {
        bool fits = false;
        if (k.id3v1) {
            service_ptr<trailing_tag_io> trailing;
            service_class::get_single(trailing);
            fits = trailing->fits_id3v1(info);
        }
        if (!k.id3v1 || !fits) {
            switch (advanced_settings::preferred_mp3_tag_scheme()) {
            case advanced_settings::mp3_tag_scheme::id3v2_id3v1: k.id3v2 = k.id3v1 = true; break;
            case advanced_settings::mp3_tag_scheme::id3v2: k.id3v2 = true; break;
            case advanced_settings::mp3_tag_scheme::ape_id3v1: k.ape = k.id3v1 = true; break;
            case advanced_settings::mp3_tag_scheme::ape: k.ape = true; break;
            }
        }
    }
    const uint32_t flags = (k.id3v1 ? tag_flag_id3v1 : 0) | (k.id3v2 ? tag_flag_id3v2 : 0) | (k.ape ? tag_flag_apev2 : 0);
    if (!m_opened_by_input) {
        tag_rewriter_none refuse;
        trailing_tags_write(refuse, *m_file, flags, info, abort);
    } else {
        safe_rewrite rewrite(m_path.c_str());
        try {
            trailing_tags_write(rewrite, *m_file, flags, info, abort);
            rewrite.commit(m_file, abort);
        } catch (...) {
            rewrite.cancel();
            throw;
        }
    }
    // The leading tag may have changed size: the next reader analyses the file again.
    m_analysed = false;
}
