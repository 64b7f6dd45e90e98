// The user-interface module (ui/ui_module.h): the service that makes and owns the main window.
#include "ui/ui_module.h"

#include "foundation/services/service_registry.h"
#include "ui/main_window_object.h"

namespace {

class vorn_ui_module final : public service_static<ui_module> {
public:
    const char* get_name() override { return "VORN"; }

    // A window that cannot be made answers null: the shell then ends the start-up with its message.
    HWND init(end_session_hook_function hook) override {
        try {
            return main_window_object::create(hook)->window();
        } catch (std::exception&) {
            return nullptr;
        }
    }

    void shutdown() override { main_window_object::destroy(); }

    void show() override {
        if (main_window_object* window = main_window_object::instance()) ShowWindow(window->window(), SW_RESTORE);
    }
    void hide() override {
        if (main_window_object* window = main_window_object::instance()) ShowWindow(window->window(), SW_MINIMIZE);
    }
    bool is_visible() override {
        main_window_object* window = main_window_object::instance();
        return window != nullptr && IsWindowVisible(window->window()) && !IsIconic(window->window());
    }
    kpl::guid get_guid() override { return vorn_module_guid; }
    void show_now_playing() override {
        if (main_window_object* window = main_window_object::instance()) window->go_to_playing_track();
    }
};

service_factory_single<vorn_ui_module, ui_module> g_ui_module;

}  // namespace
