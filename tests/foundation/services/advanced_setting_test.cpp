// Advanced settings: the program's entries as registered services with their names, parents, priorities,
// defaults and ranges; the integer text rules; checkbox and radio state; the interfaces each kind answers;
// the main-thread rule of plain texts and the lock of the locked text.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "foundation/kpl/exceptions.h"
#include "foundation/services/advanced_setting_entries.h"

namespace {

using namespace advanced_settings;

enum class kind { branch, checkbox, radio, text, locked_text, integer };

struct expected_entry {
    const char* name;
    kind what;
    kpl::guid parent;
    double priority;
    const char* default_text;  // texts and integers; "1"/"0" for checkboxes and radios; branches: own GUID text
    uint64_t minimum, maximum; // integers
};

const kpl::guid k_fading = {0x481C4262, 0xDE19, 0x4FB8, {0xBC, 0x66, 0xEF, 0x30, 0x20, 0x6F, 0x93, 0x18}};
const kpl::guid k_top_c48 = {0xC48D430D, 0x0112, 0x4922, {0x97, 0x23, 0x28, 0x38, 0xC7, 0xD9, 0x7D, 0xD7}};
const kpl::guid k_top_6c4 = {0x6C4BC1C8, 0xBAF4, 0x40C3, {0x9D, 0xB1, 0x09, 0x50, 0x7F, 0x0C, 0x0C, 0xB9}};
const kpl::guid k_top_e8f = {0xE8FE273F, 0xDD00, 0x476E, {0xA7, 0x90, 0xE5, 0x9D, 0xF6, 0xB8, 0xF8, 0xD4}};
const kpl::guid k_properties = {0x5D59D46E, 0x6B72, 0x48D1, {0xAE, 0xB4, 0x55, 0x86, 0x85, 0x10, 0x27, 0x0E}};
const kpl::guid k_mp3 = {0x471BA209, 0x0DFD, 0x4A36, {0x89, 0x4A, 0x99, 0x66, 0x16, 0x82, 0x60, 0x59}};
const kpl::guid k_scheme = {0x681924E2, 0x2124, 0x4EB6, {0x95, 0xEC, 0x40, 0x24, 0x66, 0xDE, 0x25, 0x80}};
const kpl::guid k_locked = {0x904C272B, 0x2317, 0x4C3C, {0xB2, 0xFF, 0xC5, 0xA0, 0x12, 0x5E, 0x2C, 0xC2}};

const kpl::guid k_class = {0x7E84602E, 0xDC49, 0x4047, {0xAA, 0xEE, 0x63, 0x71, 0x8B, 0xBC, 0x5A, 0x1F}};
const kpl::guid k_branch_if = {0x6A60B472, 0x91AC, 0x4681, {0x9D, 0xC2, 0x76, 0xC9, 0x94, 0x00, 0x5B, 0x63}};
const kpl::guid k_checkbox_if = {0x5243ABA4, 0x2A3D, 0x4627, {0x88, 0xEF, 0xCE, 0xE3, 0x76, 0x1C, 0x07, 0x9C}};
const kpl::guid k_checkbox_ext = {0xE29B37D0, 0xA957, 0x4A85, {0x82, 0x40, 0x1E, 0x96, 0xC7, 0x29, 0xB6, 0x69}};
const kpl::guid k_text_if = {0x185D582D, 0xFBD8, 0x4DB3, {0xBE, 0x23, 0x47, 0xAA, 0xC6, 0x75, 0xFC, 0x11}};
const kpl::guid k_text_ext = {0x2EC9B1FA, 0xE1E4, 0x42F0, {0x87, 0x97, 0x4A, 0x63, 0x16, 0x94, 0x86, 0xBC}};

const expected_entry k_table[] = {
    {"Fading", kind::branch, k_top_c48, 0, "{481C4262-DE19-4FB8-BC66-EF30206F9318}", 0, 0},
    {"Fade out (ms)", kind::integer, k_fading, 1, "100", 0, 10000},
    {"Fade on seek (ms)", kind::integer, k_fading, 0, "100", 0, 10000},
    {"Fade on pause (ms)", kind::integer, k_fading, 2, "100", 0, 10000},
    {"Volume step (dB)", kind::text, k_top_c48, 0, "1.0", 0, 0},
    {"Show error message popups", kind::checkbox, k_top_c48, 0, "1", 0, 0},
    {"Mouse wheel: scroll the object below the pointer rather than the object having keyboard focus", kind::checkbox,
     k_top_6c4, 0, "1", 0, 0},
    {"Properties dialog", kind::branch, k_top_6c4, 0, "{5D59D46E-6B72-48D1-AEB4-55868510270E}", 0, 0},
    {"Multiline fields", kind::text, k_properties, 0, "COMMENT;LYRICS;BIOGRAPHY", 0, 0},
    {"Multivalue fields", kind::text, k_properties, 0, "ARTIST;ALBUM ARTIST;PRODUCER;COMPOSER;PERFORMER;GENRE", 0, 0},
    {"Title display format", kind::text, k_properties, 0, "%TITLE%", 0, 0},
    {"MP3", kind::branch, k_top_e8f, 0, "{471BA209-0DFD-4A36-894A-996616826059}", 0, 0},
    {"Preferred tag writing scheme", kind::branch, k_mp3, 0, "{681924E2-2124-4EB6-95EC-402466DE2580}", 0, 0},
    {"ID3v2 + ID3v1", kind::radio, k_scheme, 0, "1", 0, 0},
    {"ID3v2", kind::radio, k_scheme, 1, "0", 0, 0},
    {"APE + ID3v1", kind::radio, k_scheme, 2, "0", 0, 0},
    {"APE", kind::radio, k_scheme, 3, "0", 0, 0},
    {"Additional correction file folders", kind::locked_text, k_locked, 0, "", 0, 0},
};

bool answers(service_object* object, const kpl::guid& interface_guid) {
    service_ref out;
    bool ok = object->query(out, interface_guid);
    CHECK(ok == (out.get() != nullptr));
    return ok;
}

// The entry of the program's registered advanced_setting services with this name (null when none), and
// how many carry it.
advanced_setting* registered_entry(service_table& table, const char* name, int& count) {
    advanced_setting* found = nullptr;
    count = 0;
    service_iterator it(table.find(k_class));
    service_ref each;
    while (it.next(each)) {
        kpl::utf8_string_pow2 text;
        each.as<advanced_setting>()->get_name(text);
        if (text == name) {
            found = each.as<advanced_setting>();
            ++count;
        }
    }
    return found;
}

}  // namespace

TEST_CASE("advanced settings: every entry of the program is registered with its parent, priority and default") {
    service_table table;
    table.build(service_registration_list());

    for (const expected_entry& e : k_table) {
        CAPTURE(e.name);
        int count = 0;
        advanced_setting* entry = registered_entry(table, e.name, count);
        REQUIRE(entry != nullptr);
        CHECK(count == 1);

        kpl::guid parent = kpl::guid_null;
        entry->get_parent(parent);
        CHECK(parent == e.parent);
        CHECK(entry->get_sort_priority() == e.priority);
        CHECK(entry->add_ref() == 1);
        CHECK(entry->release() == 1);

        service_ref r;
        switch (e.what) {
            case kind::branch: {
                REQUIRE(answers(entry, k_branch_if));
                CHECK_FALSE(answers(entry, k_checkbox_if));
                CHECK_FALSE(answers(entry, k_text_if));
                auto* branch = static_cast<advanced_branch_setting*>(static_cast<advanced_setting_branch*>(entry));
                CHECK(branch->own_guid() == kpl::guid_from_text(e.default_text));
                break;
            }
            case kind::checkbox:
            case kind::radio: {
                REQUIRE(entry->query(r, k_checkbox_ext));
                auto* box = r.as<advanced_setting_checkbox_ext>();
                CHECK(box->is_radio() == (e.what == kind::radio));
                CHECK(box->get_default_state() == (e.default_text[0] == '1'));
                CHECK(box->get_state() == box->get_default_state());
                CHECK(box->get_entry_flags() == 0);
                CHECK_FALSE(answers(entry, k_text_if));
                break;
            }
            case kind::text:
            case kind::locked_text:
            case kind::integer: {
                REQUIRE(entry->query(r, k_text_ext));
                auto* text = r.as<advanced_setting_text_ext>();
                CHECK(text->is_numeric() == (e.what == kind::integer));
                kpl::utf8_string_pow2 value, fallback;
                text->get_text_value(value);
                text->get_default(fallback);
                CHECK(std::string(value.c_str()) == e.default_text);
                CHECK(std::string(fallback.c_str()) == e.default_text);
                CHECK(text->get_entry_flags() == 0);
                CHECK_FALSE(answers(entry, k_checkbox_if));
                if (e.what == kind::integer) {
                    auto* number = static_cast<advanced_integer_setting*>(text);
                    CHECK(number->get_minimum() == e.minimum);
                    CHECK(number->get_maximum() == e.maximum);
                }
                break;
            }
        }
    }
}

TEST_CASE("advanced settings: readers see the defaults through the entry objects") {
    CHECK(fade_out_ms->get_value() == 100);
    CHECK(fade_on_seek_ms->get_value() == 100);
    CHECK(fade_on_pause_ms->get_value() == 100);
    CHECK(show_error_popups->get_state());
    CHECK(wheel_scrolls_object_below_pointer->get_state());
    CHECK(preferred_mp3_tag_scheme() == mp3_tag_scheme::id3v2_id3v1);
    kpl::utf8_string_pow2 text;
    volume_step_db->get_text_value(text);
    CHECK(text == "1.0");
    title_display_format->get_text_value(text);
    CHECK(text == "%TITLE%");
    correction_file_folders->get_text_value(text);
    CHECK(text == "");
}

TEST_CASE("advanced settings: an integer takes the last run of digits of a text, clamped to its range") {
    struct row {
        const char* text;
        size_t length;  // (size_t)-1: the whole text
        uint64_t value;
        const char* shown;
    };
    const row rows[] = {
        {"20000", size_t(-1), 10000, "10000"},
        {"-5", size_t(-1), 5, "5"},
        {"abc", size_t(-1), 0, "0"},
        {"12a34", size_t(-1), 34, "34"},
        {"0099", size_t(-1), 99, "99"},
        {"10000", size_t(-1), 10000, "10000"},
        {"10001", size_t(-1), 10000, "10000"},
        {"", size_t(-1), 0, "0"},
        {"123456", 3, 123, "123"},                                // only the given length counts
        {"18446744073709551616", size_t(-1), 0, "0"},             // 2^64 wraps to 0
        {"18446744073709551617", size_t(-1), 1, "1"},             // 2^64 + 1 wraps to 1
        {"99999999999999999999", size_t(-1), 10000, "10000"},     // modulo 2^64, then clamped
    };
    for (const row& r : rows) {
        CAPTURE(r.text);
        fade_out_ms->set_text_value(r.text, r.length);
        CHECK(fade_out_ms->get_value() == r.value);
        kpl::utf8_string_pow2 shown;
        fade_out_ms->get_text_value(shown);
        CHECK(shown == r.shown);

        kpl::utf8_string_pow2 normalized(r.text, r.length == size_t(-1) ? kpl::utf8_string::npos : uint32_t(r.length));
        fade_out_ms->normalize(normalized);
        CHECK(normalized == r.shown);
    }
    fade_out_ms->reset();
    CHECK(fade_out_ms->get_value() == 100);

    // A minimum above 0 clamps from below: a text without digits gives the minimum.
    advanced_integer_setting bounded("bounded", 60, 50, 70, 0);
    const row bounded_rows[] = {{"abc", size_t(-1), 50, "50"}, {"49", size_t(-1), 50, "50"},
                                {"71", size_t(-1), 70, "70"}, {"x65y", size_t(-1), 65, "65"}};
    for (const row& r : bounded_rows) {
        CAPTURE(r.text);
        bounded.set_text_value(r.text, r.length);
        CHECK(bounded.get_value() == r.value);
    }
    kpl::utf8_string_pow2 fallback;
    bounded.get_default(fallback);
    CHECK(fallback == "60");
}

TEST_CASE("advanced settings: texts store what is set and reset to their default; normalize leaves them alone") {
    kpl::utf8_string_pow2 text;
    volume_step_db->set_text_value("2.5 and more", 3);
    volume_step_db->get_text_value(text);
    CHECK(text == "2.5");
    text = "0099";
    volume_step_db->normalize(text);
    CHECK(text == "0099");
    volume_step_db->reset();
    volume_step_db->get_text_value(text);
    CHECK(text == "1.0");

    correction_file_folders->set_text_value("D:\\Corrections;E:\\More", size_t(-1));
    correction_file_folders->get_text_value(text);
    CHECK(text == "D:\\Corrections;E:\\More");
    correction_file_folders->reset();
    correction_file_folders->get_text_value(text);
    CHECK(text == "");
}

TEST_CASE("advanced settings: checkbox state, reset, and the radio choice of the tag writing scheme") {
    show_error_popups->set_state(false);
    CHECK_FALSE(show_error_popups->get_state());
    CHECK(show_error_popups->get_default_state());
    show_error_popups->reset();
    CHECK(show_error_popups->get_state());

    struct row {
        bool states[4];
        mp3_tag_scheme chosen;
    };
    const row rows[] = {
        {{true, false, false, false}, mp3_tag_scheme::id3v2_id3v1},
        {{false, true, false, false}, mp3_tag_scheme::id3v2},
        {{false, false, true, false}, mp3_tag_scheme::ape_id3v1},
        {{false, false, false, true}, mp3_tag_scheme::ape},
        {{false, true, false, true}, mp3_tag_scheme::id3v2},    // the first one that is on
        {{false, false, false, false}, mp3_tag_scheme::id3v2_id3v1},  // none on: the first
    };
    advanced_radio_entry* radios[] = {&tag_scheme_id3v2_id3v1, &tag_scheme_id3v2, &tag_scheme_ape_id3v1, &tag_scheme_ape};
    for (const row& r : rows) {
        for (int i = 0; i < 4; ++i) (*radios[i])->set_state(r.states[i]);
        CHECK(preferred_mp3_tag_scheme() == r.chosen);
    }
    for (advanced_radio_entry* radio : radios) (*radio)->reset();
    CHECK(tag_scheme_id3v2_id3v1->get_state());
    CHECK_FALSE(tag_scheme_ape->get_state());
    CHECK(preferred_mp3_tag_scheme() == mp3_tag_scheme::id3v2_id3v1);
}

// ---- threads ---------------------------------------------------------------------------------------------

namespace {

DWORD g_worker_thread = 0;
DWORD g_worker_crash = 0;

LONG CALLBACK catch_crash_on_worker(EXCEPTION_POINTERS* info) {
    if (GetCurrentThreadId() != g_worker_thread) return EXCEPTION_CONTINUE_SEARCH;
    g_worker_crash = info->ExceptionRecord->ExceptionCode;
    ExitThread(1);
}

struct worker_call {
    void (*call)();
};

DWORD WINAPI worker(void* context) {
    static_cast<worker_call*>(context)->call();
    return 0;
}

// Runs the call on a new thread; answers the structured exception that ended it (0: it returned).
DWORD run_on_worker(void (*call)()) {
    worker_call context{call};
    void* handler = AddVectoredExceptionHandler(1, &catch_crash_on_worker);
    g_worker_crash = 0;
    HANDLE thread = CreateThread(nullptr, 0, &worker, &context, CREATE_SUSPENDED, &g_worker_thread);
    REQUIRE(thread != nullptr);
    ResumeThread(thread);
    CHECK(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0);
    CloseHandle(thread);
    RemoveVectoredExceptionHandler(handler);
    return g_worker_crash;
}

}  // namespace

TEST_CASE("advanced settings: a plain text's value belongs to the main thread; the locked text serves any thread") {
    struct row {
        const char* what;
        void (*call)();
        DWORD crash;
    };
    const row rows[] = {
        {"plain get_text_value",
         [] {
             kpl::utf8_string_pow2 t;
             multiline_fields->get_text_value(t);
         },
         kpl::crash_exception_code},
        {"plain set_text_value", [] { multiline_fields->set_text_value("X", 1); }, kpl::crash_exception_code},
        {"plain reset", [] { multiline_fields->reset(); }, kpl::crash_exception_code},
        {"plain get_default", [] {
             kpl::utf8_string_pow2 t;
             multiline_fields->get_default(t);
         }, 0},
        {"locked set_text_value", [] { correction_file_folders->set_text_value("F:\\wv", size_t(-1)); }, 0},
        {"locked get_text_value",
         [] {
             kpl::utf8_string_pow2 t;
             correction_file_folders->get_text_value(t);
             if (!(t == "F:\\wv")) RaiseException(0xE0000001, 0, 0, nullptr);
         },
         0},
        {"locked reset", [] { correction_file_folders->reset(); }, 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        CHECK(run_on_worker(r.call) == r.crash);
    }
    kpl::utf8_string_pow2 text;
    multiline_fields->get_text_value(text);
    CHECK(text == "COMMENT;LYRICS;BIOGRAPHY");  // nothing changed by the refused calls
    correction_file_folders->get_text_value(text);
    CHECK(text == "");
}
