#include "metadata/decoding/id3v1_fit.h"

#include "foundation/services/service_registry.h"
#include "metadata/tags/trailing_tag_io.h"

bool trailing_tags_fit_id3v1(const track_info& info) {
    service_ptr<trailing_tag_io> tags;
    service_class::get_single(tags);
    return tags->fits_id3v1(info);
}
