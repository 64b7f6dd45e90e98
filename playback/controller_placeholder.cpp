// Placeholder of the playback controller until playback exists: nothing ever plays and the controller has
// no engine to create or release.
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "playback/playback_controller.h"
#include "shell/message_loop_hooks.h"

namespace {

class controller_placeholder final : public service_static<playback_controller_ext> {
public:
    void start(int) override {}
    void stop() override {}
    bool is_playing() override { return false; }
    bool is_paused() override { return false; }
    void set_paused(bool) override {}
    void seek_by(double) override {}

    void start_up() override {}
    void release_engine() override {}
    void stop_for_shutdown() override { assert_not_in_playback_callback(); }
};

service_factory_single<controller_placeholder, playback_controller> g_controller;

}  // namespace
