#include "inputs/wav/wav_info.h"

#include "foundation/kpl/io_exceptions.h"
#include "inputs/wav/wav_sample_decoder.h"

void wav_technical_info(const wav_layout& layout, track_info& info) {
    wav_format f(layout.format);
    info.set_length(static_cast<double>(layout.data_size) / f.avg_bytes_per_second);
    info.info_set_int("bitrate", f.avg_bytes_per_second / 125);
    info.info_set_int("samplerate", f.sample_rate);
    info.info_set_int("channels", f.channels);
    const char* codec = nullptr;
    const char* encoding = nullptr;
    kpl::utf8_string_tight acm_name;
    if (f.tag == wav_tag_pcm) {
        codec = "PCM";
        encoding = "lossless";
    } else if (f.tag == wav_tag_float) {
        codec = "PCM (floating-point)";
        encoding = "lossless";
    } else if (f.tag == wav_tag_extensible) {
        if (f.record_size < 40) throw ketrel_io::exception_io_data();
        if (f.subformat == wav_subformat_pcm) {
            codec = "PCM";
            encoding = "lossless";
        } else if (f.subformat == wav_subformat_float) {
            codec = "PCM (floating-point)";
            encoding = "lossless";
        }
    } else if (wav_acm_format_tag_name(f.tag, acm_name)) {
        codec = acm_name.c_str();
        encoding = "lossy";
    }
    if (codec) info.info_set("codec", track_info::npos, codec, track_info::npos);
    if (encoding) info.info_set("encoding", track_info::npos, encoding, track_info::npos);
    if (f.bits_per_sample != 0) info.info_set_int("bitspersample", f.bits_per_sample);
    if (f.tag != wav_tag_pcm && f.tag != wav_tag_float && f.tag != wav_tag_extensible) {
        uint32_t bits;
        if (wav_acm_suggested_bits(layout.format, bits)) info.info_set_int("decoded_bitspersample", bits);
    }
}
