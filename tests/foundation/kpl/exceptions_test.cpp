#include <doctest/doctest.h>

#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <typeinfo>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/text_lookup.h"

namespace {

// The texts of the built-in English language file for the I/O family.
const std::map<std::string, std::string> english = {
    {"exception_io", "I/O error"},
    {"exception_io_data", "Unsupported format or corrupted file"},
    {"exception_io_unsupported_format", "Unsupported file format"},
    {"exception_io_with_code", "I/O error #{code}"},
    {"exception_io_object_is_remote", "This operation is not supported on remote objects"},
    {"exception_io_seek_out_of_range", "Seek offset out of range"},
    {"exception_io_object_not_seekable", "Object is not seekable"},
    {"exception_io_no_length", "Unknown length"},
    {"exception_io_not_found", "Object not found"},
    {"exception_io_denied", "Access denied"},
    {"exception_io_sharing_violation", "File is already in use"},
    {"exception_io_device_full", "Device full"},
    {"exception_io_file_corrupted", "The file is corrupted"},
    {"exception_io_already_exists", "Object already exists"},
    {"exception_io_write_protected", "The media is write protected"},
    {"exception_io_directory_not_empty", "Directory not empty"},
    {"exception_io_name_too_long", "File name is too long"},
    {"exception_io_no_handler_for_path", "Invalid path"},
};
std::map<std::string, std::string> table = english;

bool lookup(const char* id, kpl::utf8_string& out) {
    auto it = table.find(id);
    if (it == table.end()) return false;
    out.assign_cstr(it->second.c_str());
    return true;
}

// Installs the test language table for one test case and restores what was there before.
struct language_table_scope {
    kpl::text_lookup_function previous;
    explicit language_table_scope(const std::map<std::string, std::string>& texts)
        : previous(kpl::set_text_lookup(&lookup)) {
        table = texts;
    }
    ~language_table_scope() { kpl::set_text_lookup(previous); }
};

// Whether a handler for Base would catch e.
template <class Base, class E>
bool is_a(const E& e) {
    const std::exception& thrown = e;
    return dynamic_cast<const Base*>(&thrown) != nullptr;
}

template <class E>
void check_text(const char* expected) {
    E e;
    CHECK(std::string(e.what()) == expected);
}

}  // namespace

TEST_CASE("base library, service and start-up exceptions carry their fixed texts") {
    struct row {
        const std::exception& e;
        const char* text;
    };
    const row rows[] = {
        {kpl::exception_bug_check(), "Bug check"},
        {kpl::exception_bug_check_v2(), "Bug check"},
        {kpl::exception_not_implemented(), "Feature not implemented"},
        {kpl::exception_invalid_params(), "Invalid parameters"},
        {kpl::exception_dynamic_assert(), "dynamic_assert failure"},
        {kpl::exception_overflow(), "Overflow"},
        {kpl::bad_allocation(), "bad allocation"},
        {exception_service_not_found(), "Service not found"},
        {exception_service_duplicated(), "Service duplicated"},
        {exception_service_extension_not_found(), "Service extension not found"},
        {exception_shutdownrequest(), "Shutdown Request"},
        {exception_shutdownrequest("Another instance is already running"), "Another instance is already running"},
        {exception_messagebox("Could not create profile directory"), "Could not create profile directory"},
        {exception_installdamaged(), "Internal error - one or more of the installed components have been damaged."},
        {exception_out_of_resources(), "Not enough system resources available."},
        {ketrel_io::exception_aborted(), "User abort"},
        {kpl::exception_bug_check_v2("index out of range"), "index out of range"},
    };
    for (const row& r : rows) CHECK(std::string(r.e.what()) == r.text);
}

TEST_CASE("the class tree decides what a handler catches") {
    using namespace ketrel_io;
    CHECK(is_a<kpl::exception_bug_check>(kpl::exception_not_implemented()));
    CHECK(is_a<kpl::exception_bug_check>(kpl::exception_invalid_params()));
    CHECK(is_a<kpl::exception_bug_check>(kpl::exception_dynamic_assert()));
    CHECK(is_a<kpl::exception_bug_check>(kpl::exception_bug_check_v2()));
    CHECK_FALSE(is_a<kpl::exception_bug_check>(kpl::exception_overflow()));
    CHECK(is_a<std::bad_alloc>(kpl::bad_allocation()));
    CHECK(is_a<exception_messagebox>(exception_installdamaged()));
    CHECK(is_a<exception_messagebox>(exception_out_of_resources()));
    CHECK_FALSE(is_a<exception_messagebox>(exception_shutdownrequest()));

    CHECK(is_a<exception_io_denied>(exception_io_write_protected()));
    CHECK(is_a<exception_io>(exception_io_write_protected()));
    CHECK(is_a<exception_io_data>(exception_io_unsupported_format()));
    CHECK_FALSE(is_a<exception_io_data>(exception_io_not_found()));
    CHECK(is_a<exception_io_win32>(exception_io_win32_ex(5)));
    CHECK(is_a<exception_io>(exception_io_win32_ex(5)));
    CHECK_FALSE(is_a<exception_io>(exception_aborted()));

    // An I/O handler lets a cancel pass.
    bool cancel_passed = false;
    try {
        try {
            throw ketrel_io::exception_aborted();
        } catch (const ketrel_io::exception_io&) {
            FAIL("an I/O handler caught a cancel");
        }
    } catch (const ketrel_io::exception_aborted&) {
        cancel_passed = true;
    }
    CHECK(cancel_passed);

    bool caught_as_bad_alloc = false;
    try {
        kpl::throw_bad_alloc();
    } catch (const std::bad_alloc& e) {
        caught_as_bad_alloc = std::strcmp(e.what(), "bad allocation") == 0;
    }
    CHECK(caught_as_bad_alloc);
    CHECK_THROWS_AS(kpl::throw_overflow(), kpl::exception_overflow);
    CHECK_THROWS_AS(kpl::bug_check(), kpl::exception_bug_check);
    CHECK_NOTHROW(kpl::dynamic_assert(true));
    CHECK_THROWS_WITH_AS(kpl::dynamic_assert(false), "dynamic_assert failure", kpl::exception_dynamic_assert);
}

TEST_CASE("I/O exceptions take their texts from the language table when they are built") {
    SUBCASE("English") {
        language_table_scope scope(english);
        check_text<ketrel_io::exception_io>("I/O error");
        check_text<ketrel_io::exception_io_data>("Unsupported format or corrupted file");
        check_text<ketrel_io::exception_io_unsupported_format>("Unsupported file format");
        check_text<ketrel_io::exception_io_not_found>("Object not found");
        check_text<ketrel_io::exception_io_denied>("Access denied");
        check_text<ketrel_io::exception_io_write_protected>("The media is write protected");
        check_text<ketrel_io::exception_io_sharing_violation>("File is already in use");
        check_text<ketrel_io::exception_io_device_full>("Device full");
        check_text<ketrel_io::exception_io_file_corrupted>("The file is corrupted");
        check_text<ketrel_io::exception_io_already_exists>("Object already exists");
        check_text<ketrel_io::exception_io_name_too_long>("File name is too long");
        check_text<ketrel_io::exception_io_directory_not_empty>("Directory not empty");
        check_text<ketrel_io::exception_io_seek_out_of_range>("Seek offset out of range");
        check_text<ketrel_io::exception_io_no_handler_for_path>("Invalid path");
        check_text<ketrel_io::exception_io_no_length>("Unknown length");
        check_text<ketrel_io::exception_io_object_not_seekable>("Object is not seekable");
        check_text<ketrel_io::exception_io_object_is_remote>("This operation is not supported on remote objects");
        check_text<ketrel_io::exception_io_win32>("I/O error");
        CHECK(std::string(ketrel_io::exception_io_data("Corrupted configuration file").what()) ==
              "Corrupted configuration file");

        ketrel_io::exception_io_not_found built_before_the_change;
        table["exception_io_not_found"] = "Changed";
        CHECK(std::string(built_before_the_change.what()) == "Object not found");
        ketrel_io::exception_io_not_found copy = built_before_the_change;
        CHECK(std::string(copy.what()) == "Object not found");
    }
    SUBCASE("a table without the id gives the empty text") {
        language_table_scope scope(std::map<std::string, std::string>{{"exception_io", "I/O error"}});
        check_text<ketrel_io::exception_io_not_found>("");
        check_text<ketrel_io::exception_io>("I/O error");
        CHECK(std::string(ketrel_io::exception_io_win32_ex(1234).what()) == "");
    }
    SUBCASE("no table at all gives the empty text, but a cancel keeps its fixed text") {
        kpl::text_lookup_function previous = kpl::set_text_lookup(nullptr);
        check_text<ketrel_io::exception_io_denied>("");
        check_text<ketrel_io::exception_aborted>("User abort");
        kpl::set_text_lookup(previous);
    }
}

TEST_CASE("the coded I/O error fills {code} with the decimal code") {
    struct row {
        const char* pattern;
        uint32_t code;
        const char* text;
    };
    const row rows[] = {
        {"I/O error #{code}", 1234, "I/O error #1234"},
        {"I/O error #{code}", 4294967295u, "I/O error #4294967295"},
        {"{code}: {code}", 7, "7: 7"},
        {"Fehler } {code}", 0, "Fehler } 0"},  // a '}' without '{' stays
        {"no placeholder", 3, "no placeholder"},
        {"broken {code", 3, ""},          // '{' without '}': cannot be resolved
        {"unknown {name} {code}", 3, ""},  // a placeholder other than {code}
    };
    for (const row& r : rows) {
        CAPTURE(r.pattern);
        auto texts = english;
        texts["exception_io_with_code"] = r.pattern;
        language_table_scope scope(texts);
        ketrel_io::exception_io_win32_ex e = ketrel_io::exception_io::construct_with_code(r.code);
        CHECK(e.code() == r.code);
        CHECK(std::string(e.what()) == r.text);
    }
}

TEST_CASE("a Win32 error code becomes the I/O kind that reports it") {
    language_table_scope scope(english);
    struct row {
        uint32_t code;
        const std::type_info& kind;
        const char* text;
    };
    const row rows[] = {
        {2, typeid(ketrel_io::exception_io_not_found), "Object not found"},
        {3, typeid(ketrel_io::exception_io_not_found), "Object not found"},
        {5, typeid(ketrel_io::exception_io_denied), "Access denied"},
        {65, typeid(ketrel_io::exception_io_denied), "Access denied"},
        {19, typeid(ketrel_io::exception_io_write_protected), "The media is write protected"},
        {23, typeid(ketrel_io::exception_io_file_corrupted), "The file is corrupted"},
        {1392, typeid(ketrel_io::exception_io_file_corrupted), "The file is corrupted"},
        {1393, typeid(ketrel_io::exception_io_file_corrupted), "The file is corrupted"},
        {32, typeid(ketrel_io::exception_io_sharing_violation), "File is already in use"},
        {33, typeid(ketrel_io::exception_io_sharing_violation), "File is already in use"},
        {148, typeid(ketrel_io::exception_io_sharing_violation), "File is already in use"},
        {170, typeid(ketrel_io::exception_io_sharing_violation), "File is already in use"},
        {39, typeid(ketrel_io::exception_io_device_full), "Device full"},
        {112, typeid(ketrel_io::exception_io_device_full), "Device full"},
        {80, typeid(ketrel_io::exception_io_already_exists), "Object already exists"},
        {183, typeid(ketrel_io::exception_io_already_exists), "Object already exists"},
        {111, typeid(ketrel_io::exception_io_name_too_long), "File name is too long"},
        {145, typeid(ketrel_io::exception_io_directory_not_empty), "Directory not empty"},
        {1234, typeid(ketrel_io::exception_io_win32_ex), "I/O error #1234"},
        {0, typeid(ketrel_io::exception_io_win32_ex), "I/O error #0"},
        {4, typeid(ketrel_io::exception_io_win32_ex), "I/O error #4"},
    };
    for (const row& r : rows) {
        CAPTURE(r.code);
        try {
            throw_win32_io_error(r.code);
        } catch (const ketrel_io::exception_io& e) {
            CHECK(typeid(e) == r.kind);
            CHECK(std::string(e.what()) == r.text);
        }
    }
}

TEST_CASE("exception texts are shared by copies and survive the original") {
    std::string long_text(5000, 'q');
    kpl::exception_message* survivor;
    {
        exception_messagebox original(long_text.c_str());
        survivor = new kpl::exception_message(kpl::exception_message(original.what()));
        exception_messagebox copy = original;
        CHECK(copy.what() == original.what());  // one shared block
    }
    CHECK(std::string(survivor->c_str()) == long_text);
    delete survivor;
    CHECK(std::string(kpl::exception_message(nullptr).c_str()) == "");
    CHECK(std::string(exception_messagebox(nullptr).what()) == "");
}

TEST_CASE("a failing new reads bad allocation") {
    static void* volatile kept;  // keeps the compiler from dropping the allocations
    // Nearly the whole address space, of either width: no allocator can grant it.
    volatile std::size_t huge = std::numeric_limits<std::size_t>::max() - 15;
    try {
        kept = ::operator new(huge);
        FAIL("the allocation succeeded");
    } catch (const std::bad_alloc& e) {
        CHECK(std::string(e.what()) == "bad allocation");
    }
    try {
        kept = new char[huge];
        FAIL("the allocation succeeded");
    } catch (const std::bad_alloc& e) {
        CHECK(std::string(e.what()) == "bad allocation");
    }
    CHECK(kept == nullptr);
}
