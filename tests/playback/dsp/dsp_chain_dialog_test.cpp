// The DSP chain panel and dialog with two test effects ("Echo" without and "Gain" with a configuration
// dialog): names and "<ERROR>" entries, Add/Remove with remembered configurations, Up/Down, button states,
// the host's notifications, configuration changes, presets (stored form, case-sensitive names, the overwrite
// and delete questions), the Add and Remove pictures, and the modal dialog's OK and Cancel.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/gdiplus.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/png_resource.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/window_text.h"
#include "playback/dsp/dsp_chain_service.h"
#include "playback/dsp/dsp_effect.h"
#include "playback/dsp/dsp_presets.h"
#include "resources/resource_ids.h"
#include "tests/metadata/byte_fixtures.h"
#include "tests/support/gui_support.h"

namespace {

using metadata_test::bytes_source;

const kpl::guid k_echo = {0x7E57D5E0, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};
const kpl::guid k_gain = {0x7E57D5E0, 0x0002, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 2}};
const kpl::guid k_missing = {0x7E57D5E0, 0x0003, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 3}};

dsp_chain_item entry(const kpl::guid& guid, uint8_t config) {
    dsp_chain_item item(guid);
    item.set_data(&config, 1);
    return item;
}

// Default configuration byte 0; Gain's dialog adds 10 to the byte.
class test_effect final : public service_static<dsp_service> {
public:
    test_effect(const kpl::guid& guid, const char* name, bool dialog) : m_guid(guid), m_name(name), m_dialog(dialog) {}
    void get_name(kpl::utf8_string& out) override { out = m_name; }
    bool get_default_preset(dsp_chain_item& out) override {
        out = entry(m_guid, 0);
        return true;
    }
    bool create_instance(service_ptr<dsp_instance>&, const dsp_chain_item&) override { return false; }
    void get_guid(kpl::guid& out) override { out = m_guid; }
    bool has_config_dialog() override { return m_dialog; }
    bool show_config_dialog(dsp_chain_item& item, HWND) override {
        ++dialogs_shown;
        uint8_t config = static_cast<uint8_t>((item.get_data_size() ? item.get_data()[0] : 0) + 10);
        item.set_data(&config, 1);
        return true;
    }
    int dialogs_shown = 0;

private:
    kpl::guid m_guid;
    const char* m_name;
    bool m_dialog;
};

service_factory_single<test_effect, dsp_service> g_echo(k_echo, "Echo", false);
service_factory_single<test_effect, dsp_service> g_gain(k_gain, "Gain", true);

service_ptr<dsp_chain_service> chain_service() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    service_ptr<dsp_chain_service> s;
    service_class::get_single(s);
    return s;
}

std::vector<uint8_t> stored(const dsp_preset_list& presets) {
    memory_sink sink;
    dsp_presets_write(presets, sink, abort_never);
    return std::vector<uint8_t>(sink.data(), sink.data() + sink.size());
}

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// "Echo3 Gain0 ERROR": names of the active list with each entry's configuration byte.
std::string describe(const dsp_chain& chain) {
    std::string out;
    for (uint32_t i = 0; i < chain.count(); ++i) {
        const dsp_chain_item& item = chain.get_item(i);
        if (!out.empty()) out += ' ';
        out += item.get_guid() == k_echo ? "Echo" : item.get_guid() == k_gain ? "Gain" : "X";
        if (item.get_data_size()) out += std::to_string(item.get_data()[0]);
    }
    return out;
}

std::vector<std::string> rows(HWND list) {
    std::vector<std::string> out;
    const int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        kpl::utf8_string_pow2 text;
        listview_get_item_text(list, i, 0, text);
        out.push_back(text.c_str());
    }
    return out;
}

int selected(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// A top-level window hosting the panel, counting the WM_COMMAND messages from it.
struct host_window {
    static int& commands() {
        static int count = 0;
        return count;
    }
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_COMMAND && LOWORD(wparam) == 4711 && lparam) ++commands();
        return DefWindowProcW(window, message, wparam, lparam);
    }
    HWND window = nullptr;
    host_window() {
        static ATOM atom = [] {
            WNDCLASSW c = {};
            c.lpfnWndProc = &procedure;
            c.hInstance = GetModuleHandleW(nullptr);
            c.lpszClassName = L"vorn-test-dsp-host";
            return RegisterClassW(&c);
        }();
        REQUIRE(atom != 0);
        window = CreateWindowExW(0, L"vorn-test-dsp-host", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 700, 500, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        REQUIRE(window != nullptr);
        commands() = 0;
    }
    ~host_window() { DestroyWindow(window); }
};

// Answers the panel's questions and records them.
struct answering_host : message_box_host {
    int answer = IDYES;
    std::vector<std::string> asked;
    int show(HWND, const win_string_param& text, const win_string_param& caption, UINT) override {
        asked.push_back(std::string(caption.utf8()) + ": " + text.utf8());
        return answer;
    }
};

struct panel_driver {
    HWND panel;
    HWND active() const { return GetDlgItem(panel, IDC_DSP_ACTIVE); }
    HWND available() const { return GetDlgItem(panel, IDC_DSP_AVAILABLE); }
    void press(int id) const { SendMessageW(panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(panel, id))); }
    bool enabled(int id) const { return IsWindowEnabled(GetDlgItem(panel, id)) != FALSE; }
    void pick_active(int row) const { listview_select_single(active(), row); }
    void pick_available(const char* name) const {
        const std::vector<std::string> names = rows(available());
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) listview_select_single(available(), static_cast<int>(i));
    }
    void type_name(const char* name) const {
        window_set_text(GetDlgItem(panel, IDC_DSP_PRESET_NAME), name);
        SendMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_DSP_PRESET_NAME, CBN_EDITCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(panel, IDC_DSP_PRESET_NAME)));
    }
    dsp_chain chain() const {
        dsp_chain out;
        chain_service()->panel_store(panel, out);
        return out;
    }
    std::vector<std::string> combo() const {
        std::vector<std::string> out;
        HWND c = GetDlgItem(panel, IDC_DSP_PRESET_NAME);
        const int n = static_cast<int>(SendMessageW(c, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t text[256] = {};
            SendMessageW(c, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            char utf8[512] = {};
            WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
            out.push_back(utf8);
        }
        return out;
    }
};


// The pixels of an icon's colour bitmap (32-bit, top-down) and its size; empty for a handle that is no icon.
struct icon_pixels {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

icon_pixels read_icon(HICON icon) {
    icon_pixels out;
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return out;
    BITMAP bm = {};
    GetObjectW(info.hbmColor, sizeof bm, &bm);
    out.width = bm.bmWidth;
    out.height = bm.bmHeight;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = bm.bmWidth;
    bi.bmiHeader.biHeight = -bm.bmHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    out.pixels.resize(static_cast<size_t>(bm.bmWidth) * static_cast<size_t>(bm.bmHeight));
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(bm.bmHeight), out.pixels.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return out;
}

}  // namespace

TEST_CASE("DSP presets: stored form, names compared byte for byte, a damaged record empties the list") {
    dsp_preset_list presets;
    dsp_chain one;
    one.insert_item(entry(k_echo, 7), ~0u);
    presets.store("a", one);
    presets.store("A", dsp_chain());
    REQUIRE(presets.count() == 2);
    CHECK(presets.find("a")->chain == one);
    CHECK(presets.find("A")->chain.count() == 0);
    CHECK(presets.find("\xC3\xA4") == nullptr);
    // Storing under an existing name replaces that preset's chain in its place.
    presets.store("a", dsp_chain());
    CHECK(presets.count() == 2);
    CHECK(presets.get(0).name == "a");
    CHECK(presets.find("a")->chain.count() == 0);
    presets.store("a", one);

    std::vector<uint8_t> expected;
    put_u32(expected, 2);
    put_u32(expected, 1);
    expected.push_back('a');
    put_u32(expected, 1);                                          // the chain: one item
    const uint8_t echo_guid[16] = {0xE0, 0xD5, 0x57, 0x7E, 0x01, 0x00, 0x00, 0x40, 0x80, 0, 0, 0, 0, 0, 0, 1};
    expected.insert(expected.end(), echo_guid, echo_guid + 16);
    put_u32(expected, 1);
    expected.push_back(7);
    put_u32(expected, 1);
    expected.push_back('A');
    put_u32(expected, 0);
    CHECK(stored(presets) == expected);

    dsp_preset_list back;
    bytes_source source(expected);
    dsp_presets_read(back, source, abort_never);
    CHECK(stored(back) == expected);

    // Cut anywhere inside the second preset or the first one's chain: nothing is kept, the error passes on.
    for (size_t cut : {size_t(4), size_t(9), size_t(20), expected.size() - 1}) {
        CAPTURE(cut);
        dsp_preset_list damaged;
        damaged.store("kept before", one);
        bytes_source part(std::vector<uint8_t>(expected.begin(), expected.begin() + static_cast<ptrdiff_t>(cut)));
        CHECK_THROWS_AS(dsp_presets_read(damaged, part, abort_never), ketrel_io::exception_io_data);
        CHECK(damaged.count() == 0);
    }
    CHECK(back.remove("A"));
    CHECK_FALSE(back.remove("A"));
    CHECK(back.count() == 1);
}

TEST_CASE("DSP panel: lists, Add and Remove with remembered configurations, Up and Down, <ERROR> entries") {
    gui_test::registry_scope registry;
    service_ptr<dsp_chain_service> service = chain_service();
    host_window host;
    dsp_chain chain;
    chain.insert_item(entry(k_echo, 3), ~0u);
    chain.insert_item(entry(k_missing, 9), ~0u);
    HWND panel = service->create_chain_panel(chain, host.window, 4711, false);
    REQUIRE(panel != nullptr);
    panel_driver d{panel};
    CHECK(GetDlgCtrlID(panel) == 4711);
    CHECK((GetWindowLongPtrW(panel, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0);
    CHECK(rows(d.active()) == std::vector<std::string>{"Echo", "<ERROR>"});
    CHECK(rows(d.available()) == std::vector<std::string>{"Echo", "Gain"});
    // Nothing selected: only what needs no selection is enabled.
    for (int id : {IDC_DSP_ADD, IDC_DSP_REMOVE, IDC_DSP_UP, IDC_DSP_DOWN, IDC_DSP_CONFIGURE, IDC_DSP_PRESET_SAVE,
                   IDC_DSP_PRESET_LOAD, IDC_DSP_PRESET_DELETE}) {
        CAPTURE(id);
        CHECK_FALSE(d.enabled(id));
    }
    CHECK(d.enabled(IDC_DSP_ACTIVE));

    // The missing effect's entry moves up and keeps its configuration; Up is off at the top, Down on.
    d.pick_active(1);
    CHECK(d.enabled(IDC_DSP_UP));
    CHECK_FALSE(d.enabled(IDC_DSP_DOWN));
    CHECK_FALSE(d.enabled(IDC_DSP_CONFIGURE));
    d.press(IDC_DSP_UP);
    CHECK(describe(d.chain()) == "X9 Echo3");
    CHECK(rows(d.active()) == std::vector<std::string>{"<ERROR>", "Echo"});
    CHECK(selected(d.active()) == 0);
    CHECK_FALSE(d.enabled(IDC_DSP_UP));
    CHECK(d.enabled(IDC_DSP_DOWN));
    d.press(IDC_DSP_DOWN);
    CHECK(describe(d.chain()) == "Echo3 X9");
    CHECK(selected(d.active()) == 1);
    // ... and goes; no available item appears for it.
    d.press(IDC_DSP_REMOVE);
    CHECK(describe(d.chain()) == "Echo3");
    CHECK(rows(d.available()) == std::vector<std::string>{"Echo", "Gain"});

    // Echo removed, then added: its last configuration (3) comes back, not the default (0).
    d.pick_active(0);
    d.press(IDC_DSP_REMOVE);
    CHECK(d.chain().count() == 0);
    CHECK(selected(d.available()) == 0);  // the removed effect's available item
    CHECK(d.enabled(IDC_DSP_ADD));
    d.press(IDC_DSP_ADD);
    CHECK(describe(d.chain()) == "Echo3");
    CHECK(selected(d.active()) == 0);
    // An effect never removed starts from its default preset.
    d.pick_available("Gain");
    d.press(IDC_DSP_ADD);
    CHECK(describe(d.chain()) == "Echo3 Gain0");
    CHECK(selected(d.active()) == 1);
    CHECK(d.enabled(IDC_DSP_CONFIGURE));

    // Configure: the effect's dialog changes the selected entry.
    d.press(IDC_DSP_CONFIGURE);
    CHECK(describe(d.chain()) == "Echo3 Gain10");
    // Every change told the host.
    CHECK(gui_test::pump_until([] { return host_window::commands() >= 7; }, 5.0));
    gui_test::pump_for(0.05);
    CHECK(host_window::commands() == 7);

    // panel_load shows another chain.
    dsp_chain other;
    other.insert_item(entry(k_gain, 1), ~0u);
    service->panel_load(panel, other);
    CHECK(rows(d.active()) == std::vector<std::string>{"Gain"});
    CHECK(describe(d.chain()) == "Gain1");
    // A disabled panel disables every child.
    EnableWindow(panel, FALSE);
    CHECK_FALSE(d.enabled(IDC_DSP_ACTIVE));
    CHECK_FALSE(d.enabled(IDC_DSP_PRESET_NAME));
    EnableWindow(panel, TRUE);
    CHECK(d.enabled(IDC_DSP_ACTIVE));
    DestroyWindow(panel);
}

TEST_CASE("DSP panel presets: a and A side by side, overwrite only after Yes, delete asks") {
    gui_test::registry_scope registry;
    service_ptr<dsp_chain_service> service = chain_service();
    dsp_presets().remove_all();
    host_window host;
    answering_host answers;
    message_box_host_override override_questions(answers);
    dsp_chain first;
    first.insert_item(entry(k_echo, 1), ~0u);
    HWND panel = service->create_chain_panel(first, host.window, 4711, true);
    REQUIRE(panel != nullptr);
    panel_driver d{panel};

    d.type_name("a");
    CHECK(d.enabled(IDC_DSP_PRESET_SAVE));
    CHECK_FALSE(d.enabled(IDC_DSP_PRESET_LOAD));
    d.press(IDC_DSP_PRESET_SAVE);
    CHECK(answers.asked.empty());
    CHECK(d.enabled(IDC_DSP_PRESET_LOAD));
    CHECK(d.enabled(IDC_DSP_PRESET_DELETE));

    dsp_chain second;
    second.insert_item(entry(k_gain, 2), ~0u);
    service->panel_load(panel, second);
    d.type_name("A");
    CHECK_FALSE(d.enabled(IDC_DSP_PRESET_LOAD));  // "a" exists, "A" does not
    d.press(IDC_DSP_PRESET_SAVE);
    CHECK(answers.asked.empty());
    CHECK(d.combo() == std::vector<std::string>{"a", "A"});
    REQUIRE(dsp_presets().count() == 2);
    CHECK(describe(dsp_presets().find("a")->chain) == "Echo1");
    CHECK(describe(dsp_presets().find("A")->chain) == "Gain2");

    // Saving over "a": asked; No keeps the old chain, Yes replaces it.
    d.type_name("a");
    answers.answer = IDNO;
    d.press(IDC_DSP_PRESET_SAVE);
    REQUIRE(answers.asked.size() == 1);
    CHECK(answers.asked[0] == "Preset already exists: DSP configuration preset named \"a\" already exists. Overwrite?");
    CHECK(describe(dsp_presets().find("a")->chain) == "Echo1");
    answers.answer = IDYES;
    d.press(IDC_DSP_PRESET_SAVE);
    CHECK(describe(dsp_presets().find("a")->chain) == "Gain2");
    CHECK(d.combo().size() == 2);

    // Load "A" after changing the chain.
    service->panel_load(panel, first);
    d.type_name("A");
    d.press(IDC_DSP_PRESET_LOAD);
    CHECK(describe(d.chain()) == "Gain2");
    CHECK(rows(d.active()) == std::vector<std::string>{"Gain"});

    // Delete "A": asked; No keeps it; Yes removes it and only its combo string ("a" stays).
    answers.asked.clear();
    answers.answer = IDNO;
    d.press(IDC_DSP_PRESET_DELETE);
    REQUIRE(answers.asked.size() == 1);
    CHECK(answers.asked[0] == "Confirm preset deletion: Preset \"A\" will be deleted. Continue?");
    CHECK(dsp_presets().count() == 2);
    answers.answer = IDYES;
    d.press(IDC_DSP_PRESET_DELETE);
    CHECK(dsp_presets().find("A") == nullptr);
    CHECK(dsp_presets().find("a") != nullptr);
    CHECK(d.combo() == std::vector<std::string>{"a"});
    CHECK_FALSE(d.enabled(IDC_DSP_PRESET_LOAD));
    DestroyWindow(panel);
    dsp_presets().remove_all();
}

namespace {

// Runs inside the modal dialog's loop (a thread timer): checks the caption and the panel's place, removes
// the first entry and presses the button.
struct dialog_probe {
    const wchar_t* caption;
    UINT button;
    bool found = false;
    bool placed_right = false;

    static dialog_probe* current;
    static void CALLBACK on_timer(HWND, UINT, UINT_PTR, DWORD) {
        dialog_probe& p = *current;
        if (p.found) return;
        HWND dialog = FindWindowW(nullptr, p.caption);
        if (!dialog || !IsWindowVisible(dialog)) return;
        p.found = true;
        HWND panel = GetDlgItem(dialog, IDC_DSP_PANEL);
        if (!panel) return;
        RECT client, placed, ok;
        GetClientRect(dialog, &client);
        GetWindowRect(panel, &placed);
        GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&ok), 2);
        p.placed_right = placed.left == 0 && placed.top == 0 && placed.right == client.right && placed.bottom <= ok.top &&
                         placed.bottom > ok.top - 20;
        gui_test::scenario_step("dsp-dialog");
        panel_driver d{panel};
        d.pick_active(0);
        d.press(IDC_DSP_REMOVE);
        PostMessageW(dialog, WM_COMMAND, p.button, 0);
    }
};
dialog_probe* dialog_probe::current = nullptr;

std::wstring temp_path(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::string utf8(const std::wstring& wide) {
    char text[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
    return text;
}

// A config.dat holding one record: the presets variable with the given payload.
void write_config_with_presets(const std::wstring& path, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> stream;
    const uint8_t presets_guid[16] = {0x7A, 0x5D, 0x6E, 0x9C, 0x26, 0xA4, 0x60, 0x49,
                                      0xA2, 0xE6, 0x2A, 0x1A, 0xB8, 0x34, 0xB8, 0xA2};
    stream.insert(stream.end(), presets_guid, presets_guid + 16);
    put_u32(stream, static_cast<uint32_t>(payload.size()));
    stream.insert(stream.end(), payload.begin(), payload.end());
    std::vector<uint8_t> file(16);
    std::memcpy(file.data(), &config_file::magic, 16);
    const md5_digest digest = config_file::digest_of(stream.data(), static_cast<uint32_t>(stream.size()));
    file.insert(file.end(), digest.bytes, digest.bytes + 16);
    put_u32(file, static_cast<uint32_t>(stream.size()));
    file.insert(file.end(), stream.begin(), stream.end());
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, file.data(), static_cast<DWORD>(file.size()), &written, nullptr);
    CloseHandle(h);
}

}  // namespace

TEST_CASE("DSP panel: Add and Remove show the left and right arrows at three quarters of the button's smaller side") {
    gui_test::registry_scope registry;
    gdiplus_token gdiplus;
    service_ptr<dsp_chain_service> service = chain_service();
    host_window host;
    HWND panel = service->create_chain_panel(dsp_chain(), host.window, 4711, false);
    REQUIRE(panel != nullptr);
    struct button_case {
        int id;
        int picture;
        const char* text;
    };
    const button_case buttons[] = {{IDC_DSP_ADD, IDR_PNG_BACK, "Add"}, {IDC_DSP_REMOVE, IDR_PNG_FORWARD, "Remove"}};
    std::vector<HICON> shown;
    for (const button_case& b : buttons) {
        CAPTURE(b.text);
        HWND button = GetDlgItem(panel, b.id);
        RECT client = {};
        GetClientRect(button, &client);
        const int smaller = client.right < client.bottom ? client.right : client.bottom;
        const int side = smaller * 3 / 4 < 8 ? 8 : smaller * 3 / 4;
        HICON icon = reinterpret_cast<HICON>(SendMessageW(button, BM_GETIMAGE, IMAGE_ICON, 0));
        REQUIRE(icon != nullptr);
        shown.push_back(icon);
        const icon_pixels got = read_icon(icon);
        CHECK(got.width == side);
        CHECK(got.height == side);
        HICON expected_icon = png_resource_icon(b.picture, side, side);
        REQUIRE(expected_icon != nullptr);
        const icon_pixels expected = read_icon(expected_icon);
        DestroyIcon(expected_icon);
        CHECK(got.pixels == expected.pixels);
        // The text stays beside the picture.
        kpl::utf8_string_pow2 text;
        window_get_text(button, text);
        CHECK(std::string(text.c_str()) == b.text);
    }
    REQUIRE(shown.size() == 2);
    CHECK(read_icon(shown[0]).pixels != read_icon(shown[1]).pixels);
    // The panel destroys its icons with its window.
    DestroyWindow(panel);
    for (HICON icon : shown) CHECK(read_icon(icon).pixels.empty());
}

TEST_CASE("DSP Settings dialog: caption, the panel above the buttons, OK stores the edited chain, Cancel nothing") {
    gui_test::registry_scope registry;
    service_ptr<dsp_chain_service> service = chain_service();
    struct run {
        const char* name;
        const wchar_t* caption;
        UINT button;
        bool result;
        const char* after;
    };
    const run runs[] = {
        {"Night", L"DSP Settings - Night", IDOK, true, "Gain4"},
        {"", L"DSP Settings", IDCANCEL, false, "X1 Gain4"},
        {nullptr, L"DSP Settings", IDOK, true, "Gain4"},
    };
    for (const run& r : runs) {
        CAPTURE(r.after);
        dialog_probe probe{r.caption, r.button};
        dialog_probe::current = &probe;
        UINT_PTR timer = SetTimer(nullptr, 0, 50, &dialog_probe::on_timer);
        dsp_chain chain;
        chain.insert_item(entry(k_missing, 1), ~0u);
        chain.insert_item(entry(k_gain, 4), ~0u);
        const bool ok = service->run_chain_dialog(chain, nullptr, r.name);
        KillTimer(nullptr, timer);
        CHECK(probe.found);
        CHECK(probe.placed_right);
        CHECK(ok == r.result);
        CHECK(describe(chain) == r.after);
        CHECK(modal_scope::can_start());
    }
}

TEST_CASE("DSP presets in config.dat: kept across a restart; a damaged record empties them and the panel still opens") {
    gui_test::registry_scope registry;
    service_ptr<dsp_chain_service> service = chain_service();
    const std::wstring path = temp_path(L"vorn-dsp-presets-config.dat");
    const std::string location = "file://" + utf8(path);
    DeleteFileW(path.c_str());

    dsp_chain chain;
    chain.insert_item(entry(k_echo, 5), ~0u);
    dsp_presets().remove_all();
    dsp_presets().store("b", chain);
    dsp_presets().store("B", dsp_chain());
    config_store::program().save_now(location.c_str());
    const std::vector<uint8_t> saved = stored(dsp_presets());
    dsp_presets().remove_all();
    config_store::program().load(location.c_str(), true);
    CHECK(stored(dsp_presets()) == saved);

    // Two presets announced, one present.
    std::vector<uint8_t> damaged(saved.begin(), saved.begin() + 4 + 4 + 1);
    {
        memory_sink sink;
        dsp_chain_write(chain, sink, abort_never);
        damaged.insert(damaged.end(), sink.data(), sink.data() + sink.size());
    }
    write_config_with_presets(path, damaged);
    config_store::program().load(location.c_str(), true);
    CHECK(dsp_presets().count() == 0);
    host_window host;
    HWND panel = service->create_chain_panel(chain, host.window, 4711, false);
    REQUIRE(panel != nullptr);
    CHECK(SendDlgItemMessageW(panel, IDC_DSP_PRESET_NAME, CB_GETCOUNT, 0, 0) == 0);
    CHECK(rows(GetDlgItem(panel, IDC_DSP_ACTIVE)) == std::vector<std::string>{"Echo"});
    DestroyWindow(panel);
    DeleteFileW(path.c_str());
}

TEST_CASE("DSP panel outside its dialog: while another window is modal, the questions give way to that window") {
    gui_test::registry_scope registry;
    service_ptr<dsp_chain_service> service = chain_service();
    dsp_presets().remove_all();
    dsp_presets().store("kept", dsp_chain());
    host_window host;
    answering_host answers;
    message_box_host_override override_questions(answers);
    dsp_chain chain;
    chain.insert_item(entry(k_echo, 8), ~0u);
    HWND panel = service->create_chain_panel(chain, host.window, 4711, false);
    REQUIRE(panel != nullptr);
    panel_driver d{panel};
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    {
        modal_scope scope(other);
        d.type_name("kept");
        d.press(IDC_DSP_PRESET_SAVE);
        d.press(IDC_DSP_PRESET_DELETE);
    }
    CHECK(answers.asked.empty());
    REQUIRE(dsp_presets().find("kept") != nullptr);
    CHECK(dsp_presets().find("kept")->chain.count() == 0);
    // With no other modal window the same Save asks.
    d.press(IDC_DSP_PRESET_SAVE);
    CHECK(answers.asked.size() == 1);
    CHECK(describe(dsp_presets().find("kept")->chain) == "Echo8");
    DestroyWindow(other);
    DestroyWindow(panel);
    dsp_presets().remove_all();
}
