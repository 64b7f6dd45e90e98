#pragma once
// track_info_writer_tag_remover: an extra interface of an info writer whose format can drop all of a file's
// tags in one step. Asked for with service_query on the writer:
//
//     service_ptr<track_info_writer_tag_remover> remover;
//     if (service_query(writer.get(), remover)) remover->remove_all_tags(abort);

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"

class track_info_writer_tag_remover : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x601C0B4C, 0xF915, 0x486C, {0xA3, 0x77, 0x00, 0xE3, 0x9C, 0x4D, 0xB7, 0xE4}};

    // Removes the tags from the file at once.
    virtual void remove_all_tags(const abort_signal& abort) = 0;
};
