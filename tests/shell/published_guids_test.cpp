// Services, interfaces and commands that other components look up by their published GUIDs: a lookup
// written from the GUID's text finds them (a digit wrong in the program's own constant and it would not).
#include <doctest/doctest.h>

#include <string>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_registry.h"
#include "metadata/tag_operations.h"
#include "playback/playback_controller.h"
#include "shell/command_model.h"
#include "tests/shell/shell_fixtures.h"

TEST_CASE("published GUIDs: service classes, the play order's extension and commands are found by their text") {
    shell_test::running_services services;
    SUBCASE("service classes") {
        for (const char* text : {"{8146A883-F146-401B-BAF6-4FB2E306F2EB}",    // preferences branches
                                 "{D3BD5F53-A6D6-4346-991F-CF14DFAD2B3A}",    // the context-menu builder
                                 "{350B3EA8-6B3E-4346-B6D2-799E98EFC920}"}) { // the main-menu builder
            CAPTURE(std::string(text));
            CHECK(service_class::find(kpl::guid_from_text(text)) != nullptr);
        }
    }
    SUBCASE("the play order's shut-down extension") {
        service_ref order;
        service_class::get_single(order, play_order_manager::class_guid);
        service_ref ext;
        CHECK(order->query(ext, kpl::guid_from_text("{9C2F91D8-AAAF-4E0B-B5D5-4CD497DBE4E4}")));
        CHECK(ext);
    }
    SUBCASE("interfaces an object answers by query") {
        struct observer final : service_counted<info_observer> {
            void on_info(const track_handle_ref&, const track_info&, const file_stats&) override {}
        };
        service_ptr<info_observer> made(new observer());
        made->release();  // the pointer holds the only reference
        service_ref answered;
        CHECK(made->query(answered, kpl::guid_from_text("{52D7A5B9-CBAF-4AB8-98D4-E605A33E0B3F}")));
    }
    SUBCASE("main-menu commands") {
        const char* const cases[] = {
            "{EF9B60FE-CB03-4C40-A8FD-3F1821020B37}",  // restart
            "{F7AA88F4-057A-4332-BAE8-5F647356C72F}",  // rewind
            "{851B8274-2879-43D3-A493-23B2E993C828}",  // fast forward
            "{6D38C73A-15D8-472C-8E68-6F946B82ECB4}",  // exit
        };
        service_ptr<main_menu_command_finder> finder;
        service_class::get_single(finder);
        for (const char* text : cases) {
            CAPTURE(std::string(text));
            service_ptr<main_menu_command_set> set;
            uint32_t index = 0;
            REQUIRE(finder->find_main_command(kpl::guid_from_text(text), set, index));
            CHECK(set->get_guid(index) == kpl::guid_from_text(text));
        }
    }
}
