/* Link test for the codec libraries built by build-deps.sh: calls one
 * function of each library and prints "ALL OK" when every call behaves.
 *
 *   i686-w64-mingw32-gcc-win32 -static -DFLAC__NO_DLL -I$PREFIX/include \
 *       linktest.c -o linktest.exe -L$PREFIX/lib $(cat $PREFIX/share/deps-link.txt)
 *   wine linktest.exe
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#define OV_EXCLUDE_STATIC_CALLBACKS /* unused static callback tables in the header */
#include <vorbis/vorbisfile.h>
#include <FLAC/stream_decoder.h>
#include <opus/opus.h>
#include <opus/opus_multistream.h>
#include <wavpack/wavpack.h>
#include <mpc/mpcdec.h>
#include <alac/alac_codec.h>
#include <alac/ALACBitUtilities.h>

static int failures;

static void check(const char *what, int ok, const char *detail)
{
    printf("%-10s %s%s%s\n", what, ok ? "ok" : "FAILED", detail ? "  " : "", detail ? detail : "");
    if (!ok)
        failures++;
}

/* An empty stream for the callback APIs. */
static size_t ov_read_nothing(void *ptr, size_t size, size_t n, void *src)
{
    (void)ptr; (void)size; (void)n; (void)src;
    return 0;
}

static FLAC__StreamDecoderReadStatus flac_read(const FLAC__StreamDecoder *d, FLAC__byte buf[],
                                               size_t *bytes, void *ud)
{
    (void)d; (void)buf; (void)ud;
    *bytes = 0;
    return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
}

static FLAC__StreamDecoderWriteStatus flac_write(const FLAC__StreamDecoder *d, const FLAC__Frame *f,
                                                 const FLAC__int32 *const buf[], void *ud)
{
    (void)d; (void)f; (void)buf; (void)ud;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

static void flac_error(const FLAC__StreamDecoder *d, FLAC__StreamDecoderErrorStatus s, void *ud)
{
    (void)d; (void)s; (void)ud;
}

/* A Musepack reader over a small buffer that holds no Musepack stream. */
struct membuf { const unsigned char *data; mpc_int32_t size, pos; };

static mpc_int32_t mem_read(mpc_reader *r, void *ptr, mpc_int32_t size)
{
    struct membuf *m = r->data;
    mpc_int32_t n = m->size - m->pos;
    if (n > size)
        n = size;
    memcpy(ptr, m->data + m->pos, (size_t)n);
    m->pos += n;
    return n;
}
static mpc_bool_t mem_seek(mpc_reader *r, mpc_int32_t off)
{
    struct membuf *m = r->data;
    if (off < 0 || off > m->size)
        return MPC_FALSE;
    m->pos = off;
    return MPC_TRUE;
}
static mpc_int32_t mem_tell(mpc_reader *r) { return ((struct membuf *)r->data)->pos; }
static mpc_int32_t mem_size(mpc_reader *r) { return ((struct membuf *)r->data)->size; }
static mpc_bool_t mem_canseek(mpc_reader *r) { (void)r; return MPC_TRUE; }

int main(void)
{
    char buf[160];

    /* libogg */
    {
        ogg_sync_state oy;
        int r = ogg_sync_init(&oy);
        check("ogg", r == 0 && ogg_sync_buffer(&oy, 4096) != NULL, NULL);
        ogg_sync_clear(&oy);
    }

    /* libvorbis */
    {
        vorbis_info vi;
        vorbis_info_init(&vi);
        check("vorbis", vi.channels == 0, vorbis_version_string());
        vorbis_info_clear(&vi);
    }

    /* libvorbisfile: an empty stream must be rejected, not crash */
    {
        static OggVorbis_File vf;
        ov_callbacks cb = { ov_read_nothing, NULL, NULL, NULL };
        int r = ov_open_callbacks(NULL, &vf, NULL, 0, cb);
        snprintf(buf, sizeof buf, "ov_open_callbacks on empty input = %d", r);
        check("vorbisfile", r < 0, buf);
    }

    /* libFLAC, including Ogg FLAC */
    {
        FLAC__StreamDecoder *d = FLAC__stream_decoder_new();
        FLAC__StreamDecoderInitStatus st = FLAC__STREAM_DECODER_INIT_STATUS_ERROR_OPENING_FILE;
        if (d)
            st = FLAC__stream_decoder_init_ogg_stream(d, flac_read, NULL, NULL, NULL, NULL,
                                                      flac_write, NULL, flac_error, NULL);
        snprintf(buf, sizeof buf, "%s, Ogg FLAC %d, init_ogg_stream: %s", FLAC__VERSION_STRING,
                 (int)FLAC_API_SUPPORTS_OGG_FLAC, FLAC__StreamDecoderInitStatusString[st]);
        check("flac", d && FLAC_API_SUPPORTS_OGG_FLAC && st == FLAC__STREAM_DECODER_INIT_STATUS_OK, buf);
        if (d) {
            FLAC__stream_decoder_finish(d);
            FLAC__stream_decoder_delete(d);
        }
    }

    /* libopus */
    {
        int err = 0;
        OpusDecoder *od = opus_decoder_create(48000, 2, &err);
        opus_int32 ms = opus_multistream_decoder_get_size(4, 2);
        snprintf(buf, sizeof buf, "%s, multistream decoder %ld bytes", opus_get_version_string(), (long)ms);
        check("opus", od != NULL && err == OPUS_OK && ms > 0, buf);
        opus_decoder_destroy(od);
    }

    /* libwavpack */
    {
        const char *v = WavpackGetLibraryVersionString();
        check("wavpack", v != NULL && WavpackGetLibraryVersion() >= 0x050000, v);
    }

    /* libmpcdec: a buffer that is not Musepack must be rejected */
    {
        static const unsigned char junk[64] = "RIFF\0\0\0\0WAVEfmt ";
        struct membuf m = { junk, (mpc_int32_t)sizeof junk, 0 };
        mpc_reader r = { mem_read, mem_seek, mem_tell, mem_size, mem_canseek, &m };
        mpc_demux *dm = mpc_demux_init(&r);
        check("mpcdec", dm == NULL, "mpc_demux_init rejects non-Musepack data");
        if (dm)
            mpc_demux_exit(dm);
    }

    /* libalac: a bad cookie is refused, a good one accepted */
    {
        /* frameLength 4096, version 0, 16 bit, pb 40, mb 10, kb 14, 2 channels,
         * maxRun 255, maxFrameBytes 0, avgBitRate 0, 44100 Hz */
        static const unsigned char good[24] = {
            0x00, 0x00, 0x10, 0x00, 0, 16, 40, 10, 14, 2, 0x00, 0xff,
            0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0xac, 0x44 };
        unsigned char bad[24];
        ALAC_DECODER *dec = calloc(1, sizeof *dec);
        int32_t rb = -1, rg = -1;
        memset(bad, 0xff, sizeof bad);
        if (dec) {
            rb = alac_decoder_init(dec, bad, sizeof bad);
            memset(dec, 0, sizeof *dec);
            rg = alac_decoder_init(dec, (void *)good, sizeof good);
        }
        snprintf(buf, sizeof buf, "bad cookie -> %ld, good cookie -> %ld (%u ch, %u bit, %lu Hz)",
                 (long)rb, (long)rg, dec ? (unsigned)dec->mNumChannels : 0u,
                 dec ? (unsigned)dec->mConfig.bitDepth : 0u,
                 dec ? (unsigned long)dec->mConfig.sampleRate : 0ul);
        check("alac", dec && rb != 0 && rg == 0 && dec->mNumChannels == 2 &&
                      dec->mConfig.bitDepth == 16 && dec->mConfig.sampleRate == 44100, buf);
        free(dec);
    }

    if (failures) {
        printf("%d FAILED\n", failures);
        return 1;
    }
    printf("ALL OK\n");
    return 0;
}
