#include "foundation/win32/in_place_edit.h"

#include <commctrl.h>
#include <shldisp.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "foundation/win32/listview.h"
#include "foundation/win32/window_object.h"
#include "foundation/win32/window_text.h"

#ifndef WM_MOUSEHWHEEL
#define WM_MOUSEHWHEEL 0x020E
#endif

namespace {

const CLSID k_clsid_autocomplete = {0x00BB2763, 0x6A77, 0x11D0, {0xA5, 0x35, 0x00, 0xC0, 0x4F, 0xD7, 0xD0, 0x62}};
const IID k_iid_autocomplete2 = {0xEAC04BC0, 0x3791, 0x11D2, {0xBB, 0x95, 0x00, 0x60, 0x97, 0x7B, 0x46, 0x4C}};

bool has_line_break(const char* text) {
    for (; *text; ++text)
        if (*text == '\r' || *text == '\n') return true;
    return false;
}

}  // namespace

// --- pure rules --------------------------------------------------------------------------------------------

int in_place_edit::report_code(int end_code, bool text_changed) {
    return end_code != cancelled && text_changed ? end_code | changed : end_code;
}

bool in_place_edit::next_cell_for(const int* order, int columns, int items, int item, int column, int code,
                                  int& next_item, int& next_column) {
    if (columns <= 0 || items <= 0) return false;
    int position = 0;
    while (position < columns && order[position] != column) ++position;
    if (position == columns) return false;
    switch (code & 0xFF) {
        case next_cell:
            if (++position == columns) {
                position = 0;
                ++item;
            }
            break;
        case previous_cell:
            if (--position < 0) {
                position = columns - 1;
                --item;
            }
            break;
        case accepted:
            ++item;
            break;
        default:
            return false;
    }
    if (item < 0 || item >= items) return false;
    next_item = item;
    next_column = order[position];
    return true;
}

bool in_place_edit::move_to_next_cell(const int* order, const bool* editable, int columns, int items, int item,
                                      int column, int code, int& next_item, int& next_column) {
    if ((code & 0xFF) == accepted) return next_cell_for(order, columns, items, item, column, code, next_item, next_column);
    // Each step passes one column; a whole round without an editable one means there is none.
    for (int step = 0; step < columns; ++step) {
        if (!next_cell_for(order, columns, items, item, column, code, item, column)) return false;
        if (column >= 0 && column < columns && editable[column]) {
            next_item = item;
            next_column = column;
            return true;
        }
    }
    return false;
}

// --- the editor ----------------------------------------------------------------------------------------------

class in_place_editor final : public window_object {
public:
    in_place_editor(in_place_edit_host* host, std::shared_ptr<kpl::utf8_string_pow2> value, HWND list)
        : m_host(host), m_value(std::move(value)), m_list(list), m_edit_hook(*this) {}
    ~in_place_editor() override;

    bool open(const RECT& cell, uint32_t flags, IEnumString* source, DWORD options, service_ref notifier);
    // Ends with a code (once, while the edit control is enabled).
    void end(int code);
    // Closes without a report.
    void close_silently() {
        m_host = nullptr;
        m_notifier.release();
        if (handle()) DestroyWindow(handle());
    }
    HWND edit() const { return m_edit; }
    HWND top_level() const { return GetAncestor(m_edit, GA_ROOT); }

    bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override;

private:
    void on_final_message(HWND) override;

    class edit_subclass final : public window_subclass {
    public:
        explicit edit_subclass(in_place_editor& owner) : m_owner(owner) {}
        bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                             DWORD) override;

    private:
        in_place_editor& m_owner;
    };

    in_place_edit_host* m_host;
    std::shared_ptr<kpl::utf8_string_pow2> m_value;
    HWND m_list;
    HWND m_edit = nullptr;
    edit_subclass m_edit_hook;
    service_ref m_notifier;
    IUnknown* m_autocomplete = nullptr;
    bool m_ready = false, m_changed = false, m_hidden = false, m_reported = false;
};

namespace {

window_class& editor_class() {
    static window_class container;
    container.background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    return container;
}

// The thread's open editors and their mouse hook.
std::vector<in_place_editor*> g_editors;
HHOOK g_mouse_hook = nullptr;

bool is_button_down(WPARAM message) {
    switch (message) {
        case WM_NCLBUTTONDOWN:
        case WM_NCRBUTTONDOWN:
        case WM_NCMBUTTONDOWN:
        case WM_NCXBUTTONDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
            return true;
        default:
            return false;
    }
}

void end_editors_outside(HWND tested) {
    if (tested == nullptr) return;
    const HWND root = GetAncestor(tested, GA_ROOT);
    const std::vector<in_place_editor*> editors = g_editors;
    for (in_place_editor* editor : editors) {
        if (std::find(g_editors.begin(), g_editors.end(), editor) == g_editors.end()) continue;
        HWND edit = editor->edit();
        if (tested == edit || tested == editor->handle() || edit == nullptr) continue;
        if (editor->top_level() == root) editor->end(in_place_edit::left);
    }
}

LRESULT CALLBACK mouse_hook(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION && data != 0) {
        const MOUSEHOOKSTRUCT* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(data);
        if (is_button_down(message)) {
            end_editors_outside(mouse->hwnd);
        } else if (message == WM_MOUSEWHEEL || message == WM_MOUSEHWHEEL) {
            end_editors_outside(mouse->hwnd);
            end_editors_outside(WindowFromPoint(mouse->pt));
        }
    }
    return CallNextHookEx(g_mouse_hook, code, message, data);
}

void join_editors(in_place_editor* editor) {
    g_editors.push_back(editor);
    if (g_mouse_hook == nullptr)
        g_mouse_hook = SetWindowsHookExW(WH_MOUSE, &mouse_hook, nullptr, GetCurrentThreadId());
}

void leave_editors(in_place_editor* editor) {
    g_editors.erase(std::remove(g_editors.begin(), g_editors.end(), editor), g_editors.end());
    if (g_editors.empty() && g_mouse_hook != nullptr) {
        UnhookWindowsHookEx(g_mouse_hook);
        g_mouse_hook = nullptr;
    }
}

}  // namespace

in_place_editor::~in_place_editor() {
    leave_editors(this);
    if (m_autocomplete) m_autocomplete->Release();
}

bool in_place_editor::open(const RECT& cell, uint32_t flags, IEnumString* source, DWORD options,
                           service_ref notifier) {
    m_notifier = std::move(notifier);
    RECT client;
    GetClientRect(m_list, &client);
    RECT rect;
    if (!IntersectRect(&rect, &cell, &client)) rect = cell;
    AdjustWindowRect(&rect, WS_CHILD | WS_BORDER, FALSE);
    if (!create_window(m_list, &rect, nullptr, WS_CHILD | WS_BORDER | WS_CLIPCHILDREN, 0, 1, editor_class()))
        return false;
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (flags & in_place_edit::read_only) style |= ES_READONLY;
    style |= (flags & in_place_edit::multi_line) ? (ES_MULTILINE | WS_VSCROLL) : ES_AUTOHSCROLL;
    if (flags & in_place_edit::centered) {
        style |= ES_CENTER;
    } else if (flags & in_place_edit::right_aligned) {
        style |= ES_RIGHT;
    }
    RECT inside;
    GetClientRect(handle(), &inside);
    m_edit = CreateWindowExW(0, L"EDIT", L"", style, 0, 0, inside.right, inside.bottom, handle(),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(in_place_edit::edit_id)),
                             GetModuleHandleW(nullptr), nullptr);
    if (m_edit == nullptr) {
        DestroyWindow(handle());
        return false;
    }
    SendMessageW(m_edit, WM_SETFONT, SendMessageW(m_list, WM_GETFONT, 0, 0), FALSE);
    if (source != nullptr) {
        IAutoComplete2* complete = nullptr;
        if (SUCCEEDED(CoCreateInstance(k_clsid_autocomplete, nullptr, CLSCTX_INPROC_SERVER, k_iid_autocomplete2,
                                       reinterpret_cast<void**>(&complete)))) {
            complete->Init(m_edit, source, nullptr, nullptr);
            complete->SetOptions(options);
            m_autocomplete = complete;
        }
        source->Release();
    }
    m_edit_hook.attach(m_edit);
    join_editors(this);
    window_set_text(m_edit, *m_value);
    SendMessageW(m_edit, EM_SETSEL, 0, -1);
    SendMessageW(m_edit, EM_EMPTYUNDOBUFFER, 0, 0);
    ShowWindow(handle(), SW_SHOW);
    SetFocus(m_edit);
    m_ready = true;
    return true;
}

void in_place_editor::end(int code) {
    if (m_edit == nullptr || !IsWindowEnabled(m_edit) || handle() == nullptr) return;
    m_hidden = true;
    ShowWindow(handle(), SW_HIDE);
    UpdateWindow(m_list);
    PostMessageW(handle(), WM_USER, static_cast<WPARAM>(code), 0);
    EnableWindow(m_edit, FALSE);
}

bool in_place_editor::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                      DWORD) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wparam) == in_place_edit::edit_id && HIWORD(wparam) == EN_CHANGE && m_ready && !m_hidden) {
                kpl::utf8_string_pow2 text;
                window_get_text(m_edit, text);
                *m_value = text;
                m_changed = true;
            }
            result = 0;
            return true;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            result = SendMessageW(m_list, message, wparam, lparam);
            return true;
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL:
            end(in_place_edit::left);
            result = 0;
            return true;
        case WM_USER: {
            const int code = static_cast<int>(wparam);
            if (code != in_place_edit::left) SetFocus(m_list);
            if (!m_reported) {
                m_reported = true;
                service_ref notifier = std::move(m_notifier);
                if (notifier) notifier.as<result_notifier>()->notify(in_place_edit::report_code(code, m_changed));
            }
            DestroyWindow(window);
            result = 0;
            return true;
        }
        default:
            return false;
    }
}

void in_place_editor::on_final_message(HWND) {
    if (m_host) m_host->editor_gone(this);
    delete this;
}

bool in_place_editor::edit_subclass::process_message(HWND, UINT message, WPARAM wparam, LPARAM, LRESULT& result,
                                                     DWORD) {
    switch (message) {
        case WM_GETDLGCODE:
            result = DLGC_WANTALLKEYS;
            return true;
        case WM_KEYDOWN:
        case WM_CHAR: {
            const bool key = message == WM_KEYDOWN;
            const WPARAM tab = key ? VK_TAB : '\t';
            const WPARAM enter = key ? VK_RETURN : '\r';
            const WPARAM escape = key ? VK_ESCAPE : 0x1B;
            if (wparam == tab) {
                if (key) m_owner.end(GetKeyState(VK_SHIFT) < 0 ? in_place_edit::previous_cell : in_place_edit::next_cell);
                result = 0;
                return true;
            }
            if (wparam == enter && GetKeyState(VK_CONTROL) >= 0) {
                if (key) m_owner.end(in_place_edit::accepted);
                result = 0;
                return true;
            }
            if (wparam == escape) {
                if (key) m_owner.end(in_place_edit::cancelled);
                result = 0;
                return true;
            }
            return false;
        }
        case WM_KILLFOCUS:
            m_owner.end(in_place_edit::left);
            return false;
        case WM_DESTROY:
            leave_editors(&m_owner);
            return false;
        default:
            return false;
    }
}

// --- the host ------------------------------------------------------------------------------------------------

in_place_edit_host::~in_place_edit_host() { cancel_edit(); }

HWND in_place_edit_host::editor_edit_control() const { return m_editor ? m_editor->edit() : nullptr; }

IEnumString* in_place_edit_host::get_autocomplete_source(int, int, DWORD&) { return nullptr; }

void in_place_edit_host::on_editing_end() {}

void in_place_edit_host::editor_gone(in_place_editor* editor) {
    if (m_editor == editor) m_editor = nullptr;
}

void in_place_edit_host::cancel_edit() {
    in_place_editor* editor = m_editor;
    m_editor = nullptr;
    if (editor) editor->close_silently();
}

void in_place_edit_host::begin_edit(int item, int column) {
    cancel_edit();
    ensure_cell_visible(item, column);
    kpl::utf8_string_pow2 text;
    int lines = 1;
    get_cell_text(item, column, text, lines);
    uint32_t flags = get_cell_flags(item, column);
    RECT cell = get_cell_rect(item, column);
    if (lines >= 2) {
        flags |= in_place_edit::multi_line;
        cell.bottom = cell.top + (cell.bottom - cell.top) * lines;
    }
    DWORD options = 0;
    IEnumString* source = get_autocomplete_source(item, column, options);
    HWND parent = get_editor_parent();
    m_item = item;
    m_column = column;
    m_flags = flags;
    m_value = std::make_shared<kpl::utf8_string_pow2>(text);
    service_ref notifier = create_notifier(in_place_edit::notifier_key);
    in_place_editor* editor = new in_place_editor(this, m_value, parent);
    m_editor = editor;
    if (!editor->open(cell, flags, source, options, std::move(notifier))) {
        if (m_editor == editor) m_editor = nullptr;
        if (editor->handle() == nullptr) delete editor;
    }
}

void in_place_edit_host::end_edit(bool report) {
    detach_all();
    cancel_edit();
    if (report && m_value && !(m_flags & in_place_edit::read_only))
        set_cell_text(m_item, m_column, m_value->c_str());
    m_value.reset();
    SetFocus(nullptr);
    on_editing_end();
}

void in_place_edit_host::on_notify(int key, int32_t code) {
    if (key != in_place_edit::notifier_key) return;
    detach_all();
    if ((code & in_place_edit::changed) && m_value && !(m_flags & in_place_edit::read_only))
        set_cell_text(m_item, m_column, m_value->c_str());
    int item = m_item, column = m_column;
    if (choose_next_cell(item, column, code & 0xFF)) {
        begin_edit(item, column);
    } else {
        m_value.reset();
        on_editing_end();
    }
}

// --- the list-view host ------------------------------------------------------------------------------------

void listview_edit_host::ensure_cell_visible(int item, int) { SendMessageW(m_list, LVM_ENSUREVISIBLE, item, FALSE); }

void listview_edit_host::get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) {
    listview_get_item_text(m_list, item, column, out);
    line_count = has_line_break(out.c_str()) ? 5 : 1;
}

uint32_t listview_edit_host::get_cell_flags(int, int) { return 0; }

RECT listview_edit_host::get_cell_rect(int item, int column) { return listview_subitem_rect(m_list, item, column); }

void listview_edit_host::set_cell_text(int item, int column, const char* text) {
    listview_set_item_text(m_list, item, column, text);
}

bool listview_edit_host::choose_next_cell(int& item, int& column, int code) {
    const int columns = listview_column_count(m_list);
    if (columns <= 0) return false;
    std::vector<int> order(static_cast<size_t>(columns));
    if (!listview_column_order(m_list, order.data(), columns)) {
        for (int i = 0; i < columns; ++i) order[static_cast<size_t>(i)] = i;
    }
    const int items = static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    // Read-only columns are stepped over.
    std::unique_ptr<bool[]> editable(new bool[static_cast<size_t>(columns)]);
    for (int i = 0; i < columns; ++i) editable[i] = (get_cell_flags(item, i) & in_place_edit::read_only) == 0;
    return in_place_edit::move_to_next_cell(order.data(), editable.get(), columns, items, item, column, code, item,
                                            column);
}

// --- autocomplete strings ------------------------------------------------------------------------------------

namespace {

class line_enumerator final : public IEnumString {
public:
    line_enumerator(std::shared_ptr<string_enumerator_source> source, kpl::string_array lines, ULONG position)
        : m_source(std::move(source)), m_lines(std::move(lines)), m_position(position) {}

    static kpl::string_array split(const char* text) {
        kpl::string_array lines;
        const char* start = text;
        for (const char* p = text;; ++p) {
            if (*p == '\n' || *p == 0) {
                const char* end = p;
                if (end > start && end[-1] == '\r') --end;
                if (end > start) lines.append(start, static_cast<uint32_t>(end - start));
                if (*p == 0) break;
                start = p + 1;
            }
        }
        return lines;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumString)) {
            *out = static_cast<IEnumString*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_count)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG count = InterlockedDecrement(&m_count);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, LPOLESTR* out, ULONG* fetched) override {
        if (out == nullptr || (wanted > 1 && fetched == nullptr)) return E_POINTER;
        ULONG given = 0;
        while (given < wanted && m_position < m_lines.count()) {
            kpl::array<wchar_t> wide;
            utf8_to_wide(m_lines[m_position].c_str(), wide);
            const size_t bytes = (wide.count() ? wide.count() : 1) * sizeof(wchar_t);
            wchar_t* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
            if (copy == nullptr) break;
            if (wide.count()) {
                memcpy(copy, wide.data(), bytes);
            } else {
                copy[0] = 0;
            }
            out[given++] = copy;
            ++m_position;
        }
        if (fetched) *fetched = given;
        return given == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const ULONG left = m_lines.count() - m_position;
        m_position += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_position = 0;
        if (m_source) {
            kpl::utf8_string_pow2 text;
            m_source->get_text(text);
            m_lines = split(text.c_str());
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString** out) override {
        if (out == nullptr) return E_POINTER;
        *out = new line_enumerator(m_source, m_lines, m_position);
        return S_OK;
    }

private:
    volatile LONG m_count = 1;
    std::shared_ptr<string_enumerator_source> m_source;
    kpl::string_array m_lines;
    ULONG m_position;
};

}  // namespace

IEnumString* string_enumerator_create(const char* lines) {
    return new line_enumerator(nullptr, line_enumerator::split(lines ? lines : ""), 0);
}

IEnumString* string_enumerator_create_reloading(string_enumerator_source* source) {
    std::shared_ptr<string_enumerator_source> shared(source);
    kpl::utf8_string_pow2 text;
    shared->get_text(text);
    return new line_enumerator(shared, line_enumerator::split(text.c_str()), 0);
}
