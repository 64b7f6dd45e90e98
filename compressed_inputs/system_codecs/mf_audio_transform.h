#pragma once
// mf_audio_transform: one Media Foundation audio decoder transform, created at the first packet and fed one
// packet at a time. mfplat.dll is looked up at run time (it is not there before Vista) and started once per
// process; the calling thread must have COM initialised.
//
//     mf_audio_transform t;
//     t.create(clsid_mp3, wave_subtype(0x55), 44100, 2, nullptr, 0, false, abort);   // exception_codec_setup
//     t.decode(frame, frame_bytes, block, abort);      // every output the packet gives, appended
//     t.decode(nullptr, 0, block, abort);              // the end: drains what the transform still holds
//     t.flush();                                       // after a seek
//
// Output is 32-bit float where the transform offers it, else 16-bit PCM. A packet the transform does not take
// (MF_E_NOTACCEPTING) is fed again once its pending output is taken, so none is lost; a stream change
// (MF_E_TRANSFORM_STREAM_CHANGE, as for AAC with implicit SBR) renegotiates the output type and goes on.

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/audio_block.h"

struct IMFTransform;

// The Media Foundation subtype of a wave format tag: {tag-0000-0010-8000-00AA00389B71}.
kpl::guid mf_wave_subtype(uint16_t tag);

// The first decoder transform that takes `input_subtype` and gives 32-bit float (else 16-bit PCM); false when
// there is none or Media Foundation is missing.
bool mf_find_audio_decoder(const kpl::guid& input_subtype, kpl::guid& clsid);

class mf_audio_transform {
public:
    mf_audio_transform() = default;
    ~mf_audio_transform() { release(); }
    mf_audio_transform(const mf_audio_transform&) = delete;
    mf_audio_transform& operator=(const mf_audio_transform&) = delete;

    bool exists() const { return m_transform != nullptr; }
    // Creates and configures the transform. `aac` also sets the AAC payload type (0, raw) and profile-level
    // attributes that some AAC transforms need beside the user data. Failure: exception_codec_setup with the
    // reason, and no transform.
    void create(const kpl::guid& clsid, const kpl::guid& subtype, uint32_t rate, uint32_t channels,
                const uint8_t* user_data, size_t user_size, bool aac);
    // For tests: takes over `transform` (its reference) as create would have made it, with stream ids 0, and
    // chooses its output type.
    void adopt(IMFTransform* transform, uint32_t rate, uint32_t channels);
    // Decodes a packet (size 0: drain) into `block`, emptied first.
    void decode(const void* data, size_t size, audio_block& block, const abort_signal& abort);
    // Drops what the transform holds (after a seek).
    void flush();
    void release();

private:
    bool take_output(audio_block& out);
    void choose_output_type(bool offered);

    IMFTransform* m_transform = nullptr;
    unsigned long m_input_id = 0, m_output_id = 0;
    uint32_t m_rate = 0, m_channels = 0;
    audio_block_store_pow2 m_scratch;
};
