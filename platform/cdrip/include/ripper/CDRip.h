/* libCDRip: CD audio extraction, the CR_* calls, over libcdio and
 * libcdio-paranoia.  Include as <ripper/CDRip.h>; compile and link flags come
 * from pkg-config (ripper-cdrip).
 *
 * Results.  Every call returns a 32-bit result; CDRIP_ERROR (1) means failure
 * and nothing was delivered, any other value counts as success.
 *
 * Memory.  The library allocates nothing a caller frees and keeps no pointer
 * a caller hands in: records and buffers belong to the caller and are only
 * read or written during the call.
 *
 * Threads.  The library keeps one active drive and at most one open
 * extraction for the whole process.  It is not thread-safe: call it from one
 * thread only.
 *
 * Blocking.  CR_Init lists the drives without sending them anything.  By
 * default (CDRIP_READ_ON_CALL) CR_ReadToc and the first CR_GetCDROMParameters
 * of a drive talk to it and may take as long as it takes to answer (seconds
 * while another program reads from it).  With CDRIP_READ_IN_BACKGROUND a
 * thread per drive does that talking, and those calls return within a few
 * hundredths of a second with what it has read so far.
 * CR_OpenRipper and CR_CloseRipper return at once: the extraction reads on a
 * thread of its own.  CR_RipChunk returns within about 0.1 s; when no data
 * are ready by then it returns CDRIP_OK with 0 bytes delivered, and the
 * caller simply calls again.  The other calls only look at memory.
 *
 * Drives.  Drives are numbered from 0 in the order of the last CR_Init: the
 * machine's CD drives, then one virtual drive for each path of the
 * environment variable CDRIP_IMAGES (':'-separated; the disc image at that
 * path is the disc, no file there is an empty tray).
 *
 * New in 1.1: CR_SetDriveReading, CR_GetDiscStatus, CR_GetTrackLastSector,
 * CR_GetCDText.
 */
#ifndef RIPPER_CDRIP_H
#define RIPPER_CDRIP_H

#include <stddef.h>
#include <stdint.h>

/* Version of this library and its header; the shared library's file name
 * carries the same numbers (libCDRip.so.MAJOR). */
#define CDRIP_VERSION_MAJOR 1
#define CDRIP_VERSION_MINOR 1
#define CDRIP_VERSION_PATCH 0

/* What CR_GetCDRipVersion returns: the version of the call interface. */
#define CDRIP_API_VERSION 111

/* CDRIP_API marks the exported calls.  The library itself is compiled with
 * CDRIP_BUILDING_LIBRARY defined (its build sets it); callers leave it
 * undefined. */
#if defined(_WIN32)
#if defined(CDRIP_BUILDING_LIBRARY)
#define CDRIP_API __declspec(dllexport)
#else
#define CDRIP_API __declspec(dllimport)
#endif
#define CDRIP_CALL __stdcall
#else
#if defined(CDRIP_BUILDING_LIBRARY)
#define CDRIP_API __attribute__((visibility("default")))
#else
#define CDRIP_API
#endif
#define CDRIP_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
enum {
    CDRIP_OK = 0,
    CDRIP_ERROR = 1,        /* the call failed; nothing was delivered */
    CDRIP_JITTER_ERROR = 3, /* CR_RipChunk: data delivered, a jitter error was found in them */
    CDRIP_RIPPING_DONE = 4  /* CR_RipChunk: data delivered, the range is complete */
};

/* How CR_ReadToc and CR_GetCDROMParameters reach a drive (CR_SetDriveReading). */
enum {
    CDRIP_READ_ON_CALL = 0,      /* on the caller's thread, during the call (the default) */
    CDRIP_READ_IN_BACKGROUND = 1 /* on a thread per drive; the calls answer from its last look */
};

/* The state of the disc in a drive (CR_GetDiscStatus). */
enum {
    CDRIP_DISC_READY = 0,         /* the table of contents was read */
    CDRIP_DISC_NONE = 2,          /* no disc (an empty tray, no image at a virtual drive's path) */
    CDRIP_DISC_TRAY_OPEN = 3,     /* the tray is open */
    CDRIP_DISC_NOT_READY = 4,     /* a disc is in, but the drive is still making it ready */
    CDRIP_DISC_NO_PERMISSION = 5, /* the user may not read the drive (not in group cdrom) */
    CDRIP_DISC_UNREADABLE = 6,    /* a disc is in, but its table of contents cannot be read */
    CDRIP_DISC_UNKNOWN = 7        /* not known (yet): the drive has not answered */
};

/* The texts of a disc's CD-Text (CR_GetCDText). */
enum {
    CDRIP_TEXT_TITLE = 0,    /* the album's or the track's title */
    CDRIP_TEXT_PERFORMER = 1 /* its performer */
};

/* Language codes of CD-Text blocks, as the disc carries them (EBU Tech 3264). */
enum { CDRIP_TEXT_GERMAN = 0x08, CDRIP_TEXT_ENGLISH = 0x09 };

/* Enumerations travel as 32-bit ordinals. */
typedef enum TDriveType {
    GENERIC,
    TOSHIBA,
    TOSHIBANEW,
    IBM,
    NEC,
    DEC,
    IMS,
    KODAK,
    RICOH,
    HP,
    PHILIPS,
    PLASMON,
    GRUNDIGCDR100IPW,
    MITSUMICDR,
    PLEXTOR,
    SONY,
    YAMAHA,
    NRC,
    IMSCDD5,
    CUSTOMDRIVE
} TDriveType;

typedef enum TReadMethod {
    READMMC,
    READ10,
    READNEC,
    READSONY,
    READMMC2,
    READMMC3,
    READC1,
    READC2,
    READC3
} TReadMethod;

typedef enum TSetSpeed {
    SPEEDNONE,
    SPEEDMMC,
    SPEEDSONY,
    SPEEDYAMAHA,
    SPEEDTOSHIBA,
    SPEEDPHILIPS,
    SPEEDNEC
} TSetSpeed;

typedef enum TEndian { BIGENDIAN, LITTLEENDIAN } TEndian;

typedef enum TEnableMode { ENABLENONE, ENABLESTD } TEnableMode;

typedef enum TOutputFormat {
    STEREO44100,
    MONO44100,
    STEREO22050,
    MONO22050,
    STEREO11025,
    MONO11025
} TOutputFormat;

#pragma pack(push, 1)

/* One entry of the table of contents: 8 bytes, of which the first 6 count. */
typedef struct TTocEntry {
    int32_t StartSector; /* LSN: track 1 of a standard disc starts at 0 */
    uint8_t Flags;       /* 0x10 = audio track, 0x14 = data track */
    uint8_t TrackNumber; /* the disc's own track number */
    uint8_t Reserved[2];
} TTocEntry;

/* The per-drive parameter record, 340 bytes, packed.  Bytes not named here
 * belong to the library and are handed back unchanged. */
typedef struct TCDRomParameters {
    char CDROMID[256];        /* 0: zero-terminated identification text */
    uint8_t Reserved1[20];    /* 256 */
    int32_t Speed;            /* 276: drive speed */
    uint8_t Reserved2[4];     /* 280 */
    int32_t JitterCorrection; /* 284: -1 on, 0 off (any non-zero is on) */
    uint8_t Reserved3[4];     /* 288 */
    int32_t DriveTable[7];    /* 292: type, read method, speed method, endian,
                                          enable mode, density, ATAPI flag */
    uint8_t Reserved4[7];     /* 320 */
    uint8_t OutputFormat[4];  /* 327: TOutputFormat ordinal, little-endian, unaligned */
    uint8_t Reserved5[9];     /* 331 */
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

/* --- Drives and table of contents --- */

/* CDRIP_API_VERSION. */
CDRIP_API int32_t CDRIP_CALL CR_GetCDRipVersion(void);
/* Builds the drive table anew and makes drive 0 active; closes an open
 * extraction.  Blocks while the drives are listed. */
CDRIP_API int32_t CDRIP_CALL CR_Init(void);
CDRIP_API int32_t CDRIP_CALL CR_GetActiveCDROM(void);
/* CDRIP_ERROR for a number outside the table. */
CDRIP_API int32_t CDRIP_CALL CR_SetActiveCDROM(int32_t drive);
/* Fills the caller's 340-byte record with the active drive's parameters.
 * The identification is asked of the drive once; reading in background, a
 * drive that has not answered yet is named "CD drive (<device>)" and a later
 * call gives its name. */
CDRIP_API int32_t CDRIP_CALL CR_GetCDROMParameters(TCDRomParameters* params);
/* Takes the jitter flag and the output format from the caller's record for
 * the active drive; the record is only read. */
CDRIP_API int32_t CDRIP_CALL CR_SetCDROMParameters(TCDRomParameters* params);
/* Reads the table of contents of the disc in the active drive; CDRIP_ERROR
 * for no disc or an unreadable one (the table is then empty; CR_GetDiscStatus
 * tells why).  Reading on call it blocks while the drive answers.  Reading in
 * background it asks the drive's thread to look again, waits for that look a
 * few hundredths of a second at most and else answers from the last look:
 * a disc put in or taken out shows by the next call but one at the latest,
 * when the calls are seconds apart. */
CDRIP_API int32_t CDRIP_CALL CR_ReadToc(void);
/* New in 1.1.  Process-wide: CDRIP_READ_ON_CALL or CDRIP_READ_IN_BACKGROUND;
 * CDRIP_ERROR for any other mode.  Reading in background suits a caller that
 * must never wait for a drive, such as a window's thread. */
CDRIP_API int32_t CDRIP_CALL CR_SetDriveReading(int32_t mode);
/* New in 1.1.  Writes the CDRIP_DISC_* state found by the last CR_ReadToc of
 * the active drive (CDRIP_DISC_UNKNOWN before any); CDRIP_ERROR when there is
 * no drive or status is null. */
CDRIP_API int32_t CDRIP_CALL CR_GetDiscStatus(int32_t* status);
/* n, the number of tracks of the last table read; entries 0 .. n exist. */
CDRIP_API int32_t CDRIP_CALL CR_GetNumTocEntries(void);
/* Entry `index` by value; entry n is the lead-out (flags 0x10, track number
 * 0xAA). */
CDRIP_API TTocEntry CDRIP_CALL CR_GetTocEntry(int32_t index);
/* New in 1.1.  The last sector of track `index` (0 .. n - 1) of the last
 * table read: one before the next entry's start, and for an audio track
 * before anything that is no audio although the table puts it there (the
 * pregap of a data track that follows; on a disc with a second session, the
 * 11,400 sectors between the sessions).  CDRIP_ERROR for another index. */
CDRIP_API int32_t CDRIP_CALL CR_GetTrackLastSector(int32_t index, int32_t* lastSector);
/* New in 1.1.  Copies a text of the disc's CD-Text, read with the last table
 * of contents (a cue sheet's TITLE and PERFORMER lines for a disc image),
 * into `text`: UTF-8 with a terminating NUL, cut at a character boundary to
 * fit `size` bytes.  `track` 0 is the album, 1 .. n the track of entry
 * track - 1 of the table; `field` a CDRIP_TEXT_* field.  Of several language
 * blocks the one in `language` is taken (a CDRIP_TEXT_GERMAN, ... code),
 * else the English one, else the first.  Characters that are not valid in
 * their block's character set, and control characters, come as U+FFFD.
 * Reading in background the text is read again only when the table changed.
 * CDRIP_ERROR when the disc names no such text, for a track or field outside
 * the ranges, and for a null `text` or a `size` below 1; `text` then holds
 * the empty string where it can. */
CDRIP_API int32_t CDRIP_CALL CR_GetCDText(int32_t track, int32_t field, int32_t language, char* text,
                                          int32_t size);

/* --- Extraction of an inclusive sector range of the active drive --- */

/* Opens the extraction of sectors startSector .. endSector in the output
 * format of the drive's parameters and writes the read size: the number of
 * bytes the buffer of every CR_RipChunk must hold.  An extraction that was
 * open is closed first.  Returns at once; the reading happens on the
 * library's own thread. */
CDRIP_API int32_t CDRIP_CALL CR_OpenRipper(int32_t* readSize, int32_t startSector, int32_t endSector);
/* Copies the next PCM (16-bit little-endian, interleaved) into `buffer`,
 * which holds at least the read size, and writes the number of bytes copied
 * (0 .. read size) into *bytesDelivered.  Results: CDRIP_OK data (or 0 bytes
 * when none were ready within about 0.1 s: call again), CDRIP_JITTER_ERROR
 * data in which a jitter error was found, CDRIP_RIPPING_DONE the last data of
 * the range (0 bytes when the range's last data came with a jitter error),
 * CDRIP_ERROR a failed read (0 bytes; calling again retries).
 * A sector that cannot be read (or that the disc image lacks) is never
 * delivered as audio by plain reads: they fail with CDRIP_ERROR for as long
 * as it stays unreadable.  With jitter correction it is delivered as silence
 * and named, with exactly the sectors made up, by the CDRIP_JITTER_ERROR of
 * the data that hold it.  Sectors around the range are read as well; what
 * happens there never fails the range. */
CDRIP_API int32_t CDRIP_CALL CR_RipChunk(uint8_t* buffer, int32_t* bytesDelivered);
/* 0 .. 100, the share of the range delivered so far. */
CDRIP_API int32_t CDRIP_CALL CR_GetPercentCompleted(void);
/* The number of CDRIP_JITTER_ERROR results handed out by this extraction. */
CDRIP_API int32_t CDRIP_CALL CR_GetNumberOfJitterErrors(void);
/* The first and the last sector of the last jitter error; 0 and 0 if none. */
CDRIP_API void CDRIP_CALL CR_GetLastJitterErrorPosition(int32_t* first, int32_t* last);
/* Ends the extraction and releases what it holds; returns at once, also
 * while a read is still under way.  Closing when nothing is open is fine. */
CDRIP_API int32_t CDRIP_CALL CR_CloseRipper(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The records' layout is part of the interface. */
#if defined(__cplusplus)
#define CDRIP_LAYOUT_CHECK(condition, text) static_assert(condition, text)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define CDRIP_LAYOUT_CHECK(condition, text) _Static_assert(condition, text)
#endif
#ifdef CDRIP_LAYOUT_CHECK
CDRIP_LAYOUT_CHECK(sizeof(TTocEntry) == 8, "TTocEntry is 8 bytes");
CDRIP_LAYOUT_CHECK(sizeof(TCDRomParameters) == 340, "TCDRomParameters is 340 bytes");
CDRIP_LAYOUT_CHECK(offsetof(TCDRomParameters, CDROMID) == 0, "identification at 0");
CDRIP_LAYOUT_CHECK(offsetof(TCDRomParameters, Speed) == 276, "speed at 276");
CDRIP_LAYOUT_CHECK(offsetof(TCDRomParameters, JitterCorrection) == 284, "jitter flag at 284");
CDRIP_LAYOUT_CHECK(offsetof(TCDRomParameters, DriveTable) == 292, "drive table at 292");
CDRIP_LAYOUT_CHECK(offsetof(TCDRomParameters, OutputFormat) == 327, "output format at 327");
#undef CDRIP_LAYOUT_CHECK
#endif

#endif /* RIPPER_CDRIP_H */
