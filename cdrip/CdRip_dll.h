/* Import header of the CD extraction library (CDRip).
 *
 * Every call returns a 32-bit result; CDRIP_ERROR (1) means failure and any
 * other value counts as success.  The library keeps one active drive and at
 * most one open extraction; it is not thread-safe and is called from one
 * thread only.  Records are exchanged through pointers owned by the caller.
 */
#ifndef CDRIP_DLL_H
#define CDRIP_DLL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define CDRIP_API __declspec(dllimport)
#define CDRIP_CALL __stdcall
#else
#define CDRIP_API __attribute__((visibility("default")))
#define CDRIP_CALL
#endif

/* Result codes. */
enum {
    CDRIP_OK = 0,
    CDRIP_ERROR = 1,          /* the call failed; nothing was delivered */
    CDRIP_JITTER_ERROR = 3,   /* CR_RipChunk: data delivered, a jitter error was found in them */
    CDRIP_RIPPING_DONE = 4    /* CR_RipChunk: data delivered, the range is complete */
};

/* Enumerations travel as 32-bit ordinals. */
typedef enum TDriveType {
    GENERIC, TOSHIBA, TOSHIBANEW, IBM, NEC, DEC, IMS, KODAK, RICOH, HP, PHILIPS, PLASMON,
    GRUNDIGCDR100IPW, MITSUMICDR, PLEXTOR, SONY, YAMAHA, NRC, IMSCDD5, CUSTOMDRIVE
} TDriveType;

typedef enum TReadMethod {
    READMMC, READ10, READNEC, READSONY, READMMC2, READMMC3, READC1, READC2, READC3
} TReadMethod;

typedef enum TSetSpeed {
    SPEEDNONE, SPEEDMMC, SPEEDSONY, SPEEDYAMAHA, SPEEDTOSHIBA, SPEEDPHILIPS, SPEEDNEC
} TSetSpeed;

typedef enum TEndian { BIGENDIAN, LITTLEENDIAN } TEndian;

typedef enum TEnableMode { ENABLENONE, ENABLESTD } TEnableMode;

typedef enum TOutputFormat {
    STEREO44100, MONO44100, STEREO22050, MONO22050, STEREO11025, MONO11025
} TOutputFormat;

#pragma pack(push, 1)

/* One entry of the table of contents: 8 bytes, of which the first 6 count. */
typedef struct TTocEntry {
    int32_t StartSector;   /* LSN: track 1 of a standard disc starts at 0 */
    uint8_t Flags;         /* 0x10 = audio track, 0x14 = data track */
    uint8_t TrackNumber;   /* the disc's own track number */
    uint8_t Reserved[2];
} TTocEntry;

/* The per-drive parameter record, 340 bytes, packed.  Bytes not named here
 * belong to the library and are handed back unchanged. */
typedef struct TCDRomParameters {
    char    CDROMID[256];        /* 0: zero-terminated identification text */
    uint8_t Reserved1[20];       /* 256 */
    int32_t Speed;               /* 276: drive speed */
    uint8_t Reserved2[4];        /* 280 */
    int32_t JitterCorrection;    /* 284: -1 on, 0 off (any non-zero is on) */
    uint8_t Reserved3[4];        /* 288 */
    int32_t DriveTable[7];       /* 292: type, read method, speed method, endian,
                                          enable mode, density, ATAPI flag */
    uint8_t Reserved4[7];        /* 320 */
    uint8_t OutputFormat[4];     /* 327: TOutputFormat ordinal, little-endian, unaligned */
    uint8_t Reserved5[9];        /* 331 */
} TCDRomParameters;

#pragma pack(pop)

/* The unaligned output-format field, read and written byte-wise.  Written
 * without casts so that it reads the same in C and C++. */
static inline int32_t CR_ParamOutputFormat(const TCDRomParameters* p)
{
    const uint32_t b0 = p->OutputFormat[0], b1 = p->OutputFormat[1];
    const uint32_t b2 = p->OutputFormat[2], b3 = p->OutputFormat[3];
    const int32_t value = b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
    return value;
}

static inline void CR_SetParamOutputFormat(TCDRomParameters* p, int32_t value)
{
    const uint32_t v = value;
    p->OutputFormat[0] = v & 0xFFu;
    p->OutputFormat[1] = (v >> 8) & 0xFFu;
    p->OutputFormat[2] = (v >> 16) & 0xFFu;
    p->OutputFormat[3] = (v >> 24) & 0xFFu;
}

/* Drives and table of contents. */
CDRIP_API int32_t CDRIP_CALL CR_GetCDRipVersion(void);                    /* 111 */
CDRIP_API int32_t CDRIP_CALL CR_Init(void);                               /* builds the drive table */
CDRIP_API int32_t CDRIP_CALL CR_GetActiveCDROM(void);
CDRIP_API int32_t CDRIP_CALL CR_SetActiveCDROM(int32_t drive);            /* 1 for a number outside the table */
CDRIP_API int32_t CDRIP_CALL CR_GetCDROMParameters(TCDRomParameters* params);
CDRIP_API int32_t CDRIP_CALL CR_SetCDROMParameters(TCDRomParameters* params);
CDRIP_API int32_t CDRIP_CALL CR_ReadToc(void);                            /* 1: no disc, or unreadable */
CDRIP_API int32_t CDRIP_CALL CR_GetNumTocEntries(void);                   /* n tracks; entries 0 .. n exist */
CDRIP_API TTocEntry CDRIP_CALL CR_GetTocEntry(int32_t index);             /* entry n is the lead-out */

/* Extraction of an inclusive sector range of the active drive. */
CDRIP_API int32_t CDRIP_CALL CR_OpenRipper(int32_t* readSize, int32_t startSector, int32_t endSector);
CDRIP_API int32_t CDRIP_CALL CR_RipChunk(uint8_t* buffer, int32_t* bytesDelivered);
CDRIP_API int32_t CDRIP_CALL CR_GetPercentCompleted(void);
CDRIP_API int32_t CDRIP_CALL CR_GetNumberOfJitterErrors(void);
CDRIP_API void CDRIP_CALL CR_GetLastJitterErrorPosition(int32_t* first, int32_t* last);
CDRIP_API int32_t CDRIP_CALL CR_CloseRipper(void);

#ifdef __cplusplus
}  /* extern "C" */

static_assert(sizeof(TTocEntry) == 8, "TTocEntry is 8 bytes");
static_assert(sizeof(TCDRomParameters) == 340, "TCDRomParameters is 340 bytes");
static_assert(offsetof(TCDRomParameters, CDROMID) == 0, "identification at 0");
static_assert(offsetof(TCDRomParameters, Speed) == 276, "speed at 276");
static_assert(offsetof(TCDRomParameters, JitterCorrection) == 284, "jitter flag at 284");
static_assert(offsetof(TCDRomParameters, DriveTable) == 292, "drive table at 292");
static_assert(offsetof(TCDRomParameters, OutputFormat) == 327, "output format at 327");
#endif

#endif /* CDRIP_DLL_H */
