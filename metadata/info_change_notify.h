#pragma once
// info_change_notify: the services told that the cached info of tracks changed (the media library and the
// playback controller implement it). The tag operations call every registered one, in registry order, on
// the main thread, with the changed handles sorted by handle identity and without repeats:
//
//     class library_refresh : public service_static<info_change_notify> {
//         void on_info_changed(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) override {
//             for (uint32_t i = 0; i < tracks.count(); ++i) redraw(tracks.get_item(i));
//         }
//     };
//     static service_factory_single<library_refresh, info_change_notify> g_refresh;
//
// The flag is 1 when the change came through tag_operations::notify_changed (the playing track keeps its
// dynamic info), 0 for every change the tag operations read from files themselves. An exception escaping
// a receiver ends the process through the crash path.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/services/service_base.h"
#include "metadata/track_handle.h"

class info_change_notify : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xD5286BB4, 0xFDED, 0x47EF, {0xA6, 0x23, 0x4C, 0x3F, 0xF0, 0x56, 0xDE, 0xC1}};

    virtual void on_info_changed(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) = 0;
};

// A receiver registered with tag_operations_ext2 (not counted: the registrant keeps it alive until it
// unregisters). Same call as above, after the services.
class info_change_callback {
public:
    virtual void on_info_changed(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) = 0;

protected:
    ~info_change_callback() = default;
};
