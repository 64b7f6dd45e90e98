#include <doctest/doctest.h>

TEST_CASE("the test harness runs under Wine") { CHECK(1 + 1 == 2); }
