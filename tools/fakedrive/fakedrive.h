/* The drive emulator's internals: an LD_PRELOAD library that shows libcdio
 * CD-ROM drives whose discs are cue/bin images (see README.md).
 *
 * interpose.c  libc calls (stat, open, ioctl, ...) and the table of our fds
 * config.c     FAKEDRIVE / FAKEDRIVE_LINKS and the per-tray fault files
 * disc.c       a cue/bin image as a disc: TOC and sectors
 * cdtext.c     the disc's CD-Text packs (READ TOC format 5)
 * drive.c      the drive: state, the kernel's CDROM ioctls, MMC packets */
#ifndef FAKEDRIVE_H
#define FAKEDRIVE_H

#include <pthread.h>
#include <stdbool.h>
#include <stdint.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#define FD_PATH_MAX 512
#define FD_MAX_DRIVES 16
#define FD_MAX_LINKS 8
#define FD_MAX_RANGES 16
#define FD_MAX_TRACKS 99
#define FD_SECTOR_BYTES 2352
#define FD_CD_MAJOR 11

/* The real libc functions behind our interposers (interpose.c). */
int fd_real_open(const char* path, int flags, int mode);
int fd_real_close(int fd);
int fd_real_stat(const char* path, struct stat* st);
int fd_real_lstat(const char* path, struct stat* st);
int fd_real_fstat(int fd, struct stat* st);
char* fd_real_realpath(const char* path, char* resolved);

/* ---- config.c ---- */

struct fd_range {
    int32_t first, last;
    int failures; /* fail this many tries; -1 = always */
};

struct fd_faults {
    bool no_disc, tray_open, medium_changed, eacces, no_audio, cd_extra;
    long becoming_ready_ms;
    long slow_read_ms, slow_toc_ms, slow_inquiry_ms, slow_status_ms;
    long sector_us;
    int32_t remove_at; /* -1: none */
    long remove_after; /* -1: none */
    struct fd_range unreadable[FD_MAX_RANGES];
    int n_unreadable;
    struct fd_range eio[FD_MAX_RANGES];
    int n_eio;
    char vendor[9], model[17], revision[5]; /* blank-padded, NUL-terminated */
    long bad_crc[FD_MAX_RANGES];            /* CD-Text packs whose CRC is wrong */
    int n_bad_crc;
};

/* What a path names: a configured drive, a link to one, or nothing of ours. */
struct fd_lookup {
    int drive;                /* slot index, -1 if none */
    bool is_link;             /* the path is a FAKEDRIVE_LINKS link */
    bool hidden;              /* a real CD node the emulated machine lacks */
    char target[FD_PATH_MAX]; /* the drive's device path */
    char link_text[FD_PATH_MAX];
    char tray[FD_PATH_MAX];
    int minor;
};

/* Resolves PATH against the current configuration (re-read if changed).
 * Returns false when FAKEDRIVE is unset or PATH is none of ours. */
bool fd_config_lookup(const char* path, struct fd_lookup* out);
/* The tray path and minor of drive slot I (false if no longer configured). */
bool fd_config_drive(int slot, char* tray, int* minor, char* device);

void fd_faults_default(struct fd_faults* f);
/* Parses fault items; unknown items are reported on stderr. */
void fd_faults_parse(const char* text, const char* origin, struct fd_faults* f);

/* ---- disc.c ---- */

struct fd_track {
    int number;
    bool audio;
    int32_t lsn;       /* INDEX 01, the start the TOC gives */
    int32_t mode_from; /* INDEX 00 if the cue has one, else INDEX 01: the pregap has the track's mode */
};

struct fd_disc {
    int n_tracks;
    struct fd_track tracks[FD_MAX_TRACKS];
    int32_t leadout;
    char bin[FD_PATH_MAX];
};

/* Loads the image whose cue is at CUE (bin: the cue's base name + .bin beside
 * the resolved cue). Returns false if there is no readable image. */
bool fd_disc_load(const char* cue, struct fd_disc* disc);
/* Reads COUNT 2352-byte sectors from LSN into OUT. Returns false on an I/O error. */
bool fd_disc_read(const struct fd_disc* disc, int32_t lsn, int32_t count, uint8_t* out);
/* Whether sectors LSN .. LSN+COUNT-1 hold audio, data or both, by the mode
 * each sector is written in (a track's pregap has the track's mode). */
void fd_disc_modes(const struct fd_disc* disc, int32_t lsn, int32_t count, bool* audio, bool* data);
/* Reads the file at PATH (at most SIZE - 1 bytes) into BUF, NUL-terminated.
 * Returns false if it cannot be read. */
bool fd_read_text(const char* path, char* buf, size_t size);

/* ---- cdtext.c ---- */

/* The longest answer to READ TOC format 5: 8 blocks of 256 packs. */
#define FD_CDTEXT_MAX (4 + 8 * 256 * 18)

/* Builds the answer to READ TOC format 5 for the disc in TRAY into OUT
 * (FD_CDTEXT_MAX bytes): the 4-byte header, then the packs.  Returns its
 * length; 4 when the disc has no CD-Text. */
unsigned fd_cdtext_reply(const char* tray, const struct fd_disc* disc, const struct fd_faults* faults,
                         uint8_t* out);

/* ---- drive.c ---- */

/* Handles an ioctl on a descriptor of drive SLOT. Returns the ioctl result,
 * setting errno on failure. */
int fd_drive_ioctl(int slot, unsigned long request, void* arg);
/* What open() of a drive answers: 0 or an errno value. */
int fd_drive_open_error(int slot, int flags);
/* For access(): whether the user may open the drive. */
bool fd_drive_permitted(int slot);

/* ---- helpers ---- */
void fd_log(const char* device, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void fd_sleep_us(long long us);
long long fd_now_us(void);

#endif
