// Random numbers and detachable result notifiers.
#include <doctest/doctest.h>

#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/fs/path_lock.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/random_source.h"
#include "foundation/tasks/result_notifier.h"

TEST_CASE("random_source answers numbers in [0, n) and refuses n = 0") {
    service_ref ref = random_source::create();
    random_source* random = ref.as<random_source>();
    random->reseed(12345);  // accepted, changes nothing

    for (int i = 0; i < 200; ++i) CHECK(random->next(1) == 0);

    const uint32_t sizes[] = {2, 3, 7, 1000, 0xFFFFFFFFu};
    for (uint32_t n : sizes) {
        CAPTURE(n);
        for (int i = 0; i < 200; ++i) CHECK(random->next(n) < n);
    }

    // Four values over 400 draws: each shows up (missing one has a chance of about 4 * 0.75^400).
    std::vector<int> seen(4);
    for (int i = 0; i < 400; ++i) ++seen[size_t(random->next(4))];
    for (int count : seen) CHECK(count > 0);

    CHECK_THROWS_AS(random->next(0), kpl::exception_invalid_params);

    service_ref again;
    CHECK(random->query(again, random_source::class_guid));
    CHECK(again.get() == ref.get());
    service_ref other = random_source::create();
    CHECK(other.get() != ref.get());  // a new object per request
}

TEST_CASE("random numbers are a new object per request; path locks one static object") {
    service_table table;
    table.build(service_registration_list());
    const service_class_entry* random = table.find(random_source::class_guid);
    REQUIRE(random != nullptr);
    REQUIRE(random->count == 1);
    service_ref a, b;
    random->factories[0]->create_instance(a);
    random->factories[0]->create_instance(b);
    CHECK(a.get() != b.get());
    CHECK(a.as<random_source>()->next(10) < 10);

    service_ref manager;
    table.get_single(manager, path_lock_manager::class_guid);
    CHECK(manager.get() == &path_lock_manager::instance());
    table.release();
}

namespace {

struct recording_owner : notifier_owner {
    struct call {
        int key;
        int32_t code;
    };
    std::vector<call> calls;
    void on_notify(int key, int32_t code) override { calls.push_back({key, code}); }
};

}  // namespace

TEST_CASE("result notifiers reach their owner only while attached") {
    recording_owner owner;
    service_ref first = owner.create_notifier(7);
    service_ref other_key = owner.create_notifier(8);
    first.as<result_notifier>()->notify(1);
    other_key.as<result_notifier>()->notify(2);
    REQUIRE(owner.calls.size() == 2);
    CHECK(owner.calls[0].key == 7);
    CHECK(owner.calls[0].code == 1);
    CHECK(owner.calls[1].key == 8);
    CHECK(owner.calls[1].code == 2);

    SUBCASE("a new notifier for a key detaches the old one") {
        service_ref second = owner.create_notifier(7);
        first.as<result_notifier>()->notify(3);  // stale: nothing
        second.as<result_notifier>()->notify(4);
        REQUIRE(owner.calls.size() == 3);
        CHECK(owner.calls[2].code == 4);
    }
    SUBCASE("detach_all silences every notifier, and they outlive their owner safely") {
        service_ref survivor;
        {
            recording_owner short_lived;
            survivor = short_lived.create_notifier(1);
        }  // the owner's destructor detaches
        survivor.as<result_notifier>()->notify(5);  // must not touch the dead owner

        owner.detach_all();
        first.as<result_notifier>()->notify(6);
        other_key.as<result_notifier>()->notify(7);
        CHECK(owner.calls.size() == 2);

        service_ref fresh = owner.create_notifier(7);  // the owner can hand out new ones afterwards
        fresh.as<result_notifier>()->notify(8);
        REQUIRE(owner.calls.size() == 3);
        CHECK(owner.calls[2].code == 8);
    }
}
