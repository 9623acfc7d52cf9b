/* Import header of the MP3 encoder library (LAME_ENC), stream interface.
 *
 * Every call but beVersion returns a 32-bit result: BE_ERR_SUCCESSFUL (0) on
 * success, one of the other codes below otherwise.  Buffers belong to the
 * caller.  A stream is named by the handle beInitStream hands out; it must be
 * ended by beCloseStream.
 */
#ifndef LAME_DLL_H
#define LAME_DLL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define LAMEENC_API __declspec(dllimport)
#define LAMEENC_CALL __cdecl
#else
#define LAMEENC_API __attribute__((visibility("default")))
#define LAMEENC_CALL
#endif

/* Quality preset, an 8-bit ordinal (widened to 32 bits in the record). */
typedef uint8_t MPEG_QUALITY;
enum {
    NORMAL_QUALITY = 0,
    LOW_QUALITY = 1,
    HIGH_QUALITY = 2,
    VOICE_QUALITY = 3
};

/* Result codes. */
enum {
    BE_ERR_SUCCESSFUL = 0,
    BE_ERR_INVALID_FORMAT = 1,            /* unknown configuration kind */
    BE_ERR_INVALID_FORMAT_PARAMETERS = 2, /* a setting or argument refused */
    BE_ERR_NO_MORE_HANDLES = 3,
    BE_ERR_INVALID_HANDLE = 4,            /* unknown, closed or already flushed */
    BE_ERR_BUFFER_TOO_SMALL = 5,
    BE_ERR_ENCODER_FAILED = 6             /* the encoder engine failed */
};

#define BE_CONFIG_KIND_LAME 256

#pragma pack(push, 1)

/* The configuration record, 331 bytes, little-endian, no padding. */
typedef struct TBEConfig {
    uint32_t ConfigKind;       /*  0: 256 */
    uint32_t StructVersion;    /*  4: 1 */
    uint32_t StructSize;       /*  8: 331 */
    uint32_t SampleRate;       /* 12: Hz */
    uint32_t ReSampleRate;     /* 16: 0 = left to the library */
    int32_t  Mode;             /* 20: 0 stereo, 1 joint stereo, 2 dual channel, 3 mono */
    uint32_t Bitrate;          /* 24: kbit/s */
    uint32_t MaxBitrate;       /* 28: kbit/s, VBR only */
    int32_t  Quality;          /* 32: MPEG_QUALITY ordinal */
    uint32_t MpegVersion;      /* 36: 1 */
    uint32_t PsyModel;         /* 40 */
    uint32_t Emphasis;         /* 44 */
    int32_t  Private;          /* 48: truth values: 0 false, non-zero true */
    int32_t  CRC;              /* 52 */
    int32_t  Copyright;        /* 56 */
    int32_t  Original;         /* 60 */
    int32_t  WriteVBRHeader;   /* 64 */
    int32_t  EnableVBR;        /* 68 */
    int32_t  VBRQuality;       /* 72: 0 best .. 9 */
    uint8_t  Reserved[255];    /* 76 */
} TBEConfig;

/* The version record, 268 bytes. */
typedef struct TBEVersion {
    uint8_t  DLLMajorVersion;  /* 0: interface layer */
    uint8_t  DLLMinorVersion;  /* 1 */
    uint8_t  MajorVersion;     /* 2: encoder engine */
    uint8_t  MinorVersion;     /* 3 */
    uint16_t Year;             /* 4: release date of the interface layer */
    uint8_t  Month;            /* 6 */
    uint8_t  Day;              /* 7 */
    char     HomePage[260];    /* 8: zero-terminated */
} TBEVersion;

#pragma pack(pop)

LAMEENC_API void LAMEENC_CALL beVersion(TBEVersion* version);

/* Opens a stream.  On success writes the number of 16-bit sample values per
 * chunk (all channels, interleaved), the output buffer size each call needs,
 * and the stream handle.  On failure writes nothing. */
LAMEENC_API uint32_t LAMEENC_CALL beInitStream(TBEConfig* config, uint32_t* samplesPerChunk,
                                               uint32_t* outputBufferSize, uint32_t* stream);

/* Encodes `samples` interleaved 16-bit values; writes the MP3 bytes produced
 * (possibly none) and their count. */
LAMEENC_API uint32_t LAMEENC_CALL beEncodeChunk(uint32_t stream, uint32_t samples,
                                                const int16_t* pcm, uint8_t* output,
                                                uint32_t* outputBytes);

/* Flushes the encoder: writes the remaining MP3 bytes and their count. */
LAMEENC_API uint32_t LAMEENC_CALL beDeinitStream(uint32_t stream, uint8_t* output,
                                                 uint32_t* outputBytes);

/* Ends the stream and releases its handle. */
LAMEENC_API uint32_t LAMEENC_CALL beCloseStream(uint32_t stream);

#ifdef __cplusplus
}  /* extern "C" */

static_assert(sizeof(TBEConfig) == 331, "TBEConfig is 331 bytes");
static_assert(offsetof(TBEConfig, ConfigKind) == 0, "");
static_assert(offsetof(TBEConfig, StructVersion) == 4, "");
static_assert(offsetof(TBEConfig, StructSize) == 8, "");
static_assert(offsetof(TBEConfig, SampleRate) == 12, "");
static_assert(offsetof(TBEConfig, ReSampleRate) == 16, "");
static_assert(offsetof(TBEConfig, Mode) == 20, "");
static_assert(offsetof(TBEConfig, Bitrate) == 24, "");
static_assert(offsetof(TBEConfig, MaxBitrate) == 28, "");
static_assert(offsetof(TBEConfig, Quality) == 32, "");
static_assert(offsetof(TBEConfig, MpegVersion) == 36, "");
static_assert(offsetof(TBEConfig, PsyModel) == 40, "");
static_assert(offsetof(TBEConfig, Emphasis) == 44, "");
static_assert(offsetof(TBEConfig, Private) == 48, "");
static_assert(offsetof(TBEConfig, CRC) == 52, "");
static_assert(offsetof(TBEConfig, Copyright) == 56, "");
static_assert(offsetof(TBEConfig, Original) == 60, "");
static_assert(offsetof(TBEConfig, WriteVBRHeader) == 64, "");
static_assert(offsetof(TBEConfig, EnableVBR) == 68, "");
static_assert(offsetof(TBEConfig, VBRQuality) == 72, "");
static_assert(offsetof(TBEConfig, Reserved) == 76, "");
static_assert(sizeof(TBEVersion) == 268, "TBEVersion is 268 bytes");
#endif

#endif /* LAME_DLL_H */
