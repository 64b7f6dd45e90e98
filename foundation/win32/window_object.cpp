#include "foundation/win32/window_object.h"

#include <cstdint>
#include <cwchar>
#include <new>

#include "foundation/tasks/critical_section.h"
#include "shell/crash_handler.h"

#ifndef HEAP_CREATE_ENABLE_EXECUTE
#define HEAP_CREATE_ENABLE_EXECUTE 0x00040000
#endif

namespace {

kpl::critical_section& framework_lock() {
    static kpl::critical_section lock;
    return lock;
}

// --- thunks ---------------------------------------------------------------------------------------------
//
// A thunk is a few instructions in executable memory that the window's procedure pointer names: it puts the
// object where the first argument (the window) was and jumps to the object's static procedure.
//
// 32-bit (stdcall, arguments on the stack):
//   mov dword ptr [esp+4], <object>    C7 44 24 04 <imm32>
//   jmp <procedure>                     E9 <rel32>
// 64-bit (first argument in rcx; the heap may lie more than 2 GB from the code, so the jump is absolute):
//   mov rcx, <object>                   48 B9 <imm64>
//   mov rax, <procedure>                48 B8 <imm64>
//   jmp rax                             FF E0
#pragma pack(push, 1)
#ifdef _WIN64
struct thunk_code {
    uint16_t load_object;
    uint64_t object;
    uint16_t load_procedure;
    uint64_t procedure;
    uint16_t jump;
};
#else
struct thunk_code {
    uint32_t store;
    uint32_t object;
    uint8_t jump;
    int32_t offset;
};
#endif
#pragma pack(pop)

HANDLE executable_heap() {
    static HANDLE heap = nullptr;
    kpl::critical_section_scope lock(framework_lock());
    if (heap == nullptr) heap = HeapCreate(HEAP_CREATE_ENABLE_EXECUTE, 0, 0);
    return heap;
}

void write_thunk(void* memory, const void* object, const void* procedure) {
    thunk_code* code = static_cast<thunk_code*>(memory);
#ifdef _WIN64
    code->load_object = 0xB948;
    code->object = reinterpret_cast<uintptr_t>(object);
    code->load_procedure = 0xB848;
    code->procedure = reinterpret_cast<uintptr_t>(procedure);
    code->jump = 0xE0FF;
#else
    code->store = 0x042444C7;
    code->object = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
    code->jump = 0xE9;
    code->offset = static_cast<int32_t>(reinterpret_cast<uintptr_t>(procedure) -
                                        (reinterpret_cast<uintptr_t>(memory) + sizeof(thunk_code)));
#endif
    FlushInstructionCache(GetCurrentProcess(), memory, sizeof(thunk_code));
}

// --- objects under creation -------------------------------------------------------------------------------
//
// The object that the next window created on a thread is bound to, newest first per thread.
struct creation_record {
    DWORD thread;
    window_object* object;
    creation_record* next;
};
creation_record* g_creations = nullptr;

// The record of this thread (for `only`: of that object), removed from the list; null when none.
window_object* creation_take(window_object* only) {
    const DWORD thread = GetCurrentThreadId();
    creation_record* found = nullptr;
    {
        kpl::critical_section_scope lock(framework_lock());
        for (creation_record** link = &g_creations; *link != nullptr; link = &(*link)->next) {
            if ((*link)->thread == thread && (only == nullptr || (*link)->object == only)) {
                found = *link;
                *link = found->next;
                break;
            }
        }
    }
    if (found == nullptr) return nullptr;
    window_object* object = found->object;
    delete found;
    return object;
}

// --- registered classes, unregistered at process exit ------------------------------------------------------
struct registered_class {
    ATOM atom;
    registered_class* next;
};

struct class_list {
    registered_class* head = nullptr;
    ~class_list() {
        while (head) {
            registered_class* entry = head;
            head = entry->next;
            UnregisterClassW(MAKEINTATOM(entry->atom), GetModuleHandleW(nullptr));
            delete entry;
        }
    }
};
class_list g_classes;

bool returns_result_directly(UINT message) {
    switch (message) {
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_INITDIALOG:
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return true;
        default:
            return false;
    }
}

}  // namespace

// --- window_object ------------------------------------------------------------------------------------------

window_object::~window_object() {
    if (m_window != nullptr && m_thunk != nullptr) {
        // Destroyed while its window lives: never let the window jump into freed memory.
        if (m_binding == binding::dialog) {
            if (GetWindowLongPtrW(m_window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(m_thunk))
                SetWindowLongPtrW(m_window, DWLP_DLGPROC, 0);
        } else if (GetWindowLongPtrW(m_window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(m_thunk)) {
            SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_default));
        }
    }
    creation_take(this);
    if (m_thunk != nullptr) HeapFree(executable_heap(), 0, m_thunk);
}

bool window_object::prepare_thunk() {
    if (m_thunk != nullptr) return true;
    HANDLE heap = executable_heap();
    if (heap != nullptr) m_thunk = HeapAlloc(heap, 0, sizeof(thunk_code));
    if (m_thunk == nullptr) {
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
    return true;
}

void window_object::on_final_message(HWND) {}

bool window_object::route_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    return process_message(window, message, wparam, lparam, result, 0);
}

void window_object::on_exception_captured(HWND) {}

void window_object::rethrow_captured() {
    if (!m_captured) return;
    std::exception_ptr captured = m_captured;
    m_captured = nullptr;
    std::rethrow_exception(captured);
}

LRESULT window_object::call_default(UINT message, WPARAM wparam, LPARAM lparam) {
    if (m_binding == binding::dialog || m_window == nullptr) return 0;
    return CallWindowProcW(m_default, m_window, message, wparam, lparam);
}

bool window_object::register_for_creation(window_object* object) {
    creation_record* record = new (std::nothrow) creation_record{GetCurrentThreadId(), object, nullptr};
    if (record == nullptr) return false;
    kpl::critical_section_scope lock(framework_lock());
    record->next = g_creations;
    g_creations = record;
    return true;
}

void window_object::cancel_creation(window_object* object) { creation_take(object); }

bool window_object::bind(HWND window, binding kind) {
    if (!prepare_thunk()) return false;
    m_window = window;
    m_binding = kind;
    m_destroyed = false;
    if (kind == binding::dialog) {
        write_thunk(m_thunk, this, reinterpret_cast<const void*>(&thunk_dialog_procedure));
        SetWindowLongPtrW(window, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(m_thunk));
        return true;
    }
    write_thunk(m_thunk, this, reinterpret_cast<const void*>(&thunk_window_procedure));
    SetLastError(0);
    LONG_PTR previous = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_thunk));
    if (kind == binding::subclass) {
        if (previous == 0 && GetLastError() != 0) {
            m_window = nullptr;
            m_binding = binding::none;
            return false;
        }
        m_default = reinterpret_cast<WNDPROC>(previous);
    }
    return true;
}

LRESULT CALLBACK window_object::start_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    window_object* object = creation_take(nullptr);
    if (object == nullptr || !object->bind(window, binding::window))
        return DefWindowProcW(window, message, wparam, lparam);
    return object->dispatch(message, wparam, lparam);
}

INT_PTR CALLBACK window_object::start_dialog_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    window_object* object = creation_take(nullptr);
    if (object == nullptr || !object->bind(window, binding::dialog)) return FALSE;
    return object->dispatch_dialog(message, wparam, lparam);
}

LRESULT CALLBACK window_object::thunk_window_procedure(HWND self, UINT message, WPARAM wparam, LPARAM lparam) {
    return reinterpret_cast<window_object*>(self)->dispatch(message, wparam, lparam);
}

INT_PTR CALLBACK window_object::thunk_dialog_procedure(HWND self, UINT message, WPARAM wparam, LPARAM lparam) {
    return reinterpret_cast<window_object*>(self)->dispatch_dialog(message, wparam, lparam);
}

bool window_object::call_handler(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    try {
        return route_message(window, message, wparam, lparam, result);
    } catch (...) {
        if (!m_capture) crash_from_callback();
        if (!m_captured) m_captured = std::current_exception();
        try {
            on_exception_captured(window);
        } catch (...) {
            crash_from_callback();
        }
        result = 0;
        return true;
    }
}

void window_object::finish_message(HWND window, const MSG* outer, bool destroyed_here) {
    if (destroyed_here) {
        m_window = nullptr;
        m_binding = binding::none;
        m_destroyed = true;
    }
    m_current = outer;
    if (m_destroyed && outer == nullptr) {
        m_destroyed = false;
        on_final_message(window);  // may delete this
    }
}

LRESULT window_object::dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
    HWND window = m_window;
    MSG msg = {window, message, wparam, lparam, 0, {0, 0}};
    const MSG* outer = m_current;
    m_current = &msg;
    LRESULT result = 0;
    const bool handled = call_handler(window, message, wparam, lparam, result);
    if (message == WM_NCDESTROY) {
        const LRESULT passed = CallWindowProcW(m_default, window, message, wparam, lparam);
        if (!handled) result = passed;
        if (GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(m_thunk))
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_default));
        finish_message(window, outer, true);
        return result;
    }
    if (!handled) result = CallWindowProcW(m_default, window, message, wparam, lparam);
    finish_message(window, outer, false);
    return result;
}

INT_PTR window_object::dispatch_dialog(UINT message, WPARAM wparam, LPARAM lparam) {
    HWND window = m_window;
    MSG msg = {window, message, wparam, lparam, 0, {0, 0}};
    const MSG* outer = m_current;
    m_current = &msg;
    LRESULT result = 0;
    const bool handled = call_handler(window, message, wparam, lparam, result);
    INT_PTR answer = FALSE;
    if (handled) {
        if (returns_result_directly(message)) {
            answer = static_cast<INT_PTR>(result);
        } else {
            SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            answer = TRUE;
        }
    } else if (message == WM_INITDIALOG) {
        answer = TRUE;  // the default focus
    }
    finish_message(window, outer, message == WM_NCDESTROY);
    return answer;
}

HWND window_object::create_window(HWND parent, const RECT* rect, const win_string_param& title, DWORD style,
                                  DWORD extended_style, UINT_PTR menu_or_id, window_class& window_class) {
    const ATOM atom = window_class.atom();
    if (atom == 0) return nullptr;
    if (!prepare_thunk()) return nullptr;
    if ((style & WS_CHILD) && menu_or_id == 0) menu_or_id = reinterpret_cast<UINT_PTR>(this);
    m_default = window_class.default_procedure();
    if (!register_for_creation(this)) {
        SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
    if (rect != nullptr) {
        x = rect->left;
        y = rect->top;
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    }
    const bool capturing = m_capture;
    m_capture = true;
    HWND window = CreateWindowExW(extended_style, MAKEINTATOM(atom), title.get(), style, x, y, width, height, parent,
                                  reinterpret_cast<HMENU>(menu_or_id), GetModuleHandleW(nullptr), nullptr);
    const DWORD error = GetLastError();
    m_capture = capturing;
    cancel_creation(this);
    if (m_captured) {
        if (window != nullptr) DestroyWindow(window);
        rethrow_captured();
    }
    SetLastError(error);
    return window;
}

// --- window_class ---------------------------------------------------------------------------------------------

window_class::window_class(const wchar_t* name, const wchar_t* copy_of) : m_name(name), m_copy_of(copy_of) {}

ATOM window_class::atom() {
    kpl::critical_section_scope lock(framework_lock());
    if (m_atom != 0) return m_atom;
    HINSTANCE module = GetModuleHandleW(nullptr);
    if (m_name == nullptr) {
        std::swprintf(m_generated, sizeof(m_generated) / sizeof(m_generated[0]), L"ATL:%p", static_cast<void*>(this));
        m_name = m_generated;
    }
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    if (m_copy_of != nullptr) {
        if (!GetClassInfoExW(nullptr, m_copy_of, &info) && !GetClassInfoExW(module, m_copy_of, &info)) return 0;
        m_base_procedure = info.lpfnWndProc;
    } else {
        info.style = style;
        info.hbrBackground = background;
        info.hCursor = cursor ? LoadCursorW(nullptr, cursor) : nullptr;
        info.hIcon = icon;
    }
    info.cbSize = sizeof(info);
    info.lpfnWndProc = &window_object::start_window_procedure;
    info.hInstance = module;
    info.lpszClassName = m_name;
    info.lpszMenuName = nullptr;
    registered_class* entry = new (std::nothrow) registered_class{0, nullptr};
    if (entry == nullptr) {
        SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
    entry->atom = RegisterClassExW(&info);
    if (entry->atom == 0) {
        const DWORD error = GetLastError();
        delete entry;
        SetLastError(error);
        return 0;
    }
    entry->next = g_classes.head;
    g_classes.head = entry;
    m_atom = entry->atom;
    return m_atom;
}

HWND atl_window::create(window_object* object, HWND parent, const RECT* rect, const win_string_param& title,
                        DWORD style, DWORD extended_style, UINT_PTR menu_or_id, window_class& window_class) {
    return object->create_window(parent, rect, title, style, extended_style, menu_or_id, window_class);
}

// --- subclassing and small helpers ---------------------------------------------------------------------------

bool window_subclass::attach(HWND window) {
    if (window == nullptr || handle() != nullptr) return false;
    return bind(window, binding::subclass);
}

BOOL window_set_rect(const RECT& rect, HWND window, HWND insert_after, UINT flags) {
    return SetWindowPos(window, insert_after, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                        flags);
}

void window_set_exstyle(HWND window, DWORD extended_style, UINT position_flags) {
    SetWindowLongW(window, GWL_EXSTYLE, static_cast<LONG>(extended_style));
    if (position_flags != 0)
        SetWindowPos(window, nullptr, 0, 0, 0, 0,
                     position_flags | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void menu_set_default_item(HMENU menu, UINT command) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    if (!GetMenuItemInfoW(menu, command, FALSE, &info)) return;
    info.fState |= MFS_DEFAULT;
    SetMenuItemInfoW(menu, command, FALSE, &info);
}

void window_destroy(HWND& window) {
    if (window != nullptr && DestroyWindow(window)) window = nullptr;
}
