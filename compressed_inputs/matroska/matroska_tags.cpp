#include "compressed_inputs/matroska/matroska_file.h"
#include "foundation/kpl/exceptions.h"

namespace Matroska {

void matroska_file::load_tags(const abort_signal&) { m_tags_loaded = true; }
void matroska_file::stage_info(uint32_t, const track_info&, const abort_signal&) {
    throw kpl::exception_not_implemented();
}
void matroska_file::commit_info(const abort_signal&) { throw kpl::exception_not_implemented(); }

}  // namespace Matroska
