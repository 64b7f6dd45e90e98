#pragma once
// Writing tags into an Ogg file: each changed link gets new header pages built through its stream handler.
//
//     kpl::array<ogg_retag_entry> staged;   // {subsong, new info}; the last entry of a subsong wins
//     ogg_retag(file, "file://C:\\a.ogg", links, staged, abort);
//
// For every staged link the packets from its first one are passed to the handler until it answers
// ogg_rewrite_last (the BOS packet always ends its page); the packets that share the last header page are
// carried over unchanged; the new pages are numbered from 0 with the link's serial number. When every
// staged link's new header pages have the old byte size and page count, they are written over the old
// ones. Otherwise the whole file is written anew through a safe_rewrite (later pages renumbered, their
// checksums recomputed) and replaces the original only once complete; `file` is then reopened on the new
// file. Where no temporary may be made beside the file (a folder without write access), a write that
// changes sizes is refused with ketrel_io::exception_io_denied and the file is left as it was.
//
// An entry with a picture rebuilder writes pictures: the comment packet (as the stream handler's
// packet_role names it) is rebuilt by it; a handler without comment packets (FLAC) is
// ketrel_io::exception_io_data.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/ogg/ogg_links.h"
#include "inputs/ogg_stream_handler.h"
#include "metadata/track_info.h"

// Rebuilds a comment packet with another picture set, keeping its text comments.
class ogg_comment_rebuilder {
public:
    virtual ~ogg_comment_rebuilder() = default;
    virtual void rebuild(const uint8_t* old_packet, size_t size, const ogg_comment_magic& magic,
                         kpl::byte_array& out) = 0;
};

struct ogg_retag_entry {
    uint32_t subsong = 0;
    track_info_store info;
    std::shared_ptr<ogg_comment_rebuilder> pictures;  // null: rewrite the tags from `info`
};

void ogg_retag(file_stream_ref& file, const char* path, const kpl::array<ogg_link>& links,
               const kpl::array<ogg_retag_entry>& staged, const abort_signal& abort);
