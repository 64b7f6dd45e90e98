// Stand-in for the tag operations service until the tag editing subsystem exists: only what the
// decoding layer asks of it, an info-refresh batch that reads a file's subsongs and gives their browse
// records to the file's track handles. The handles take their own lock, so committing on the calling
// thread is safe; no change notification is sent (nobody listens yet).
#include "properties/tag_operations.h"

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_registry.h"
#include "inputs/input_service.h"
#include "metadata/browse_fields.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"

namespace {

class refresh_batch final : public service_counted<info_refresh_batch> {
public:
    void add(const char* path, track_info_reader* reader, const abort_signal& abort) override {
        uint32_t count = reader->subsong_count();
        file_stats stats = reader->get_file_stats(abort);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t subsong = reader->subsong_id(i);
            item it;
            reader->get_info(subsong, it.info, abort);
            it.location = track_location(path, subsong);
            it.stamp = stats.timestamp;
            m_items.append(it);
        }
    }

    void commit() override {
        for (item& it : m_items) {
            browse_fields_builder record;
            record.fill_from_info(it.info);
            track_handle_ref handle;
            track_handle_registry::get().get_handle(handle, it.location);
            handle->set_info(record, it.stamp, 0, false);
        }
        m_items.clear();
    }

private:
    struct item {
        track_location location;
        track_info_store info;
        uint64_t stamp = 0;
    };
    kpl::array<item> m_items;
};

class tag_operations_placeholder final : public service_static<tag_operations, tag_operations_ext> {
public:
    void create_info_refresh_batch(service_ptr<info_refresh_batch>& out) override {
        service_ref r;
        r.attach(static_cast<info_refresh_batch*>(new refresh_batch()));
        out.attach_ref(std::move(r));
    }
};

service_factory_single<tag_operations_placeholder, tag_operations> g_tag_operations;

}  // namespace
