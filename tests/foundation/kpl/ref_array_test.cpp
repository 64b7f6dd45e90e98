#include <doctest/doctest.h>

#include <vector>

#include "foundation/kpl/ref_array.h"

namespace {

// A counted object that records its count and whether it was deleted (it is never really freed, so
// the test can look at it afterwards).
class counted : public service_object {
public:
    explicit counted(int id) : id(id) {}
    uint32_t add_ref() override { return ++count; }
    uint32_t release() override {
        REQUIRE(count > 0);
        if (--count == 0) deleted = true;
        return count;
    }
    bool query(service_ref&, const kpl::guid&) override { return false; }

    int id;
    uint32_t count = 0;
    bool deleted = false;
};

std::vector<int> ids(const kpl::ref_array& a) {
    std::vector<int> out;
    for (const service_ref& r : a) out.push_back(r ? r.as<counted>()->id : -1);
    return out;
}

}  // namespace

TEST_CASE("service_ref stores take the new reference before releasing the old one") {
    counted a(1), b(2);
    {
        service_ref r(&a);
        CHECK(a.count == 1);
        r = r;  // the only reference assigned over itself
        CHECK_FALSE(a.deleted);
        CHECK(a.count == 1);
        r.assign(&b);
        CHECK(a.deleted);
        CHECK(b.count == 1);
        service_ref copy(r);
        CHECK(b.count == 2);
        service_ref moved(std::move(copy));
        CHECK(b.count == 2);
        CHECK(copy.get() == nullptr);
        moved.copy_to(copy);
        CHECK(b.count == 3);
        copy.release();
        CHECK(copy.is_empty());
        CHECK(b.count == 2);
        service_ref adopted;
        b.add_ref();
        adopted.attach(&b);  // takes over a counted reference
        CHECK(b.count == 3);
        CHECK(adopted.detach() == &b);
        b.release();
    }
    CHECK(b.count == 0);
    CHECK(b.deleted);
}

TEST_CASE("a ref_array counts what it holds") {
    counted o[6] = {counted(0), counted(1), counted(2), counted(3), counted(4), counted(5)};
    {
        kpl::ref_array a;
        for (auto& x : o) CHECK(a.append(&x) == static_cast<uint32_t>(x.id));
        for (auto& x : o) CHECK(x.count == 1);

        SUBCASE("get and set items") {
            service_ref r;
            a.get_item(2, r);
            CHECK(o[2].count == 2);
            a.set_item(0, r);
            CHECK(o[0].deleted);
            CHECK(o[2].count == 3);
            a.set_item(1, a[1]);  // an element stored over itself
            CHECK(o[1].count == 1);
            CHECK_FALSE(o[1].deleted);
            CHECK_THROWS_AS(a.get_item(6, r), kpl::exception_invalid_params);
            CHECK_THROWS_AS(a.set_item(6, r), kpl::exception_invalid_params);
            CHECK(ids(a) == std::vector<int>{2, 1, 2, 3, 4, 5});
        }
        SUBCASE("filter by mask keeps the marked elements in order and releases the rest") {
            kpl::bit_array keep(6);
            keep.set(1, true);
            keep.set(4, true);
            keep.set(5, true);
            a.filter_by_mask(keep);
            CHECK(ids(a) == std::vector<int>{1, 4, 5});
            CHECK(o[0].deleted);
            CHECK(o[2].deleted);
            CHECK(o[3].deleted);
            CHECK(o[4].count == 1);
            CHECK(a.capacity() == 8);
        }
        SUBCASE("insert another list, position clamped") {
            kpl::ref_array b;
            b.append(&o[5]);
            b.append(&o[4]);
            a.insert_from(b, 1);
            CHECK(ids(a) == std::vector<int>{0, 5, 4, 1, 2, 3, 4, 5});
            a.insert_from(b, 1000);
            CHECK(ids(a) == std::vector<int>{0, 5, 4, 1, 2, 3, 4, 5, 5, 4});
            CHECK(o[5].count == 4);  // three in a, one in b
        }
        SUBCASE("insert a list into itself") {
            a.set_count(2);
            a.insert_from(a, 1);
            CHECK(ids(a) == std::vector<int>{0, 0, 1, 1});
            CHECK(o[0].count == 2);
            CHECK(o[2].deleted);
        }
        SUBCASE("assign from another list") {
            kpl::ref_array b;
            b.assign_from(a, 2);
            CHECK(ids(b) == std::vector<int>{0, 1});
            b.assign_from(a);
            CHECK(ids(b) == ids(a));
            CHECK(o[3].count == 2);
        }
        SUBCASE("set_count fills with null and releases what it cuts") {
            a.set_count(8);
            CHECK(a.capacity() == 8);
            CHECK(ids(a) == std::vector<int>{0, 1, 2, 3, 4, 5, -1, -1});
            a.set_count(1);
            CHECK(a.capacity() == 1);
            CHECK(o[1].deleted);
            CHECK(o[5].deleted);
            CHECK(o[0].count == 1);
        }
        SUBCASE("shrinking and clearing") {
            a.resize_pow2(1);
            CHECK(a.capacity() == 4);
            a.clear();
            CHECK(a.count() == 0);
            CHECK(a.capacity() == 2);
            for (auto& x : o) CHECK(x.deleted);
            a.destroy();
            CHECK(a.capacity() == 0);
        }
        SUBCASE("remove") {
            a.remove_at(0);
            CHECK(ids(a) == std::vector<int>{1, 2, 3, 4, 5});
            CHECK(o[0].deleted);
            CHECK_THROWS_AS(a.remove_at(5), kpl::exception_invalid_params);
        }
    }
    for (auto& x : o) {
        CHECK(x.count == 0);
        CHECK(x.deleted);
    }
}
