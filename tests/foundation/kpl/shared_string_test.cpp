#include <doctest/doctest.h>

#include <windows.h>

#include <string>

#include "foundation/kpl/shared_string.h"

namespace {

struct probe {
    static int destroyed;
    ~probe() { ++destroyed; }
};
int probe::destroyed = 0;

}  // namespace

TEST_CASE("a shared reference counts its block and deletes it with the last reference") {
    probe::destroyed = 0;
    {
        auto a = kpl::shared_ref<probe>::make();
        REQUIRE(a.block() != nullptr);
        CHECK(a.block()->count() == 1);
        {
            kpl::shared_ref<probe> b = a;
            kpl::shared_ref<probe> c;
            c = b;
            CHECK(a.block()->count() == 3);
            c = c;  // self-assignment takes the new reference first
            CHECK(a.block()->count() == 3);
            kpl::shared_ref<probe> d = std::move(c);
            CHECK(c.get() == nullptr);
            CHECK(a.block()->count() == 3);
            d.release();
            CHECK(d.get() == nullptr);
            CHECK(d.block() == nullptr);
            CHECK(a.block()->count() == 2);
        }
        CHECK(probe::destroyed == 0);
        CHECK(a.block()->count() == 1);
    }
    CHECK(probe::destroyed == 1);

    SUBCASE("the last reference assigned over itself survives") {
        auto only = kpl::shared_ref<probe>::make();
        only = only;
        CHECK(probe::destroyed == 1);
        CHECK(only.block()->count() == 1);
    }
}

TEST_CASE("shared strings") {
    SUBCASE("made from a C string: a stored copy") {
        std::string source = "Album Artist";
        kpl::shared_string s = kpl::shared_string::make(source.c_str());
        source[0] = 'X';
        CHECK(std::string(s.c_str()) == "Album Artist");
        CHECK(s.length() == 12);
        kpl::shared_string t = s;
        CHECK(t.get() == s.get());
        CHECK(kpl::shared_string::make("abcdef", 3)->length() == 3);
    }
    SUBCASE("null reads as empty") {
        kpl::shared_string none;
        CHECK(std::string(none.c_str()) == "");
        CHECK(none.length() == 0);
    }
    SUBCASE("the read-only empty string refuses every change") {
        kpl::shared_string e = kpl::shared_string::make_empty();
        REQUIRE(e.get() != nullptr);
        CHECK(std::string(e->c_str()) == "");
        CHECK(e->length() == 0);
        kpl::utf8_string& s = *e;
        CHECK_THROWS_WITH_AS(s.append("x", 1), "Feature not implemented", kpl::exception_not_implemented);
        CHECK_THROWS_WITH_AS(s.assign("x", 1), "Feature not implemented", kpl::exception_not_implemented);
        CHECK_THROWS_WITH_AS(s.truncate(0), "Feature not implemented", kpl::exception_not_implemented);
        CHECK_THROWS_WITH_AS(s.begin_write(4), "Feature not implemented", kpl::exception_not_implemented);
        CHECK_THROWS_WITH_AS(s.end_write(), "Feature not implemented", kpl::exception_not_implemented);
        CHECK(e->length() == 0);
        CHECK(kpl::shared_string::make_empty().get() != e.get());  // a new one each time
    }
}

namespace {

struct copy_work {
    kpl::shared_string* shared;
    int rounds;
};

DWORD WINAPI copy_and_drop(void* param) {
    auto* work = static_cast<copy_work*>(param);
    for (int i = 0; i < work->rounds; ++i) {
        kpl::shared_string copy = *work->shared;
        kpl::shared_string second(copy);
        second.release();
    }
    return 0;
}

}  // namespace

TEST_CASE("references to one shared string may be taken and dropped on several threads") {
    kpl::shared_string s = kpl::shared_string::make("shared");
    copy_work work{&s, 200000};
    HANDLE threads[4];
    for (HANDLE& h : threads) h = CreateThread(nullptr, 0, copy_and_drop, &work, 0, nullptr);
    for (HANDLE h : threads) REQUIRE(h != nullptr);
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (HANDLE h : threads) CloseHandle(h);
    CHECK(s.block()->count() == 1);
    CHECK(std::string(s.c_str()) == "shared");
}
