#include "shell/ui_state_service.h"

#include "foundation/services/service_registry.h"
#include "shell/app_state.h"
#include "ui/preferences_dialog.h"

namespace {

constexpr WORD k_program_icon = 263;

class ui_state final : public service_static<ui_state_service> {
public:
    bool is_visible() override { return app_state.ui && app_state.ui->is_visible(); }
    void show() override {
        if (app_state.ui) app_state.ui->show();
    }
    void hide() override {
        if (app_state.ui) app_state.ui->hide();
    }
    HICON get_icon() override {
        return static_cast<HICON>(
            LoadImageW(app_module_handle(), MAKEINTRESOURCEW(k_program_icon), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    }
    HICON get_icon_sized(int width, int height) override {
        return static_cast<HICON>(
            LoadImageW(app_module_handle(), MAKEINTRESOURCEW(k_program_icon), IMAGE_ICON, width, height, 0));
    }
    void show_preferences(const kpl::guid& page) override { preferences_dialog::show_page(page); }
};

service_factory_single<ui_state, ui_state_service> g_ui_state;

}  // namespace
