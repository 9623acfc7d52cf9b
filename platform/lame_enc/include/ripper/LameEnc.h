/* liblame_enc: MP3 encoding, the five be* calls of the encoder's stream
 * interface, over libmp3lame.  Include as <ripper/LameEnc.h>; compile and
 * link flags come from pkg-config (ripper-lame_enc).
 *
 * Results.  Every call but beVersion returns a 32-bit result:
 * BE_ERR_SUCCESSFUL (0) on success, one of the other codes below otherwise.
 *
 * Memory.  Records and buffers belong to the caller; the library keeps no
 * pointer a caller hands in.  A stream is named by the handle beInitStream
 * hands out; beCloseStream ends it and frees what the library holds for it,
 * so every handle must be closed, also after a failed call.
 *
 * Blocking.  No call waits for anything: each one encodes what it is given
 * and returns.
 *
 * Threads.  The handle table is locked, so streams may be used from several
 * threads; one stream must not be used by two threads at the same time.
 *
 * How the configuration record is read:
 *
 * beInitStream (config kind 256 only, else BE_ERR_INVALID_FORMAT):
 *   SampleRate      input rate; one of the nine MPEG rates (8000 .. 48000 Hz),
 *                   anything else is refused (BE_ERR_INVALID_FORMAT_PARAMETERS).
 *   ReSampleRate    0: LAME chooses the output rate (it keeps the input rate for
 *                   the usual bitrates); else an MPEG rate LAME resamples to.
 *   Mode            0 stereo (true stereo, not joint), 1 joint stereo,
 *                   2 dual channel, 3 mono; mono takes one channel of samples,
 *                   the others two, interleaved.
 *   Bitrate         CBR: the bitrate; VBR: the lowest bitrate.  CBR refuses a
 *                   bitrate outside the table of the MPEG version.  At 8,
 *                   11.025 and 12 kHz (MPEG-2.5) LAME lowers anything above
 *                   64 kbit/s to 64, as the command line does.
 *   MaxBitrate      VBR only: the highest bitrate.
 *   Quality         NORMAL_QUALITY: LAME's default quality (not overridden,
 *                                   i.e. -q 3 of the command line);
 *                   LOW_QUALITY:    LAME quality 7, the fast search (-q 7);
 *                   HIGH_QUALITY:   LAME quality 2 (-q 2, the command line's -h);
 *                   VOICE_QUALITY:  LAME quality 5 and a low-pass at 8 kHz
 *                                   (-q 5 --lowpass 8), enough for speech.
 *   MpegVersion, PsyModel  ignored: the MPEG version follows from the rate.
 *   Emphasis        0 none, 1 50/15 us, 3 CCITT.
 *   Private, CRC, Copyright, Original  header bits; any non-zero word is true.
 *   EnableVBR       VBR (LAME's default VBR method) with VBRQuality 0 (best)
 *                   .. 9, between Bitrate and MaxBitrate.
 *   WriteVBRHeader  accepted but no VBR/Info header is written: the tag belongs
 *                   into the first frame, which the caller has already written
 *                   by the time the stream ends.  No ID3 tag either.
 *   Any value LAME refuses gives BE_ERR_INVALID_FORMAT_PARAMETERS; a failing
 *   call writes none of its outputs.
 *   Outputs: samples per chunk = one MPEG frame per channel (1152 at 32, 44.1
 *   and 48 kHz; 576 below) times the channels; output buffer size =
 *   1.25 * samples per chunk + 7200 bytes, enough for one chunk and for the
 *   flush; a handle, never 0, not reused while the process runs.
 *
 * beEncodeChunk takes at most the samples per chunk (a short last chunk is
 * fine), a whole number of frames; the output buffer must hold the output
 * buffer size.  beDeinitStream flushes once; afterwards the stream takes
 * neither samples nor another flush (BE_ERR_INVALID_HANDLE) until it is
 * closed.  An unknown or closed handle gives BE_ERR_INVALID_HANDLE.
 * At most 64 streams are open at once (BE_ERR_NO_MORE_HANDLES).
 */
#ifndef RIPPER_LAMEENC_H
#define RIPPER_LAMEENC_H

#include <stddef.h>
#include <stdint.h>

/* Version of this library and its header; the shared library's file name
 * carries the same numbers (liblame_enc.so.MAJOR). */
#define LAMEENC_VERSION_MAJOR 1
#define LAMEENC_VERSION_MINOR 0
#define LAMEENC_VERSION_PATCH 0

/* Version of the interface layer, bytes 0 and 1 of the version record. */
#define LAME_ENC_DLL_MAJOR 1
#define LAME_ENC_DLL_MINOR 0

/* LAMEENC_API marks the exported calls.  The library itself is compiled with
 * LAMEENC_BUILDING_LIBRARY defined (its build sets it); callers leave it
 * undefined. */
#if defined(_WIN32)
#if defined(LAMEENC_BUILDING_LIBRARY)
#define LAMEENC_API __declspec(dllexport)
#else
#define LAMEENC_API __declspec(dllimport)
#endif
#define LAMEENC_CALL __cdecl
#else
#if defined(LAMEENC_BUILDING_LIBRARY)
#define LAMEENC_API __attribute__((visibility("default")))
#else
#define LAMEENC_API
#endif
#define LAMEENC_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Quality preset, an 8-bit ordinal (widened to 32 bits in the record). */
typedef uint8_t MPEG_QUALITY;
enum { NORMAL_QUALITY = 0, LOW_QUALITY = 1, HIGH_QUALITY = 2, VOICE_QUALITY = 3 };

/* Result codes. */
enum {
    BE_ERR_SUCCESSFUL = 0,
    BE_ERR_INVALID_FORMAT = 1,            /* unknown configuration kind */
    BE_ERR_INVALID_FORMAT_PARAMETERS = 2, /* a setting or argument refused */
    BE_ERR_NO_MORE_HANDLES = 3,
    BE_ERR_INVALID_HANDLE = 4, /* unknown, closed or already flushed */
    BE_ERR_BUFFER_TOO_SMALL = 5,
    BE_ERR_ENCODER_FAILED = 6 /* the encoder engine failed */
};

#define BE_CONFIG_KIND_LAME 256

#pragma pack(push, 1)

/* The configuration record, 331 bytes, little-endian, no padding. */
typedef struct TBEConfig {
    uint32_t ConfigKind;    /*  0: 256 */
    uint32_t StructVersion; /*  4: 1 */
    uint32_t StructSize;    /*  8: 331 */
    uint32_t SampleRate;    /* 12: Hz */
    uint32_t ReSampleRate;  /* 16: 0 = left to the library */
    int32_t Mode;           /* 20: 0 stereo, 1 joint stereo, 2 dual channel, 3 mono */
    uint32_t Bitrate;       /* 24: kbit/s */
    uint32_t MaxBitrate;    /* 28: kbit/s, VBR only */
    int32_t Quality;        /* 32: MPEG_QUALITY ordinal */
    uint32_t MpegVersion;   /* 36: 1 */
    uint32_t PsyModel;      /* 40 */
    uint32_t Emphasis;      /* 44 */
    int32_t Private;        /* 48: truth values: 0 false, non-zero true */
    int32_t CRC;            /* 52 */
    int32_t Copyright;      /* 56 */
    int32_t Original;       /* 60 */
    int32_t WriteVBRHeader; /* 64 */
    int32_t EnableVBR;      /* 68 */
    int32_t VBRQuality;     /* 72: 0 best .. 9 */
    uint8_t Reserved[255];  /* 76 */
} TBEConfig;

/* The version record, 268 bytes. */
typedef struct TBEVersion {
    uint8_t DLLMajorVersion; /* 0: interface layer */
    uint8_t DLLMinorVersion; /* 1 */
    uint8_t MajorVersion;    /* 2: encoder engine */
    uint8_t MinorVersion;    /* 3 */
    uint16_t Year;           /* 4: release date of the interface layer */
    uint8_t Month;           /* 6 */
    uint8_t Day;             /* 7 */
    char HomePage[260];      /* 8: zero-terminated */
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
LAMEENC_API uint32_t LAMEENC_CALL beEncodeChunk(uint32_t stream, uint32_t samples, const int16_t* pcm,
                                                uint8_t* output, uint32_t* outputBytes);

/* Flushes the encoder: writes the remaining MP3 bytes and their count. */
LAMEENC_API uint32_t LAMEENC_CALL beDeinitStream(uint32_t stream, uint8_t* output, uint32_t* outputBytes);

/* Ends the stream and releases its handle. */
LAMEENC_API uint32_t LAMEENC_CALL beCloseStream(uint32_t stream);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The records' layout is part of the interface. */
#if defined(__cplusplus)
#define LAMEENC_LAYOUT_CHECK(condition, text) static_assert(condition, text)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define LAMEENC_LAYOUT_CHECK(condition, text) _Static_assert(condition, text)
#endif
#ifdef LAMEENC_LAYOUT_CHECK
LAMEENC_LAYOUT_CHECK(sizeof(TBEConfig) == 331, "TBEConfig is 331 bytes");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, ConfigKind) == 0, "ConfigKind offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, StructVersion) == 4, "StructVersion offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, StructSize) == 8, "StructSize offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, SampleRate) == 12, "SampleRate offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, ReSampleRate) == 16, "ReSampleRate offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, Mode) == 20, "Mode offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, Bitrate) == 24, "Bitrate offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, MaxBitrate) == 28, "MaxBitrate offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, Quality) == 32, "Quality offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, MpegVersion) == 36, "MpegVersion offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, PsyModel) == 40, "PsyModel offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, Emphasis) == 44, "Emphasis offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, Private) == 48, "Private offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, CRC) == 52, "CRC offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, Copyright) == 56, "Copyright offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, Original) == 60, "Original offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, WriteVBRHeader) == 64, "WriteVBRHeader offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, EnableVBR) == 68, "EnableVBR offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, VBRQuality) == 72, "VBRQuality offset");
LAMEENC_LAYOUT_CHECK(offsetof(TBEConfig, Reserved) == 76, "Reserved offset");
LAMEENC_LAYOUT_CHECK(sizeof(TBEVersion) == 268, "TBEVersion is 268 bytes");
#undef LAMEENC_LAYOUT_CHECK
#endif

#endif /* RIPPER_LAMEENC_H */
