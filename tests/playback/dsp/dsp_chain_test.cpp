// The DSP chain's stored form (round trip, exact bytes, refusals) and the chunk list with its block pool.
#include <doctest/doctest.h>

#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/config_variable.h"
#include "playback/dsp/dsp_chain.h"
#include "playback/dsp/dsp_chain_service.h"
#include "playback/dsp/dsp_chunk_list.h"
#include "tests/metadata/byte_fixtures.h"

#include <cstring>
#include <vector>

namespace {

using metadata_test::bytes_source;

const kpl::guid k_a = {0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}};
const kpl::guid k_b = {0xAABBCCDD, 0x1122, 0x3344, {1, 2, 3, 4, 5, 6, 7, 8}};

dsp_chain_item make_item(const kpl::guid& guid, std::vector<uint8_t> data) {
    dsp_chain_item item(guid);
    item.set_data(data.data(), static_cast<uint32_t>(data.size()));
    return item;
}

std::vector<uint8_t> stored(const dsp_chain& chain) {
    memory_sink sink;
    dsp_chain_write(chain, sink, abort_never);
    return std::vector<uint8_t>(sink.data(), sink.data() + sink.size());
}

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A stored chain of one item of GUID k_a whose size field says `size`, followed by `present` bytes.
std::vector<uint8_t> one_item_record(uint32_t size, uint32_t present) {
    std::vector<uint8_t> bytes;
    put_u32(bytes, 1);
    memory_sink guid;
    guid.write_guid(k_a, abort_never);
    bytes.insert(bytes.end(), guid.data(), guid.data() + 16);
    put_u32(bytes, size);
    bytes.resize(bytes.size() + present, 0x5A);
    return bytes;
}

audio_block* add(dsp_chunk_list& list, uint32_t frames, uint32_t hint = 0) {
    audio_block* block = list.insert_item(list.count(), hint);
    block->set_data(nullptr, frames, 2, 44100, 0x3);
    return block;
}

}  // namespace

TEST_CASE("the stored chain reads back equal and has the documented bytes") {
    dsp_chain empty;
    dsp_chain one;
    one.insert_item(make_item(k_a, {}), ~0u);
    dsp_chain two;
    two.insert_item(make_item(k_b, {9, 8, 7}), 0);
    two.insert_item(make_item(k_a, {1}), 0);  // before the first: order a, b

    for (const dsp_chain* chain : {&empty, &one, &two}) {
        CAPTURE(chain->count());
        bytes_source source(stored(*chain));
        dsp_chain back;
        back.insert_item(make_item(k_b, {42}), ~0u);  // reading replaces what was there
        dsp_chain_read(back, source, abort_never);
        CHECK(back == *chain);
    }

    const std::vector<uint8_t> expected = {
        2, 0, 0, 0,                                                      // count
        0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x08, 0x07,                  // k_a Data1..Data3
        0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,                  // Data4
        1, 0, 0, 0, 1,                                                   // size, data
        0xDD, 0xCC, 0xBB, 0xAA, 0x22, 0x11, 0x44, 0x33, 1, 2, 3, 4, 5, 6, 7, 8,
        3, 0, 0, 0, 9, 8, 7};
    CHECK(stored(two) == expected);
    CHECK(stored(empty) == std::vector<uint8_t>{0, 0, 0, 0});
}

TEST_CASE("reading a stored chain refuses oversized and short records") {
    struct row {
        const char* what;
        std::vector<uint8_t> bytes;
        bool accepted;
    };
    const uint32_t limit = dsp_chain_item::max_data_size;
    std::vector<uint8_t> count_only;
    put_u32(count_only, 3);
    std::vector<row> rows;
    rows.push_back({"size exactly at the limit", one_item_record(limit, limit), true});
    rows.push_back({"size one above the limit", one_item_record(limit + 1, 16), false});
    rows.push_back({"size 0xFFFFFFFF", one_item_record(0xFFFFFFFFu, 0), false});
    rows.push_back({"data shorter than its size", one_item_record(10, 9), false});
    rows.push_back({"items missing after the count", count_only, false});
    rows.push_back({"no count at all", {1, 0}, false});

    for (const row& r : rows) {
        CAPTURE(r.what);
        bytes_source source(r.bytes);
        dsp_chain chain;
        if (r.accepted) {
            dsp_chain_read(chain, source, abort_never);
            REQUIRE(chain.count() == 1);
            CHECK(chain.get_item(0).get_data_size() == limit);
            CHECK(chain.get_item(0).get_data()[limit - 1] == 0x5A);
        } else {
            CHECK_THROWS_AS(dsp_chain_read(chain, source, abort_never), ketrel_io::exception_io_data);
        }
    }
}

TEST_CASE("chain items compare by GUID and every byte; insert and remove keep the order") {
    CHECK(make_item(k_a, {1, 2}) == make_item(k_a, {1, 2}));
    CHECK(make_item(k_a, {1, 2}) != make_item(k_a, {1, 3}));
    CHECK(make_item(k_a, {1, 2}) != make_item(k_a, {1, 2, 0}));
    CHECK(make_item(k_a, {}) != make_item(k_b, {}));

    dsp_chain chain;
    for (uint8_t i = 0; i < 5; ++i) chain.insert_item(make_item(k_a, {i}), 99);
    chain.insert_item(make_item(k_b, {}), 2);
    kpl::bit_array mask(6);
    mask.set(0, true);
    mask.set(2, true);
    mask.set(5, true);
    chain.remove_mask(mask);
    REQUIRE(chain.count() == 3);
    CHECK(chain.get_item(0) == make_item(k_a, {1}));
    CHECK(chain.get_item(1) == make_item(k_a, {2}));
    CHECK(chain.get_item(2) == make_item(k_a, {3}));

    dsp_chain copy(chain);
    copy.get_item(0).set_data("x", 1);  // a copy owns its items
    CHECK(chain.get_item(0) == make_item(k_a, {1}));
}

TEST_CASE("the chunk list recycles removed blocks: closest size with a hint, most recent without") {
    dsp_chunk_list list;
    audio_block* small = add(list, 10);   // 20 floats
    audio_block* large = add(list, 1000);  // 2000 floats
    audio_block* medium = add(list, 100);  // 200 floats
    list.remove(0);                        // small
    list.remove(1);                        // medium
    list.remove(0);                        // large: pool is small, medium, large
    CHECK(list.count() == 0);
    CHECK(list.pool_count() == 3);

    audio_block* got = list.insert_item(0, 250);
    CHECK(got == medium);
    CHECK(got->get_sample_count() == 0);  // handed out empty
    CHECK(got->get_sample_rate() == 0);
    CHECK(got->get_channels() == 0);
    CHECK(list.insert_item(0) == large);   // no hint: the last one pooled
    CHECK(list.insert_item(5) == small);   // past the end: appended
    CHECK(list.pool_count() == 0);
    CHECK(list.get(0) == large);
    CHECK(list.get(1) == medium);
    CHECK(list.get(2) == small);
    CHECK(list.get(3) == nullptr);
    audio_block* fresh = list.insert_item(1, 4);
    CHECK(fresh != small);
    CHECK(fresh != medium);
    CHECK(fresh != large);
    CHECK(list.get(1) == fresh);

    kpl::bit_array mask(4);
    mask.set(1, true);
    mask.set(3, true);
    list.remove_mask(mask);
    CHECK(list.count() == 2);
    CHECK(list.get(0) == large);
    CHECK(list.get(1) == medium);
    CHECK(list.pool_count() == 2);
}

TEST_CASE("the configured chain is kept in its stored form; a refused record leaves it as it was") {
    config_variable& config = dsp_chain_config();
    memory_sink empty;
    config.get_data(empty, abort_never);
    CHECK(std::vector<uint8_t>(empty.data(), empty.data() + empty.size()) == std::vector<uint8_t>{0, 0, 0, 0});

    dsp_chain chain;
    chain.insert_item(make_item(k_b, {1, 2, 3}), ~0u);
    bytes_source good(stored(chain));
    config.set_data(good, 0, abort_never);
    memory_sink back;
    config.get_data(back, abort_never);
    CHECK(std::vector<uint8_t>(back.data(), back.data() + back.size()) == stored(chain));

    std::vector<uint8_t> bad_bytes = one_item_record(dsp_chain_item::max_data_size + 1, 0);
    bytes_source bad(bad_bytes);
    CHECK_THROWS_AS(config.set_data(bad, static_cast<uint32_t>(bad_bytes.size()), abort_never),
                    ketrel_io::exception_io_data);
    memory_sink after;
    config.get_data(after, abort_never);
    CHECK(std::vector<uint8_t>(after.data(), after.data() + after.size()) == stored(chain));

    bytes_source reset(stored(dsp_chain()));
    config.set_data(reset, 4, abort_never);
}
