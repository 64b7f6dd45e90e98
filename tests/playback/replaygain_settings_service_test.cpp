// The ReplayGain settings record: its 16 stored bytes, values the panel never writes kept as read, a short
// record refused, and set/get through the lock.
#include <doctest/doctest.h>

#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/config_variable.h"
#include "playback/replaygain_settings_service.h"
#include "tests/metadata/byte_fixtures.h"

#include <cstring>
#include <vector>

namespace {

using metadata_test::bytes_source;

std::vector<uint8_t> stored() {
    memory_sink sink;
    replaygain_settings_config().get_data(sink, abort_never);
    return std::vector<uint8_t>(sink.data(), sink.data() + sink.size());
}

void load(const std::vector<uint8_t>& bytes) {
    bytes_source source(bytes);
    replaygain_settings_config().set_data(source, static_cast<uint32_t>(bytes.size()), abort_never);
}

bool same(const replaygain_settings& a, const replaygain_settings& b) {
    return a.source == b.source && a.processing == b.processing && a.preamp_without_gain == b.preamp_without_gain &&
           a.preamp_with_gain == b.preamp_with_gain;
}

}  // namespace

TEST_CASE("the ReplayGain record is stored as 16 little-endian bytes and read back as written") {
    const replaygain_settings saved = replaygain_settings_get();

    replaygain_settings defaults = replaygain_settings_defaults();
    CHECK(defaults.source == 2);
    CHECK(defaults.processing == 1);
    CHECK(defaults.preamp_without_gain == 0.0f);
    CHECK(defaults.preamp_with_gain == 0.0f);
    CHECK(same(saved, defaults));  // nothing read yet: the default
    CHECK(stored() == std::vector<uint8_t>{2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});

    struct row {
        std::vector<uint8_t> bytes;
        replaygain_settings expected;
    };
    const row rows[] = {
        // track-based, clip prevention only (an older configuration), -6.5 dB without info, +2.25 dB with
        {{1, 0, 0, 0, 3, 0, 0, 0, 0x00, 0x00, 0xD0, 0xC0, 0x00, 0x00, 0x10, 0x40}, {1, 3, -6.5f, 2.25f}},
        {{2, 0, 0, 0, 2, 0, 0, 0, 0x00, 0x00, 0xA0, 0x41, 0x00, 0x00, 0xA0, 0xC1}, {2, 2, 20.0f, -20.0f}},
        {{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {2, 0, 0.0f, 0.0f}},
    };
    for (const row& r : rows) {
        load(r.bytes);
        replaygain_settings got = replaygain_settings_get();
        CHECK(same(got, r.expected));
        CHECK(stored() == r.bytes);
    }

    // A short record is refused and leaves the settings alone.
    const replaygain_settings before = replaygain_settings_get();
    CHECK_THROWS_AS(load({1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), ketrel_io::exception_io_data);
    CHECK(same(replaygain_settings_get(), before));

    replaygain_settings changed = {1, 1, -3.0f, 4.5f};
    replaygain_settings_set(changed);
    CHECK(same(replaygain_settings_get(), changed));
    CHECK(stored() == std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x40, 0xC0, 0, 0, 0x90, 0x40});

    replaygain_settings_set(saved);
}
