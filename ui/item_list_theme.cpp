// The item list's themed selection, through uxtheme functions found at run time.
#include "ui/item_list_theme.h"

namespace {

// Parts and states of the "LISTVIEW" class.
constexpr int k_list_item = 1;               // LVP_LISTITEM
constexpr int k_selected = 3;                // LISS_SELECTED
constexpr int k_selected_not_focused = 5;    // LISS_SELECTEDNOTFOCUS

struct uxtheme_functions {
    using open_fn = HANDLE(WINAPI*)(HWND, LPCWSTR);
    using close_fn = HRESULT(WINAPI*)(HANDLE);
    using draw_fn = HRESULT(WINAPI*)(HANDLE, HDC, int, int, const RECT*, const RECT*);
    using defined_fn = BOOL(WINAPI*)(HANDLE, int, int);
    using set_fn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);

    open_fn open = nullptr;
    close_fn close = nullptr;
    draw_fn draw = nullptr;
    defined_fn defined = nullptr;
    set_fn set_window_theme = nullptr;

    template <class F>
    static void find(HMODULE module, const char* name, F& out) {
        out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }

    uxtheme_functions() {
        HMODULE module = LoadLibraryW(L"uxtheme.dll");
        if (module == nullptr) return;
        find(module, "OpenThemeData", open);
        find(module, "CloseThemeData", close);
        find(module, "DrawThemeBackground", draw);
        find(module, "IsThemePartDefined", defined);
        find(module, "SetWindowTheme", set_window_theme);
        if (!open || !close || !draw || !defined) open = nullptr;
    }
};

const uxtheme_functions& uxtheme() {
    static const uxtheme_functions functions;
    return functions;
}

}  // namespace

void list_theme::open(HWND window) {
    const uxtheme_functions& f = uxtheme();
    if (f.set_window_theme) f.set_window_theme(window, L"explorer", nullptr);
    reopen(window);
}

void list_theme::reopen(HWND window) {
    close();
    const uxtheme_functions& f = uxtheme();
    if (!f.open) return;
    m_theme = f.open(window, L"LISTVIEW");
    m_list_item = m_theme != nullptr && f.defined(m_theme, k_list_item, 0);
}

void list_theme::close() {
    if (m_theme != nullptr) uxtheme().close(m_theme);
    m_theme = nullptr;
    m_list_item = false;
}

bool list_theme::draw_selected(HDC dc, const RECT& cell, const RECT* clip, bool focused) const {
    if (!m_list_item) return false;
    return SUCCEEDED(uxtheme().draw(m_theme, dc, k_list_item, focused ? k_selected : k_selected_not_focused, &cell,
                                    clip));
}
