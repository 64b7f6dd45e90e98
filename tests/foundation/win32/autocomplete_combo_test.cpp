// History drop-down fields: the combo's list filled from the field name history, its text cleared, and
// its edit completing from the history as it stands when typing starts; without the system's
// autocomplete the list is still filled and nothing breaks.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/win32/autocomplete_combo.h"
#include "properties/field_value_history.h"
#include "properties/text_history.h"
#include "tests/support/gui_support.h"

namespace {

struct combo_fixture {
    HWND parent = nullptr;
    HWND combo = nullptr;

    explicit combo_fixture(DWORD kind) {
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        combo = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | kind, 10, 10, 200, 150, parent, nullptr,
                                nullptr, nullptr);
        SetWindowTextW(combo, L"old value");
    }
    ~combo_fixture() { DestroyWindow(parent); }

    std::vector<std::wstring> list() const {
        std::vector<std::wstring> items;
        const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[256] = {};
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }
    std::wstring edit_text() const {
        wchar_t text[256] = {};
        GetWindowTextW(combo, text, 256);
        return text;
    }
};

const std::vector<std::wstring> k_history = {L"Rock", L"Pop", L"Jazz Fusion"};

struct attach_outcome {
    bool made = false;
    bool attached = true;
    std::vector<std::wstring> list;
    std::wstring text;
};

DWORD WINAPI attach_on_plain_thread(void* argument) {
    attach_outcome& out = *static_cast<attach_outcome*>(argument);
    combo_fixture f(CBS_DROPDOWN);
    out.made = f.combo != nullptr;
    out.attached = autocomplete_attach_combo(f.combo);
    out.list = f.list();
    out.text = f.edit_text();
    SendMessageW(f.combo, WM_CHAR, 'R', 1);  // typing does nothing special
    return 0;
}

}  // namespace

TEST_CASE("an attached combo lists the history, loses its text and completes typing from the history") {
    REQUIRE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    field_name_history().set_text("Rock\nPop\nJazz Fusion\n");
    {
        combo_fixture f(CBS_DROPDOWN | CBS_AUTOHSCROLL);
        REQUIRE(f.combo != nullptr);
        CHECK(autocomplete_attach_combo(f.combo));
        CHECK(f.list() == k_history);
        CHECK(f.edit_text().empty());

        // Values remembered after attaching are offered too: the history is read again when typing starts.
        field_name_history().set_text("Rock\nPop\nJazz Fusion\nBlues");
        COMBOBOXINFO info = {};
        info.cbSize = sizeof(info);
        REQUIRE(GetComboBoxInfo(f.combo, &info));
        SetFocus(info.hwndItem);
        SendMessageW(info.hwndItem, WM_CHAR, 'B', 1);
        gui_test::pump_for(0.2);
        CHECK(f.edit_text() == L"Blues");
    }
    field_name_history().set_text("Rock\nPop\nJazz Fusion");
    CoUninitialize();
}

TEST_CASE("without the system's autocomplete or an edit, attaching still fills the list and fails quietly") {
    field_name_history().set_text("Rock\nPop\n\nJazz Fusion");
    SUBCASE("COM not initialised on the thread: no autocomplete object") {
        // A thread of its own, where nobody has initialised COM.
        attach_outcome seen;
        HANDLE thread = CreateThread(nullptr, 0, attach_on_plain_thread, &seen, 0, nullptr);
        REQUIRE(thread != nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        REQUIRE(seen.made);
        CHECK_FALSE(seen.attached);
        CHECK(seen.list == k_history);
        CHECK(seen.text.empty());
    }
    SUBCASE("a drop-down list has no edit") {
        REQUIRE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        {
            combo_fixture f(CBS_DROPDOWNLIST);
            REQUIRE(f.combo != nullptr);
            CHECK_FALSE(autocomplete_attach_combo(f.combo));
            CHECK(f.list() == k_history);
        }
        CoUninitialize();
    }
}

namespace {

struct reset_on_thread {
    IEnumString* source = nullptr;
    HRESULT result = E_UNEXPECTED;
    HANDLE done = nullptr;
};

DWORD WINAPI reset_source(void* argument) {
    reset_on_thread& work = *static_cast<reset_on_thread*>(argument);
    work.result = work.source->Reset();
    SetEvent(work.done);
    return 0;
}

}  // namespace

TEST_CASE("the suggestions are read again under the history's lock, from the autocomplete object's thread") {
    field_name_history().set_text("Rock\n");
    reset_on_thread work;
    work.source = autocomplete_history_source();
    work.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    {
        // The main thread is using the history: a Reset elsewhere waits until it is done.
        kpl::critical_section_scope hold(field_value_history::lock());
        thread = CreateThread(nullptr, 0, reset_source, &work, 0, nullptr);
        REQUIRE(thread != nullptr);
        CHECK(WaitForSingleObject(work.done, 300) == WAIT_TIMEOUT);
        field_name_history().set_text("Rock\nPunk\n");
    }
    CHECK(WaitForSingleObject(work.done, 10000) == WAIT_OBJECT_0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(work.done);
    CHECK(work.result == S_OK);
    LPOLESTR got[3] = {};
    ULONG fetched = 0;
    CHECK(work.source->Next(3, got, &fetched) == S_FALSE);
    REQUIRE(fetched == 2);
    CHECK(std::wstring(got[1]) == L"Punk");
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(got[i]);
    work.source->Release();
    field_name_history().set_text("Rock\nPop\nJazz Fusion");
}
