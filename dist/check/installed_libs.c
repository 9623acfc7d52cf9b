/* Built by scripts/check-install.sh against an installed tree, through
 * pkg-config only: uses both libraries as an outside program would.
 *
 *   installed_libs DISC.bin   (CDRIP_IMAGES names DISC.cue)
 *
 * Checks that the header versions match what the libraries report, rips
 * track 1 of the virtual drive through the CR_* calls and compares the PCM
 * with the image's bytes, and encodes a second of silence through the be*
 * calls.  Prints what failed and exits 1, or exits 0.
 */
#include <ripper/CDRip.h>
#include <ripper/LameEnc.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int Fail(const char* what)
{
    fprintf(stderr, "installed_libs: %s\n", what);
    return 1;
}

static int RipTrackOne(const char* binPath)
{
    int32_t drive = -1;
    TCDRomParameters params;
    if (CR_Init() == CDRIP_ERROR)
        return Fail("CR_Init failed");
    for (int32_t d = 0; CR_SetActiveCDROM(d) != CDRIP_ERROR; ++d) {
        memset(&params, 0, sizeof params);
        if (CR_GetCDROMParameters(&params) != CDRIP_ERROR &&
            strncmp(params.CDROMID, "Virtual CD drive", 16) == 0) {
            drive = d;
            break;
        }
    }
    if (drive < 0 || CR_SetActiveCDROM(drive) == CDRIP_ERROR)
        return Fail("no virtual drive: is CDRIP_IMAGES set?");
    CR_SetParamOutputFormat(&params, STEREO44100);
    if (CR_SetCDROMParameters(&params) == CDRIP_ERROR || CR_ReadToc() == CDRIP_ERROR)
        return Fail("cannot read the table of contents of the image");
    if (CR_GetNumTocEntries() < 1)
        return Fail("the image has no track");
    const int32_t start = CR_GetTocEntry(0).StartSector;
    const int32_t end = CR_GetTocEntry(1).StartSector - 1;

    FILE* bin = fopen(binPath, "rb");
    if (!bin)
        return Fail("cannot open the image's .bin");
    const size_t expected = (size_t)(end - start + 1) * 2352;
    uint8_t* image = malloc(expected);
    const int imageRead =
        image && fseek(bin, (long)start * 2352, SEEK_SET) == 0 && fread(image, 1, expected, bin) == expected;
    fclose(bin);
    if (!imageRead) {
        free(image);
        return Fail("the .bin is shorter than track 1");
    }

    int32_t readSize = 0;
    if (CR_OpenRipper(&readSize, start, end) == CDRIP_ERROR || readSize <= 0) {
        free(image);
        return Fail("CR_OpenRipper failed");
    }
    uint8_t* buffer = malloc((size_t)readSize);
    size_t got = 0;
    int32_t result = CDRIP_OK;
    int mismatch = 0;
    const time_t deadline = time(NULL) + 120;
    while (buffer && result != CDRIP_RIPPING_DONE && time(NULL) < deadline) {
        int32_t delivered = 0;
        result = CR_RipChunk(buffer, &delivered);
        if (result == CDRIP_ERROR || delivered < 0 || delivered > readSize)
            continue;
        if (got + (size_t)delivered > expected || memcmp(image + got, buffer, (size_t)delivered) != 0)
            mismatch = 1;
        got += (size_t)delivered;
    }
    CR_CloseRipper();
    free(buffer);
    free(image);
    if (result != CDRIP_RIPPING_DONE)
        return Fail("the rip of track 1 did not finish within 120 s");
    if (mismatch || got != expected)
        return Fail("the PCM of track 1 differs from the image");
    return 0;
}

static int EncodeSilence(void)
{
    TBEConfig config;
    memset(&config, 0, sizeof config);
    config.ConfigKind = BE_CONFIG_KIND_LAME;
    config.StructVersion = 1;
    config.StructSize = sizeof config;
    config.SampleRate = 44100;
    config.Mode = 1;
    config.Bitrate = 128;
    config.MpegVersion = 1;
    uint32_t samples = 0, outputSize = 0, stream = 0, bytes = 0, total = 0;
    if (beInitStream(&config, &samples, &outputSize, &stream) != BE_ERR_SUCCESSFUL)
        return Fail("beInitStream failed");
    int16_t* pcm = calloc(samples, sizeof *pcm);
    uint8_t* mp3 = malloc(outputSize);
    int failed = !pcm || !mp3;
    for (int i = 0; !failed && i < 40; ++i) {
        failed = beEncodeChunk(stream, samples, pcm, mp3, &bytes) != BE_ERR_SUCCESSFUL;
        total += bytes;
    }
    if (!failed) {
        failed = beDeinitStream(stream, mp3, &bytes) != BE_ERR_SUCCESSFUL;
        total += bytes;
    }
    beCloseStream(stream);
    free(pcm);
    free(mp3);
    if (failed)
        return Fail("encoding through the be* calls failed");
    if (total < 40 * 417 / 2) /* 128 kbit/s at 44.1 kHz: about 417 bytes a frame */
        return Fail("the encoder produced too few MP3 bytes");
    return 0;
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return Fail("usage: installed_libs DISC.bin");
    if (CR_GetCDRipVersion() != CDRIP_API_VERSION)
        return Fail("CR_GetCDRipVersion differs from CDRIP_API_VERSION");
    TBEVersion version;
    beVersion(&version);
    if (version.DLLMajorVersion != LAME_ENC_DLL_MAJOR || version.DLLMinorVersion != LAME_ENC_DLL_MINOR)
        return Fail("beVersion differs from LAME_ENC_DLL_MAJOR/MINOR");
    if (RipTrackOne(argv[1]) != 0 || EncodeSilence() != 0)
        return 1;
    printf("installed_libs: CDRip %d.%d.%d (interface %d), lame_enc %d.%d.%d: fine\n", CDRIP_VERSION_MAJOR,
           CDRIP_VERSION_MINOR, CDRIP_VERSION_PATCH, CR_GetCDRipVersion(), LAMEENC_VERSION_MAJOR,
           LAMEENC_VERSION_MINOR, LAMEENC_VERSION_PATCH);
    return 0;
}
