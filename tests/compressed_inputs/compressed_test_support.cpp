#include "tests/compressed_inputs/compressed_test_support.h"

#include "foundation/fs/memory_file.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"

namespace compressed_test {

void services_built() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

file_stream_ref memory_file_with(const std::vector<uint8_t>& bytes) {
    file_stream_ref file = memory_file::create();
    if (!bytes.empty()) file->write(bytes.data(), bytes.size(), abort_never);
    file->seek(0, abort_never);
    return file;
}

std::vector<uint8_t> file_bytes(file_stream& file) {
    const uint64_t size = file.get_size(abort_never);
    std::vector<uint8_t> out(static_cast<size_t>(size));
    file.seek(0, abort_never);
    if (size) file.read_exact(out.data(), out.size(), abort_never);
    return out;
}

}  // namespace compressed_test
