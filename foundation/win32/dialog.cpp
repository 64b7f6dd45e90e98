#include "foundation/win32/dialog.h"

#include "foundation/kpl/text_lookup.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/window_text.h"
#include "shell/message_loop_hooks.h"

namespace {

// The code a modal dialog ends with when its handler failed; run_modal throws instead of answering it.
constexpr INT_PTR k_failed_code = -2;

bool registry_instance(service_ptr<modeless_dialog_registry>& out) {
    const service_class_entry* entry = service_class::find(modeless_dialog_registry::class_guid);
    service_ref found;
    if (!service_class::create_instance(entry, 0, found)) return false;
    out.attach_ref(std::move(found));
    return true;
}

}  // namespace

void modeless_dialog_ref::set(HWND window) {
    service_ptr<modeless_dialog_registry> registry;
    const bool have_registry = registry_instance(registry);
    if (m_window != nullptr && have_registry) registry->remove(m_window);
    m_window = nullptr;
    if (window != nullptr && have_registry) {
        registry->add(window);
        m_window = window;
    }
}

void dialog_set_texts(HWND dialog, const dialog_text* table, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        kpl::utf8_string_pow2 text;
        if (!kpl::lookup_text(table[i].text_id, text) || text.length() == 0) continue;
        if (table[i].control == dialog_caption) {
            window_set_text(dialog, text);
        } else {
            dialog_item_set_text(dialog, table[i].control, text);
        }
    }
}

INT_PTR dialog_object::run_modal(HWND parent, int resource_id) {
    return run(parent, MAKEINTRESOURCEW(resource_id), nullptr);
}

INT_PTR dialog_object::run_modal_indirect(HWND parent, const DLGTEMPLATE* dialog_template) {
    return run(parent, nullptr, dialog_template);
}

HWND dialog_object::create_modeless(HWND parent, int resource_id) {
    return create(parent, MAKEINTRESOURCEW(resource_id), nullptr);
}

HWND dialog_object::create_modeless_indirect(HWND parent, const DLGTEMPLATE* dialog_template) {
    return create(parent, nullptr, dialog_template);
}

INT_PTR dialog_object::run(HWND parent, const wchar_t* resource, const DLGTEMPLATE* dialog_template) {
    if (!prepare_thunk()) return -1;
    if (!register_for_creation(this)) {
        SetLastError(ERROR_OUTOFMEMORY);
        return -1;
    }
    m_modal = true;
    set_capture_exceptions(true);
    HINSTANCE module = GetModuleHandleW(nullptr);
    const INT_PTR code = dialog_template
                             ? DialogBoxIndirectParamW(module, dialog_template, parent, &start_dialog_procedure, 0)
                             : DialogBoxParamW(module, resource, parent, &start_dialog_procedure, 0);
    const DWORD error = GetLastError();
    set_capture_exceptions(false);
    cancel_creation(this);
    m_scope.leave();
    rethrow_captured();
    SetLastError(error);
    return code;
}

HWND dialog_object::create(HWND parent, const wchar_t* resource, const DLGTEMPLATE* dialog_template) {
    if (!prepare_thunk() || !register_for_creation(this)) throw exception_win32(ERROR_OUTOFMEMORY);
    m_modal = false;
    set_capture_exceptions(true);
    HINSTANCE module = GetModuleHandleW(nullptr);
    HWND window = dialog_template
                      ? CreateDialogIndirectParamW(module, dialog_template, parent, &start_dialog_procedure, 0)
                      : CreateDialogParamW(module, resource, parent, &start_dialog_procedure, 0);
    const DWORD error = GetLastError();
    set_capture_exceptions(false);
    cancel_creation(this);
    if (has_captured()) {
        if (window != nullptr) DestroyWindow(window);
        rethrow_captured();
    }
    if (window == nullptr) throw exception_win32(error ? error : ERROR_CANNOT_MAKE);
    return window;
}

void dialog_object::on_exception_captured(HWND window) {
    if (m_modal && window != nullptr) EndDialog(window, k_failed_code);
}

bool dialog_object::route_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (message == WM_INITDIALOG) {
        if (m_modal) {
            m_scope.enter(window);
        } else {
            m_modeless.set(window);
        }
    } else if (message == WM_DESTROY && !m_modal) {
        m_modeless.clear();
    }
    return process_message(window, message, wparam, lparam, result, 0);
}
