#include "inputs/ogg/ogg_input.h"

#include <ogg/ogg.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/number_parse.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/input_facets.h"
#include "inputs/mime_type.h"
#include "inputs/ogg/ogg_links.h"
#include "inputs/ogg/ogg_page_reader.h"
#include "inputs/ogg/ogg_retag.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

namespace {

const char* const nonsense_granule = "Nonsense Ogg granulepos value, file is not properly seekable";

// A link opened for decoding or info on one reader.
struct ogg_link_state {
    service_ptr<codec_packet_decoder> decoder;
    uint32_t granule_rate = 0;
    uint64_t header_count = 0;
    uint64_t header_bytes = 0;
    int64_t first_packet_number = 0;
    int64_t pre_skip = 0;
    int64_t to_drop = 0;
    int64_t decoded_granule = 0;
};

// Opening a link from its first packet (already read): the decoder, its header packets, the rates.
void open_link_from_first(ogg_page_reader& reader, const ogg_packet& first, uint64_t bound, ogg_link_state& state,
                          const abort_signal& abort) {
    if (!first.b_o_s) throw ketrel_io::exception_io_data("corrupted file: first packet not flagged as BOS");
    ogg_packet record = first;
    record.packetno = 0;
    service_ptr<codec_packet_decoder> decoder;
    codec_packet_decoder_open(decoder, true, codec_owner_ogg, 0, &record, sizeof record, abort);
    state.first_packet_number = first.packetno;
    state.header_count = 1;
    state.header_bytes = static_cast<uint64_t>(first.bytes);
    for (;;) {
        ogg_packet p;
        if (!reader.next_packet(p, bound, abort)) throw ketrel_io::exception_io_data();
        if (p.b_o_s) throw ketrel_io::exception_io_data("corrupted file: unexpected BOS packet");
        ++state.header_count;
        state.header_bytes += static_cast<uint64_t>(p.bytes);
        p.packetno -= state.first_packet_number;
        if (decoder->property(ogg_property_header_packet, 0, &p, sizeof p)) break;
    }
    state.pre_skip = decoder->property(ogg_property_pre_skip, 0, nullptr, 0);
    intptr_t rate = decoder->property(ogg_property_granule_rate, 0, nullptr, 0);
    if (rate <= 0) throw ketrel_io::exception_io_data();
    state.granule_rate = static_cast<uint32_t>(rate);
    state.to_drop = state.pre_skip;
    state.decoded_granule = 0;
    state.decoder = decoder;
}

void open_link(ogg_page_reader& reader, const ogg_link& link, bool seekable, ogg_link_state& state,
               const abort_signal& abort) {
    if (seekable)
        reader.seek(link.start, abort);
    else
        reader.rewind(abort);
    ogg_packet first;
    if (!reader.next_packet(first, link.end(), abort))
        throw ketrel_io::exception_io_data("corrupted file: end of stream when searching for first packet");
    open_link_from_first(reader, first, link.end(), state, abort);
}

// What the facets share: the file, its links, and the link being decoded.
class ogg_file {
public:
    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
        m_path = path;
        filesystem_open_mode(file, path, reason, abort);
        m_file = file;
        if (reason == input_open_write) {
            if (!m_file->can_seek()) throw ketrel_io::exception_io_object_not_seekable();
            if (m_file->is_remote()) throw ketrel_io::exception_io_object_is_remote();
        }
        m_seekable = m_file->can_seek() && !m_file->is_remote();
        find_links(abort);
    }

    uint32_t subsong_count() const { return m_links.count(); }
    uint32_t subsong_id(uint32_t index) const { return index; }

    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort) {
        if (subsong >= m_links.count()) throw ketrel_io::exception_io_data();
        info.reset();
        if (!m_seekable) return;
        const uint64_t position = m_file->get_position(abort);
        const ogg_link& link = m_links[subsong];
        {
            ogg_page_reader reader(m_file);
            ogg_link_state state;
            open_link(reader, link, true, state, abort);
            state.decoder->get_info(info);
            info.info_set_int("samplerate", state.granule_rate);
            ogg_page_place last = reader.page_before(link.end(), link.start, abort);
            if (last.granule >= 0 && last.granule > state.pre_skip) {
                double length = double(last.granule - state.pre_skip) / state.granule_rate;
                if (length > 0) {
                    info.set_length(length);
                    double bytes = double(link.length) - double(state.header_bytes);
                    if (bytes < 0) bytes = 0;
                    info.set_bitrate(static_cast<int64_t>(std::floor(bytes * 8 / length * 0.001 + 0.5)));
                }
            }
        }
        m_file->seek(position, abort);
    }

    file_stats get_file_stats(const abort_signal& abort) { return file_stats_read(*m_file, abort); }

    void initialise(uint32_t subsong, const abort_signal& abort) {
        if (subsong >= m_links.count()) throw ketrel_io::exception_io_data();
        m_link_index = subsong;
        m_link = m_links[subsong];
        m_reader.reset(new ogg_page_reader(m_file));
        m_reported = false;
        open_current(abort);
    }

    bool decode(audio_block& block, const abort_signal& abort) {
        ogg_link_state& s = active();
        for (;;) {
            abort.check();
            ogg_packet p;
            if (!m_reader->next_packet(p, m_link.end(), abort)) return false;
            if (p.b_o_s) {
                // A new chained stream in a file read straight through.
                m_reported = false;
                open_link_from_first(*m_reader, p, m_link.end(), s, abort);
                hand_sink();
                make_pending_info();
                continue;
            }
            if (p.packetno < s.first_packet_number) throw ketrel_io::exception_io_data();
            int64_t g = p.granulepos;
            if (g >= 0 && g <= s.decoded_granule) {
                report_nonsense();
                g = -1;
            }
            ogg_packet record = p;
            record.packetno -= s.first_packet_number;
            s.decoder->property(ogg_property_next_packet, 0, &record, sizeof record);
            s.decoder->decode_packet(p.packet, static_cast<size_t>(p.bytes), block, abort);
            int64_t count = block.get_sample_count();
            int64_t end = g >= 0 ? g : s.decoded_granule + count;
            if (end < s.decoded_granule + count) {
                int64_t keep = end - s.decoded_granule;
                block.set_sample_count(static_cast<uint32_t>(keep > 0 ? keep : 0));
                count = block.get_sample_count();
            }
            s.decoded_granule = end;
            if (s.to_drop > 0 && count > 0) {
                if (count <= s.to_drop) {
                    s.to_drop -= count;
                    continue;
                }
                block.skip_front(static_cast<uint32_t>(s.to_drop));
                s.to_drop = 0;
            }
            if (block.get_sample_count() > 0) return true;
        }
    }

    void seek(double seconds, const abort_signal& abort) {
        ogg_link_state& s = active();
        const int64_t target = static_cast<int64_t>(audio_math::seconds_to_samples(s.granule_rate, seconds));
        s.decoder->reset_after_seek();
        const uint64_t needed = uint64_t(s.decoder->preroll_frames()) + 1;
        if (!m_seekable) {
            if (target > 0) throw ketrel_io::exception_io_object_not_seekable();
            restart_link(target, abort);
            return;
        }
        const uint64_t link_start = m_link.start, link_end = m_link.end() == ogg_no_bound
                                                                 ? m_file->get_size(abort)
                                                                 : m_link.end();
        if (link_end == file_size_unknown) throw ketrel_io::exception_io_no_length();

        // Bisection: the last page whose granule position is at most the target.
        uint64_t begin = link_start, end = link_end;
        while (begin < end) {
            uint64_t mid = begin + (end - begin) / 2;
            m_reader->seek(mid, abort);
            ogg_page page;
            ogg_page_place place;
            bool found = false;
            while (m_reader->next_page(page, place, link_end, abort)) {
                if (place.granule >= 0) {
                    found = true;
                    break;
                }
            }
            if (found && place.granule <= target) {
                if (place.offset == begin || place.end() >= end) {
                    begin = place.offset;
                    break;
                }
                begin = place.offset;
            } else {
                end = mid;
            }
        }

        // Back-off: enough packets before the position for the codec's pre-roll.
        ogg_page_place anchor;
        if (!m_reader->page_at_or_after(begin, link_end, anchor, abort)) throw ketrel_io::exception_io_data();
        const uint64_t page_end = anchor.end() < link_end ? anchor.end() : link_end;
        uint64_t step = 1024;
        int64_t G = 0;
        uint64_t total = 0;
        uint64_t from = link_start;
        for (;;) {
            uint64_t distance = page_end - link_start;
            if (step > distance) step = distance;
            from = page_end - step;
            m_reader->seek(from, abort);
            total = 0;
            G = 0;
            uint64_t counted = 0, skip_headers = from == link_start ? s.header_count : 0;
            ogg_packet p;
            while (m_reader->next_packet(p, page_end, abort)) {
                if (skip_headers) {
                    --skip_headers;
                    continue;
                }
                ++counted;
                if (p.granulepos >= 0 && p.granulepos <= target) {
                    total += counted;
                    counted = 0;
                    G = p.granulepos;
                }
            }
            if (total > needed) break;
            if (from == link_start) break;
            step *= 2;
        }
        if (G <= 0 || total == 0) {
            restart_link(target, abort);
            return;
        }
        // Decode the counted packets and drop their output. From an offset inside the link the first packet
        // is only read (the codec state before it is unknown), from the link start the headers are skipped.
        m_reader->seek(from, abort);
        ogg_packet p;
        uint64_t to_decode = total;
        if (from == link_start) {
            for (uint64_t i = 0; i < s.header_count; ++i)
                if (!m_reader->next_packet(p, link_end, abort)) throw ketrel_io::exception_io_data();
        } else {
            if (!m_reader->next_packet(p, link_end, abort)) throw ketrel_io::exception_io_data();
            s.first_packet_number = p.packetno;
            --to_decode;
        }
        audio_block_store scratch;
        for (; to_decode > 0; --to_decode) {
            if (!m_reader->next_packet(p, link_end, abort)) throw ketrel_io::exception_io_data();
            if (p.packetno < s.first_packet_number) throw ketrel_io::exception_io_data();
            ogg_packet record = p;
            record.packetno -= s.first_packet_number;
            s.decoder->property(ogg_property_next_packet, 0, &record, sizeof record);
            s.decoder->decode_packet(p.packet, static_cast<size_t>(p.bytes), scratch, abort);
        }
        s.decoded_granule = G;
        s.to_drop = s.pre_skip + target - G;
        if (s.to_drop < 0) s.to_drop = 0;
    }

    bool take_pending_info(track_info& info) {
        if (!m_info_pending) return false;
        info.copy(m_pending_info);
        m_info_pending = false;
        return true;
    }

    void set_event_sink(decoder_event_sink* sink) {
        m_sink.assign(sink ? sink : decoder_event_sink::null_sink());
        if (m_state) hand_sink();
    }
    void on_idle(const abort_signal& abort) { m_file->on_idle(abort); }
    bool can_seek() { return m_seekable; }

    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort) {
        abort.check();
        if (subsong >= m_links.count()) throw ketrel_io::exception_io_data();
        ogg_retag_entry entry;
        entry.subsong = subsong;
        entry.info.copy(info);
        m_staged.append(std::move(entry));
    }

    void commit_info(const abort_signal& abort) {
        m_reader.reset();
        m_state.reset();
        ogg_retag(m_file, m_path.c_str(), m_links, m_staged, abort);
        m_staged.clear();
        m_seekable = m_file->can_seek() && !m_file->is_remote();
        find_links(abort);
    }

private:
    void find_links(const abort_signal& abort) {
        m_links.clear();
        if (m_seekable) {
            ogg_find_links(m_file, m_links, abort);
            if (m_links.count() == 0) throw ketrel_io::exception_io_data();
        } else {
            m_links.append(ogg_link{0, ogg_no_bound});
        }
    }

    ogg_link_state& active() {
        if (!m_state) throw kpl::exception_dynamic_assert();
        return *m_state;
    }

    void open_current(const abort_signal& abort) {
        std::unique_ptr<ogg_link_state> state(new ogg_link_state());
        open_link(*m_reader, m_link, m_seekable, *state, abort);
        m_state = std::move(state);
        hand_sink();
        if (!m_seekable) make_pending_info();
    }

    // Back to the start of the link, past its headers, dropping pre-skip + target samples.
    void restart_link(int64_t target, const abort_signal& abort) {
        ogg_link_state& s = active();
        if (m_seekable)
            m_reader->seek(m_link.start, abort);
        else
            m_reader->rewind(abort);
        ogg_packet p;
        for (uint64_t i = 0; i < s.header_count; ++i)
            if (!m_reader->next_packet(p, m_link.end(), abort)) throw ketrel_io::exception_io_data();
        s.decoder->reset_after_seek();
        s.decoded_granule = 0;
        s.to_drop = s.pre_skip + target;
    }

    // The codec reports damage of its packets to the decoder's sink.
    void hand_sink() { active().decoder->property(codec_property_event_sink, 0, m_sink.get(), 0); }

    void make_pending_info() {
        m_pending_info.reset();
        active().decoder->get_info(m_pending_info);
        m_info_pending = true;
    }

    void report_nonsense() {
        if (m_reported) return;
        m_reported = true;
        m_sink->report(nonsense_granule, 1);
    }

    kpl::utf8_string_tight m_path;
    file_stream_ref m_file;
    bool m_seekable = false;
    kpl::array<ogg_link> m_links;
    uint32_t m_link_index = 0;
    ogg_link m_link;
    std::unique_ptr<ogg_page_reader> m_reader;
    std::unique_ptr<ogg_link_state> m_state;
    track_info_store m_pending_info;
    bool m_info_pending = false;
    bool m_reported = false;
    service_ptr<decoder_event_sink> m_sink{decoder_event_sink::null_sink()};
    kpl::array<ogg_retag_entry> m_staged;
};

class ogg_decoder final : public file_facet<ogg_file, track_decoder_v2> {
public:
    void initialise(uint32_t subsong, uint32_t, const abort_signal& abort) override { m_file.initialise(subsong, abort); }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override { return m_file.decode(block, abort); }
    void seek_seconds(double seconds, const abort_signal& abort) override { m_file.seek(seconds, abort); }
    bool can_seek() override { return m_file.can_seek(); }
    bool dynamic_info(track_info&, double&) override { return false; }
    bool dynamic_track_info(track_info& info, double& offset) override {
        if (!m_file.take_pending_info(info)) return false;
        offset = 0;
        return true;
    }
    void on_idle(const abort_signal& abort) override { m_file.on_idle(abort); }
    bool decode_chunk_raw(audio_block&, kpl::byte_array&, const abort_signal&) override {
        throw kpl::exception_not_implemented();
    }
    void set_event_sink(decoder_event_sink* sink) override { m_file.set_event_sink(sink); }
};

const char* const g_content_types[] = {"application/ogg", "application/x-ogg", "audio/ogg", "audio/x-ogg"};
const char* const g_extensions[] = {"ogg", "spx", "oga", "ogx", "ogv", "opus"};

class ogg_input final : public facet_input<ogg_decoder, file_info_reader<ogg_file>, file_info_writer<ogg_file>> {
public:
    bool accepts_content_type(const char* content_type) override {
        return mime_type_matches_any(content_type, g_content_types);
    }
    bool accepts_extension(const char*, const char* extension) override { return ogg_accepts_extension(extension); }
};

service_factory_single<ogg_input, input_service> g_ogg_input;

}  // namespace

input_service& ogg_input_service() { return g_ogg_input.instance(); }

bool ogg_accepts_extension(const char* extension) {
    for (const char* candidate : g_extensions)
        if (utf8_compare_nocase_fast(extension, candidate) == 0) return true;
    return false;
}
