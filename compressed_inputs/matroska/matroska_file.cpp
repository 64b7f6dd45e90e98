#include "compressed_inputs/matroska/matroska_file.h"

#include <cmath>
#include <cstring>
#include <functional>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/number_parse.h"
#include "inputs/abortable_file.h"

namespace Matroska {

namespace {

// A size-style number of 1 to 8 bytes from a buffer; false when it does not fit or the first byte is 0.
bool buffer_size_number(const uint8_t* data, size_t size, size_t& pos, uint64_t& value, int& length) {
    if (pos >= size || data[pos] == 0) return false;
    const uint8_t first = data[pos];
    length = 1;
    while (!(first & (0x80u >> (length - 1)))) ++length;
    if (pos + static_cast<size_t>(length) > size) return false;
    value = first & ~(0x80u >> (length - 1)) & 0xFF;
    for (int i = 1; i < length; ++i) value = value << 8 | data[pos + static_cast<size_t>(i)];
    pos += static_cast<size_t>(length);
    return true;
}

}  // namespace

void matroska_split_block(const uint8_t* data, size_t size, size_t base, std::vector<matroska_frame>& out) {
    if (size < 3) throw ketrel_io::exception_io_data();
    matroska_frame first;
    first.timecode = static_cast<int16_t>(static_cast<uint16_t>(data[0] << 8 | data[1]));
    first.has_timecode = true;
    first.invisible = (data[2] & 0x08) != 0;
    const int lacing = (data[2] >> 1) & 3;
    size_t pos = 3;
    auto add = [&](size_t offset, size_t length) {
        matroska_frame f;
        f.invisible = first.invisible;
        f.offset = base + offset;
        f.size = length;
        out.push_back(f);
    };
    const size_t start_count = out.size();
    if (lacing == 0) {
        add(pos, size - pos);
    } else {
        if (pos >= size) throw ketrel_io::exception_io_data();
        const uint32_t c = data[pos++];
        if (lacing == 2) {
            const size_t each = (size - pos) / (c + 1);
            for (uint32_t i = 0; i <= c; ++i) add(pos + i * each, each);
        } else if (c == 0) {
            add(pos, size - pos);
        } else {
            std::vector<uint64_t> sizes(c);
            if (lacing == 1) {
                for (uint32_t i = 0; i < c; ++i) {
                    uint64_t sum = 0;
                    for (;;) {
                        if (pos >= size) throw ketrel_io::exception_io_data();
                        const uint8_t b = data[pos++];
                        sum += b;
                        if (b != 255) break;
                    }
                    sizes[i] = sum;
                }
            } else {
                int length;
                uint64_t value;
                if (!buffer_size_number(data, size, pos, value, length)) throw ketrel_io::exception_io_data();
                sizes[0] = value;
                for (uint32_t i = 1; i < c; ++i) {
                    if (pos >= size || !(data[pos] & 0xFE)) throw ketrel_io::exception_io_data();
                    if (!buffer_size_number(data, size, pos, value, length) || length > 7)
                        throw ketrel_io::exception_io_data();
                    const int64_t bias = (int64_t(1) << (7 * length - 1)) - 1;
                    const int64_t delta = static_cast<int64_t>(value) - bias;
                    const int64_t next = static_cast<int64_t>(sizes[i - 1]) + delta;
                    if (next < 0) throw ketrel_io::exception_io_data();
                    sizes[i] = static_cast<uint64_t>(next);
                }
            }
            for (uint32_t i = 0; i < c; ++i) {
                if (sizes[i] > size - pos) throw ketrel_io::exception_io_data();
                add(pos, static_cast<size_t>(sizes[i]));
                pos += static_cast<size_t>(sizes[i]);
            }
            add(pos, size - pos);
        }
    }
    out[start_count].has_timecode = true;
    out[start_count].timecode = first.timecode;
}

matroska_file::matroska_file() { m_sink.assign(decoder_event_sink::null_sink()); }
matroska_file::~matroska_file() = default;

void matroska_file::open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
    m_reason = reason;
    filesystem_open_mode(file, path, static_cast<uint32_t>(reason), abort);
    if (!file->can_seek()) throw ketrel_io::exception_io_object_not_seekable();
    if (!file->is_in_memory()) abortable_file::wrap(file, abort_never, 4096);
    m_file = file;

    ebml_reader reader(m_file, abort);
    matroska_scan(m_index, reader);
    uint64_t left = m_index.segment_size;
    tracks_handler tracks(m_tracks);
    left -= matroska_read_single(m_index, reader, id::tracks, tracks);
    matroska_info info;
    info_handler info_reader(info);
    left -= matroska_read_single(m_index, reader, id::info, info_reader);
    m_timecode_scale = info.timecode_scale;
    m_duration = info.duration;
    if (m_timecode_scale == 0) throw ketrel_io::exception_io_data();
    m_seconds_per_tick = 1.0 / (1000000000.0 / static_cast<double>(m_timecode_scale));
    if (m_index.has(id::chapters)) {
        chapters_handler chapters(m_chapters);
        left -= matroska_read_single(m_index, reader, id::chapters, chapters);
    }

    try {
        choose_track(reason == input_open_decode, abort);
    } catch (const ketrel_io::exception_io_data&) {
        if (reason == input_open_decode) throw;
        m_has_track = false;
        m_decoder.release();
    }
    m_sample_rate = 0;
    if (m_has_track) m_sample_rate = m_track.output_sample_rate > 0 ? m_track.output_sample_rate : m_track.sample_rate;

    if (m_index.has(id::cues)) {
        if (reason == input_open_decode && m_has_track) {
            cues_handler cues(m_cue_map, m_track.number);
            left -= matroska_read_single(m_index, reader, id::cues, cues);
        } else {
            skip_handler cues;
            left -= matroska_read_single(m_index, reader, id::cues, cues);
        }
    }
    for (uint32_t element : {id::tags, id::attachments}) {
        if (!m_index.has(element)) continue;
        skip_handler skip;
        const uint64_t total = matroska_read_all(m_index, reader, element, skip);
        left = total < left ? left - total : 0;
    }
    m_bitrate = 0;
    if (m_duration > 0) {
        m_bitrate = static_cast<uint64_t>(
            std::floor(static_cast<double>(left) * 8.0 / (m_seconds_per_tick * m_duration) * 0.001 + 0.5));
    }

    if (m_decoder && m_decoder->needs_first_packet()) {
        // The track's first frame, whatever subsongs the file has.
        m_frames.clear();
        m_next_frame = 0;
        m_cluster_time = 0;
        m_next_cluster_offset = 0;
        matroska_frame frame;
        const uint8_t* data = nullptr;
        if (!next_frame(frame, data, abort)) throw ketrel_io::exception_io_data();
        m_decoder->set_first_packet(data, frame.size, abort);
        m_frames.clear();
        m_next_frame = 0;
        m_next_cluster_offset = 0;
    }
    m_tags_loaded = false;
}

void matroska_file::choose_track(bool decoding, const abort_signal& abort) {
    std::vector<matroska_track> candidates = m_tracks;
    bool tried = false;
    for (;;) {
        const matroska_track* pick = nullptr;
        for (const auto& t : candidates) {
            if (t.type == 2 && t.forced) {
                pick = &t;
                break;
            }
        }
        if (!pick) {
            for (const auto& t : candidates) {
                if (t.type == 2 && t.is_default) {
                    pick = &t;
                    break;
                }
            }
        }
        if (!pick) {
            for (const auto& t : candidates) {
                if (t.type == 2) {
                    pick = &t;
                    break;
                }
            }
        }
        if (!pick) {
            throw ketrel_io::exception_io_data(tried ? "Unsupported audio track format" : "File contains no audio tracks");
        }
        matroska_setup_record record = {};
        record.codec_id = pick->codec_id.c_str();
        record.sampling_frequency = static_cast<uint32_t>(pick->sample_rate > 0 && pick->sample_rate < 4294967296.0
                                                              ? pick->sample_rate : 0);
        record.output_sampling_frequency = static_cast<uint32_t>(
            pick->output_sample_rate > 0 && pick->output_sample_rate < 4294967296.0 ? pick->output_sample_rate : 0);
        record.channels = pick->channels;
        record.codec_private_size = static_cast<uint32_t>(pick->codec_private.size());
        record.codec_private = pick->codec_private.empty() ? nullptr : pick->codec_private.data();
        service_ptr<codec_packet_decoder> decoder;
        try {
            codec_packet_decoder_open(decoder, decoding, codec_owner_matroska, 0, &record, sizeof record, abort);
        } catch (const ketrel_io::exception_io_data&) {
            tried = true;
            candidates.erase(candidates.begin() + (pick - candidates.data()));
            continue;
        }
        m_track = *pick;
        m_has_track = true;
        m_decoder = decoder;
        if (m_track.bits_per_sample) m_decoder->property(codec_property_bits_per_sample, m_track.bits_per_sample, nullptr, 0);
        const double rate = m_track.output_sample_rate > 0 ? m_track.output_sample_rate : m_track.sample_rate;
        if (rate > 0) m_decoder->property(codec_property_sample_rate, static_cast<intptr_t>(std::floor(rate)), nullptr, 0);
        if (m_track.channels) m_decoder->property(codec_property_channels, m_track.channels, nullptr, 0);
        m_codec_delay = 0;
        if (m_track.codec_delay) {
            m_codec_delay = static_cast<double>(m_track.codec_delay) * 1e-9;
        } else if (m_track.codec_id == "A_OPUS") {
            const intptr_t pre_skip = m_decoder->property(ogg_property_pre_skip, 0, nullptr, 0);
            if (pre_skip > 0) m_codec_delay = static_cast<double>(pre_skip) / 48000.0;
        }
        return;
    }
}

uint32_t matroska_file::subsong_count() { return m_chapters.empty() ? 1 : static_cast<uint32_t>(m_chapters.size()); }
uint32_t matroska_file::subsong_id(uint32_t index) { return m_chapters.empty() ? 0 : index + 1; }

uint64_t matroska_file::subsong_key(uint32_t subsong) const {
    if (m_chapters.empty()) {
        if (subsong != 0) throw ketrel_io::exception_io_data();
        return 0;
    }
    if (subsong == 0 || subsong > m_chapters.size()) throw ketrel_io::exception_io_data();
    return m_chapters[subsong - 1].uid;
}

void matroska_file::select_subsong(uint32_t subsong) {
    subsong_key(subsong);  // checks the number
    if (m_chapters.empty()) {
        m_subsong_start = 0;
        m_subsong_length = 0;
        m_subsong_has_end = false;
        return;
    }
    const matroska_chapter& c = m_chapters[subsong - 1];
    m_subsong_start = static_cast<double>(c.start) * 0.000000001;
    if (c.end != matroska_absent) {
        m_subsong_length = static_cast<double>(c.end - c.start) * 0.000000001;
        m_subsong_has_end = true;
    } else if (subsong < m_chapters.size() && m_chapters[subsong].start > c.start) {
        m_subsong_length = static_cast<double>(m_chapters[subsong].start - c.start) * 0.000000001;
        m_subsong_has_end = true;
    } else {
        // The last chapter runs to the end of the stream; without a Duration its length is not known.
        const double length = m_seconds_per_tick * m_duration - m_subsong_start;
        m_subsong_length = length > 0 ? length : 0;
        m_subsong_has_end = false;
    }
}

double matroska_file::round_to_sample(double seconds) const {
    if (m_sample_rate > 0) return std::floor(m_sample_rate * seconds + 0.5) / m_sample_rate;
    return seconds;
}

void matroska_file::initialise(uint32_t subsong, uint32_t, const abort_signal& abort) {
    if (!m_decoder) throw ketrel_io::exception_io_data();
    select_subsong(subsong);
    m_initialised = true;
    seek(0, abort);
}

void matroska_file::seek(double seconds, const abort_signal&) {
    if (!m_initialised) throw kpl::exception_invalid_params();
    m_target = round_to_sample(m_subsong_start + seconds);
    m_frames.clear();
    m_next_frame = 0;
    m_cluster_time = 0;
    m_decoder->reset_after_seek();
    m_position = 0;
    const double preroll = m_decoder->preroll_seconds();
    double from = m_target + m_codec_delay - preroll;
    if (from < 0) from = 0;
    const uint64_t k = static_cast<uint64_t>(std::floor(from / m_seconds_per_tick + 0.5));
    m_next_cluster_offset = 0;
    auto it = m_cue_map.upper_bound(k);
    if (it != m_cue_map.begin()) m_next_cluster_offset = (--it)->second;
}

bool matroska_file::next_frame(matroska_frame& frame, const uint8_t*& data, const abort_signal& abort) {
    while (m_next_frame >= m_frames.size()) {
        if (!read_next_cluster(abort)) return false;
    }
    frame = m_frames[m_next_frame++];
    data = m_bytes.data() + frame.offset;
    return true;
}

bool matroska_file::read_next_cluster(const abort_signal& abort) {
    m_frames.clear();
    m_next_frame = 0;
    m_bytes.clear();
    m_cluster_time = 0;
    ebml_reader reader(m_file, abort);
    if (m_next_cluster_offset > m_index.segment_size) return false;
    reader.reset(m_index.segment_data_start + m_next_cluster_offset, m_index.segment_end());
    const uint64_t track_number = static_cast<uint64_t>(m_track.number);
    bool found = false;
    std::vector<uint8_t> block;
    // Reads a block's bytes after its track number when the block is the chosen track's.
    auto read_block = [&](ebml_reader& r) -> bool {
        if (ebml_read_size(r) != track_number) return false;
        block.resize(static_cast<size_t>(r.remaining()));
        if (!block.empty()) r.read(block.data(), block.size());
        const size_t first = m_frames.size();
        const size_t base = m_bytes.size();
        m_bytes.insert(m_bytes.end(), block.begin(), block.end());
        matroska_split_block(block.data(), block.size(), base, m_frames);
        return m_frames.size() > first;
    };
    class segment_walk final : public ebml_element_handler {
    public:
        explicit segment_walk(bool& found) : m_found(found) {}
        bool want_more() override { return !m_found; }
        void child(uint32_t element, uint64_t, ebml_reader& r) override {
            if (element == id::cluster) {
                on_cluster(r);
                m_found = true;
            }
        }
        std::function<void(ebml_reader&)> on_cluster;

    private:
        bool& m_found;
    };
    segment_walk walk(found);
    walk.on_cluster = [&](ebml_reader& r) {
        auto cluster = make_handler([&](uint32_t element, uint64_t, ebml_reader& c) {
            if (element == id::timecode) {
                m_cluster_time = read_unsigned(c);
            } else if (element == id::simple_block) {
                read_block(c);
            } else if (element == id::block_group) {
                size_t before = m_frames.size();
                int64_t padding = 0;
                auto group = make_handler([&](uint32_t k, uint64_t size, ebml_reader& g) {
                    if (k == id::block) {
                        before = m_frames.size();
                        read_block(g);
                    } else if (k == id::discard_padding) {
                        const uint64_t value = read_unsigned(g);
                        padding = size < 8 && (value >> (8 * size - 1)) ? 0 : static_cast<int64_t>(value);
                    }
                });
                ebml_walk_children(c, group);
                if (padding > 0 && m_frames.size() > before) m_frames.back().discard_padding = padding;
            }
        });
        ebml_walk_children(r, cluster);
    };
    ebml_walk_children(reader, walk);
    m_next_cluster_offset = reader.position() - m_index.segment_data_start;
    if (m_has_track && matroska_has_encodings(m_track, 1)) {
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> frame;
        for (auto& f : m_frames) {
            frame.assign(m_bytes.begin() + static_cast<ptrdiff_t>(f.offset),
                         m_bytes.begin() + static_cast<ptrdiff_t>(f.offset + f.size));
            matroska_apply_encodings(m_track, 1, frame);
            f.offset = bytes.size();
            f.size = frame.size();
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        }
        m_bytes.swap(bytes);
    }
    return found;
}

bool matroska_file::decode(audio_block& block, const abort_signal& abort) {
    if (!m_initialised) throw kpl::exception_invalid_params();
    for (;;) {
        matroska_frame frame;
        const uint8_t* data = nullptr;
        if (!next_frame(frame, data, abort)) return false;
        if (frame.has_timecode) {
            const double ticks = static_cast<double>(m_cluster_time) + static_cast<double>(frame.timecode);
            m_position = round_to_sample(ticks * m_seconds_per_tick - m_codec_delay);
        }
        m_decoder->decode_packet(data, frame.size, block, abort);
        if (frame.invisible || !block.is_valid()) {
            abort.check();
            continue;
        }
        const uint32_t rate = block.get_sample_rate();
        uint32_t count = block.get_sample_count();
        if (frame.discard_padding > 0) {
            const uint64_t drop = audio_math::seconds_to_samples(rate, static_cast<double>(frame.discard_padding) * 1e-9);
            count = drop < count ? count - static_cast<uint32_t>(drop) : 0;
            block.set_sample_count(count);
        }
        const double p = m_position;
        m_position = p + static_cast<double>(count) / rate;
        if (count == 0) {
            abort.check();
            continue;
        }
        if (m_target > p) {
            const uint64_t skip = audio_math::seconds_to_samples(rate, m_target - p);
            if (skip >= count) {
                abort.check();
                continue;
            }
            if (skip) block.skip_front(static_cast<uint32_t>(skip));
        }
        if (m_subsong_has_end) {
            const double x = m_subsong_start + m_subsong_length - m_position;
            if (x < 0) {
                const uint64_t over = audio_math::seconds_to_samples(rate, -x);
                const uint32_t now = block.get_sample_count();
                if (over >= now) return false;
                block.set_sample_count(now - static_cast<uint32_t>(over));
            }
        }
        return true;
    }
}

void matroska_file::on_idle(const abort_signal& abort) { m_file->on_idle(abort); }

void matroska_file::set_event_sink(decoder_event_sink* sink) {
    m_sink.assign(sink ? sink : decoder_event_sink::null_sink());
    if (m_decoder) m_decoder->property(codec_property_event_sink, 0, sink, 0);
}

file_stats matroska_file::get_file_stats(const abort_signal& abort) { return file_stats_read(*m_file, abort); }

void matroska_file::get_info(uint32_t subsong, track_info& info, const abort_signal& abort) {
    const uint64_t key = subsong_key(subsong);
    info.reset();
    if (m_sample_rate > 0) info.info_set_int("samplerate", static_cast<int64_t>(std::floor(m_sample_rate + 0.5)));
    if (m_has_track) {
        if (m_track.channels > 0) info.info_set_int("channels", m_track.channels);
        if (m_track.bits_per_sample > 0) info.info_set_int("bitspersample", m_track.bits_per_sample);
    }
    if (m_bitrate) info.info_set_int("bitrate", static_cast<int64_t>(m_bitrate));
    if (m_decoder) {
        m_decoder->get_info(info);
        info.meta_remove_all();
    }
    if (!m_chapters.empty()) {
        const uint32_t saved_subsong = subsong;
        const double start = m_subsong_start, length = m_subsong_length;
        const bool has_end = m_subsong_has_end;
        select_subsong(saved_subsong);
        if (m_subsong_length > 0) info.set_length(round_to_sample(m_subsong_length));
        m_subsong_start = start;
        m_subsong_length = length;
        m_subsong_has_end = has_end;
        const std::string& title = m_chapters[subsong - 1].title;
        if (!title.empty()) info.meta_set("title", track_info::npos, title.c_str(), track_info::npos);
    } else if (m_duration > 0) {
        info.set_length(round_to_sample(m_duration * m_seconds_per_tick));
    }
    if (m_index.has(id::tags)) {
        load_tags(abort);
        auto it = m_tag_cache.find(key);
        if (it != m_tag_cache.end()) {
            const track_info& tags = it->second;
            info.set_replaygain(tags.get_replaygain());
            // The chapter's title stays unless its tags name one; the tags add every other field.
            const bool keep_title = info.meta_find("title") >= 0 && tags.meta_find("title") < 0;
            std::string title = keep_title ? info.meta_get_first("title") : "";
            info.meta_remove_all();
            if (keep_title) info.meta_set("title", track_info::npos, title.c_str(), track_info::npos);
            for (uint32_t i = 0; i < tags.meta_count(); ++i) info.copy_meta_field(tags, i);
        }
    }
}

}  // namespace Matroska
