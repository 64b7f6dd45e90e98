#include <doctest/doctest.h>

#include <windows.h>

#include <string>

#include "foundation/kpl/win32_errors.h"

namespace {

// Codes the system has no message for.
const uint32_t no_message_code = 0x2000ABCD;  // customer bit set
const int32_t no_message_hresult = static_cast<int32_t>(0xA0001234);

std::string text_of(uint32_t code) {
    kpl::utf8_string_pow2 out;
    return win32_error_text(code, out) ? out.c_str() : "<none>";
}

}  // namespace

TEST_CASE("the system text of a Win32 code is cleaned of line breaks and trailing blanks") {
    for (uint32_t code : {2u, 5u, 32u, 112u, 183u}) {
        CAPTURE(code);
        std::string text = text_of(code);
        REQUIRE(text != "<none>");
        CHECK_FALSE(text.empty());
        CHECK(text.find_first_of("\r\n\t") == std::string::npos);
        CHECK(text.back() != ' ');
        CHECK(win32_error_text_or_code(code) == text.c_str());
    }
}

TEST_CASE("codes without a system text") {
    kpl::utf8_string_pow2 out("untouched");
    CHECK_FALSE(win32_error_text(no_message_code, out));
    CHECK(out == "untouched");

    CHECK(win32_error_text_or_code(0) == "Unknown error code (0)");
    CHECK(win32_error_text_or_code(no_message_code) == "Unknown error code (536914893)");
    CHECK(std::string(exception_win32(0).what()) == "Unknown error code (0)");
    CHECK(exception_win32(0).code() == 0);

    exception_com com(no_message_hresult);
    CHECK(std::string(com.what()) == "Unknown error code (0xA0001234)");
    CHECK(com.code() == no_message_hresult);
    CHECK(win32_error_text_with_code(no_message_code) == "Unknown error code (0x2000ABCD)");
}

TEST_CASE("a COM result with a system text keeps the text and appends the code") {
    std::string system = text_of(5);
    exception_com com(static_cast<int32_t>(5));
    CHECK(std::string(com.what()) == system + " (0x00000005)");
    CHECK(std::string(exception_com::construct(-1).what()).find(" (0xFFFFFFFF)") != std::string::npos);
    CHECK(std::string(exception_com(static_cast<int32_t>(0x80004005), "Playback failed (0x80004005)").what()) ==
          "Playback failed (0x80004005)");
}

TEST_CASE("building texts leaves the thread's last-error value alone") {
    for (uint32_t code : {0u, 2u, no_message_code}) {
        CAPTURE(code);
        SetLastError(1234);
        win32_error_text_or_code(code);
        CHECK(GetLastError() == 1234);
        kpl::utf8_string_pow2 out;
        win32_error_text(code, out);
        CHECK(GetLastError() == 1234);
        exception_win32 e(code);
        CHECK(GetLastError() == 1234);
        exception_com c(static_cast<int32_t>(code));
        CHECK(GetLastError() == 1234);
    }
}

TEST_CASE("throw_last_error and check_hresult") {
    SetLastError(5);
    try {
        exception_win32::throw_last_error();
        FAIL("no exception");
    } catch (const exception_win32& e) {
        CHECK(e.code() == 5);
        CHECK(win32_error_text_or_code(5) == e.what());
    }

    for (int32_t hr : {0, 1, 0x7FFFFFFF}) CHECK_NOTHROW(check_hresult(hr));
    for (int32_t hr : {-1, static_cast<int32_t>(0x80004005)}) {
        try {
            check_hresult(hr);
            FAIL("no exception");
        } catch (const exception_com& e) {
            CHECK(e.code() == hr);
        }
    }
}
