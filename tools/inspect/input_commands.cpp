// The input commands of vorn-inspect: they open files through input probing, as the player does.
//
// vorn-inspect info PATH: for each subsong
//     subsong 0
//     length 3.5                   (seconds in plain decimals, with as many digits as the length has)
//     info codec=FLAC              (one line per technical field)
//     meta ARTIST=A                (one line per value of each meta field, as the reader gives them)
//     replaygain track_gain=-6.20 dB   (track_gain, track_peak, album_gain, album_peak when present)
//
// vorn-inspect decode PATH SUBSONG OUT [--float] [--bits N] [--seek SECONDS] [--reports]: the subsong's audio into the
// file OUT as a WAV file's data chunk holds it: interleaved little-endian integers (8-bit unsigned, wider
// signed) of the track's bits per sample (16 when it reports none; --bits chooses), converted by the
// pcm_converter service; with --float the 32-bit floats as decoded. --seek seeks first and decodes from
// there to the end. --flags N passes N as the decoder's initialise flags (8: fail on damage; default 0).
// --reports gives the decoder, right after it is opened, an event sink that prints each damage report as
// "event SEVERITY TEXT" on standard output (with --flags 8 the findings then go there instead of ending the run).
//
// vorn-inspect write PATH FIELD=VALUE... [--subsong N]: updates fields of one subsong (0 by default)
// through an info writer opened by probing, staged and committed. A field named more than once gets the
// values in that order; an empty value removes the field; the first '=' separates name and value. The four
// replaygain_* names set the ReplayGain values ("replaygain_track_gain=-6.2 dB"; empty removes).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/fs/file_system.h"
#include "foundation/fs/open_mode.h"
#include "foundation/fs/path_lock.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_probe.h"
#include "metadata/audio_block.h"
#include "metadata/pcm_conversion/pcm_converter.h"
#include "metadata/replaygain.h"
#include "metadata/track_info.h"
#include "tools/inspect/inspect_command.h"

namespace {

// Probing and the file systems look their services up in the program's class table.
void ensure_service_table() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

kpl::utf8_string_tight location_of(const char* argument) {
    kpl::utf8_string_tight location("file://");
    location << inspect_path(argument);
    return location;
}

[[noreturn]] void bad_argument(const char* what, const char* text) {
    kpl::utf8_string_pow2 message(what);
    message << ": " << text;
    throw kpl::exception_invalid_params(message.c_str());
}

uint32_t parse_count(const char* text, const char* what) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (!*text || *end || text[0] == '-' || value > 0xFFFFFFFFUL) bad_argument(what, text);
    return static_cast<uint32_t>(value);
}

double parse_seconds(const char* text) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (!*text || *end || !(value >= 0)) bad_argument("bad --seek", text);
    return value;
}

// The shortest plain decimal text (no exponent: "10", "3.5", "0.0001") that reads back as the same
// double; lengths too small for that (below 1e-20 s) print at 20 decimals.
void append_length(kpl::utf8_string& out, double seconds) {
    char text[400];
    for (int decimals = 0; decimals <= 20; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, seconds);
        if (std::strtod(text, nullptr) == seconds) break;
    }
    out << text;
}

void print_info(const track_info& info, inspect_output& out) {
    kpl::utf8_string_pow2 line;
    for (uint32_t i = 0; i < info.info_count(); ++i) {
        line = "info ";
        line << info.info_name(i) << "=" << info.info_value(i);
        out.line(line.c_str());
    }
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        for (uint32_t j = 0; j < info.meta_value_count(i); ++j) {
            line = "meta ";
            line << info.meta_name(i) << "=" << info.meta_value(i, j);
            out.line(line.c_str());
        }
    }
    const replaygain_values rg = info.get_replaygain();
    char text[replaygain_peak_text_size];
    const char* const names[4] = {"track_gain", "track_peak", "album_gain", "album_peak"};
    for (int k = 0; k < 4; ++k) {
        bool present = k == 0   ? replaygain_gain_to_text(text, rg.track_gain)
                       : k == 1 ? replaygain_peak_to_text(text, rg.track_peak)
                       : k == 2 ? replaygain_gain_to_text(text, rg.album_gain)
                                : replaygain_peak_to_text(text, rg.album_peak);
        if (!present) continue;
        line = "replaygain ";
        line << names[k] << "=" << text;
        out.line(line.c_str());
    }
}

int run_info(const inspect_arguments& args, inspect_output& out) {
    args.expect(1);
    ensure_service_table();
    kpl::utf8_string_tight location = location_of(args.required(0, "PATH"));
    service_ptr<track_info_reader> reader;
    input_open_info_reader(reader, file_stream_ref(), location.c_str(), abort_never, false);
    const uint32_t count = reader->subsong_count();
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t subsong = reader->subsong_id(i);
        track_info_store info;
        reader->get_info(subsong, info, abort_never);
        kpl::utf8_string_pow2 line("subsong ");
        line << subsong;
        out.line(line.c_str());
        line = "length ";
        append_length(line, info.get_length());
        out.line(line.c_str());
        print_info(info, out);
    }
    return 0;
}

void decode_to(track_decoder& decoder, file_stream& target, bool as_float, uint32_t bits) {
    service_ptr<pcm_converter> converter;
    if (!as_float) service_class::get_single(converter);
    const uint32_t container = (bits + 7) / 8 * 8;
    audio_block_store_pow2 block;
    kpl::byte_array pcm;
    while (decoder.decode_chunk(block, abort_never)) {
        if (as_float) {
            target.write(block.get_data(), kpl::checked_multiply(block.get_sample_count() * 4, block.get_channels()),
                         abort_never);
        } else {
            converter->convert(block, pcm, bits, container, 0, 1.0f);
            target.write(pcm.data(), pcm.count(), abort_never);
        }
    }
}

// Prints every report of the decoder as "event SEVERITY TEXT".
class printing_event_sink final : public service_counted<decoder_event_sink> {
public:
    explicit printing_event_sink(inspect_output& out) : m_out(out) {}
    void report(const char* message, uint32_t severity) override {
        kpl::utf8_string_pow2 line("event ");
        line << severity << " " << message;
        m_out.line(line.c_str());
    }

private:
    inspect_output& m_out;
};

int run_decode(const inspect_arguments& args, inspect_output& out) {
    static const char* const options[] = {"float", "bits", "seek", "flags", "reports", nullptr};
    args.expect(3, options);
    ensure_service_table();
    kpl::utf8_string_tight location = location_of(args.required(0, "PATH"));
    const uint32_t subsong = parse_count(args.required(1, "SUBSONG"), "bad SUBSONG");
    kpl::utf8_string_tight output = location_of(args.required(2, "OUT"));
    const bool as_float = args.has_option("float");
    uint32_t bits = 0;
    if (const char* text = args.option("bits")) {
        bits = parse_count(text, "bad --bits");
        if (bits < 2 || bits > 32) bad_argument("bad --bits", text);
    }

    service_ptr<track_decoder> decoder;
    input_open_decoder(decoder, file_stream_ref(), location.c_str(), abort_never, false);
    service_ptr<decoder_event_sink> sink;
    if (args.has_option("reports")) {
        service_ptr<track_decoder_v2> v2;
        if (!service_query(decoder.get(), v2)) throw kpl::exception_invalid_params("the decoder takes no event sink");
        service_ref holder;
        holder.attach(static_cast<decoder_event_sink*>(new printing_event_sink(out)));
        sink.attach_ref(std::move(holder));
        v2->set_event_sink(sink.get());
    }
    if (bits == 0) {
        track_info_store info;
        decoder->get_info(subsong, info, abort_never);
        bits = info.effective_bits_per_sample();
        if (bits == 0 || bits > 32) bits = 16;
    }
    uint32_t flags = 0;
    if (const char* text = args.option("flags")) flags = parse_count(text, "bad --flags");
    decoder->initialise(subsong, flags, abort_never);
    if (const char* text = args.option("seek")) decoder->seek_seconds(parse_seconds(text), abort_never);

    file_stream_ref target;
    file_system_open(target, output.c_str(), open_mode_create, abort_never);
    try {
        decode_to(*decoder, *target, as_float, bits);
    } catch (...) {
        target.reset();
        try {
            file_system_remove(output.c_str(), abort_never);
        } catch (...) {
        }
        throw;
    }
    return 0;
}

bool is_replaygain_name(const char* name) {
    const char* const names[] = {replaygain_field_album_gain, replaygain_field_album_peak, replaygain_field_track_gain,
                                 replaygain_field_track_peak};
    for (const char* n : names) {
        if (kpl::stricmp_ascii(name, n) == 0) return true;
    }
    return false;
}

// Sets the ReplayGain value the name stands for; an empty text makes it absent.
void set_replaygain(replaygain_values& rg, const char* name, const char* value) {
    if (*value) {
        replaygain_parse_field(name, value, replaygain_values::npos, rg);
        return;
    }
    if (kpl::stricmp_ascii(name, replaygain_field_album_gain) == 0) rg.album_gain = replaygain_values::gain_invalid;
    if (kpl::stricmp_ascii(name, replaygain_field_album_peak) == 0) rg.album_peak = replaygain_values::peak_invalid;
    if (kpl::stricmp_ascii(name, replaygain_field_track_gain) == 0) rg.track_gain = replaygain_values::gain_invalid;
    if (kpl::stricmp_ascii(name, replaygain_field_track_peak) == 0) rg.track_peak = replaygain_values::peak_invalid;
}

void remove_meta_field(track_info& info, const char* name) {
    for (int32_t i = info.meta_find(name); i >= 0; i = info.meta_find(name)) {
        info.meta_remove_mask(kpl::bit_mask_one(static_cast<uint32_t>(i)));
    }
}

int run_write(const inspect_arguments& args, inspect_output&) {
    static const char* const options[] = {"subsong", nullptr};
    args.expect(0xFFFFFFFF, options);
    ensure_service_table();
    kpl::utf8_string_tight location = location_of(args.required(0, "PATH"));
    if (args.positional.count() < 2) args.required(1, "FIELD=VALUE");
    uint32_t subsong = 0;
    if (const char* text = args.option("subsong")) subsong = parse_count(text, "bad --subsong");

    service_ref lock;
    path_lock_manager::acquire_exclusive(lock, location.c_str(), abort_never);
    service_ptr<track_info_writer> writer;
    input_open_info_writer(writer, file_stream_ref(), location.c_str(), abort_never, false);
    track_info_store info;
    writer->get_info(subsong, info, abort_never);

    replaygain_values rg = info.get_replaygain();
    kpl::string_array done;  // field names already replaced, in their first spelling
    for (uint32_t k = 1; k < args.positional.count(); ++k) {
        const char* argument = args.positional[k].c_str();
        const char* equals = std::strchr(argument, '=');
        if (!equals || equals == argument) bad_argument("expected FIELD=VALUE", argument);
        kpl::utf8_string_tight name(argument, static_cast<uint32_t>(equals - argument));
        const char* value = equals + 1;
        if (is_replaygain_name(name.c_str())) {
            set_replaygain(rg, name.c_str(), value);
            continue;
        }
        bool seen = false;
        for (const auto& d : done) seen = seen || kpl::stricmp_ascii(d.c_str(), name.c_str()) == 0;
        if (!seen) {
            remove_meta_field(info, name.c_str());
            done.append(name);
        }
        if (!*value) continue;
        int32_t i = info.meta_find(name.c_str());
        if (i < 0) {
            info.meta_add(name.c_str(), track_info::npos, value, track_info::npos);
        } else {
            info.meta_add_value(value, static_cast<uint32_t>(i));
        }
    }
    info.set_replaygain(rg);
    writer->stage_info(subsong, info, abort_never);
    writer->commit_info(abort_never);
    return 0;
}

inspect_command g_info("info", "PATH", "subsongs, length, technical info, meta fields and ReplayGain of a file",
                       &run_info);
inspect_command g_decode("decode", "PATH SUBSONG OUT [--float] [--bits N] [--seek SECONDS] [--reports]",
                         "decodes a subsong into OUT as raw little-endian PCM (a WAV data chunk) or floats",
                         &run_decode);
inspect_command g_write("write", "PATH FIELD=VALUE... [--subsong N]",
                        "updates fields of a subsong through its info writer (empty value removes)", &run_write);

}  // namespace
