/* A cue/bin image as the disc in a drive: its TOC and its sectors.  Images
 * are those mkdiscimage writes: one BINARY file of 2352-byte sectors, a
 * TRACK line (AUDIO or a MODE), an optional INDEX 00 (the pregap, written in
 * the track's own mode) and an INDEX 01 per track; the bin is the cue's base
 * name + ".bin" beside the cue, as libcdio reads it.
 *
 * A bin shorter than its cue is a disc whose last sectors cannot be read: the
 * lead-out lies where the bin ends, but never before the last track starts
 * (that track then has no sectors), and the sectors the bin lacks fail as a
 * scratched disc's do. */
#include "fakedrive.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static bool bin_path(const char* cue, char* out)
{
    char resolved[PATH_MAX];
    if (!fd_real_realpath(cue, resolved))
        return false;
    char* slash = strrchr(resolved, '/');
    char* dot = strrchr(resolved, '.');
    if (dot && (!slash || dot > slash))
        *dot = '\0';
    return snprintf(out, FD_PATH_MAX, "%s.bin", resolved) < FD_PATH_MAX;
}

bool fd_read_text(const char* path, char* buf, size_t size)
{
    int fd = fd_real_open(path, O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    size_t used = 0;
    ssize_t n = 0;
    while (used + 1 < size && (n = read(fd, buf + used, size - 1 - used)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        used += (size_t)n;
    }
    fd_real_close(fd);
    buf[used] = '\0';
    return n >= 0;
}

static bool parse_cue(const char* text, struct fd_disc* disc)
{
    disc->n_tracks = 0;
    for (const char* line = text; *line;) {
        size_t len = strcspn(line, "\n");
        char copy[256];
        snprintf(copy, sizeof copy, "%.*s", (int)(len < sizeof copy ? len : sizeof copy - 1), line);
        int number, m, s, f;
        char type[32];
        if (sscanf(copy, " TRACK %d %31s", &number, type) == 2) {
            if (disc->n_tracks == FD_MAX_TRACKS || number < 1 || number > 99)
                return false;
            struct fd_track* t = &disc->tracks[disc->n_tracks++];
            t->number = number;
            t->audio = strcmp(type, "AUDIO") == 0;
            t->lsn = -1;
            t->mode_from = -1;
        } else if (sscanf(copy, " INDEX 01 %d:%d:%d", &m, &s, &f) == 3 && disc->n_tracks > 0) {
            disc->tracks[disc->n_tracks - 1].lsn = (m * 60 + s) * 75 + f;
        } else if (sscanf(copy, " INDEX 00 %d:%d:%d", &m, &s, &f) == 3 && disc->n_tracks > 0) {
            disc->tracks[disc->n_tracks - 1].mode_from = (m * 60 + s) * 75 + f;
        }
        line += len;
        if (*line == '\n')
            ++line;
    }
    for (int i = 0; i < disc->n_tracks; ++i) {
        struct fd_track* t = &disc->tracks[i];
        if (t->mode_from < 0 || t->mode_from > t->lsn)
            t->mode_from = t->lsn;
        if (t->lsn < 0 || (i > 0 && t->mode_from <= disc->tracks[i - 1].lsn))
            return false;
    }
    return disc->n_tracks > 0;
}

bool fd_disc_load(const char* cue, struct fd_disc* disc)
{
    static char text[64 * 1024]; /* one buffer for all drives, under text_lock */
    static pthread_mutex_t text_lock = PTHREAD_MUTEX_INITIALIZER;
    struct stat st;
    if (!bin_path(cue, disc->bin) || fd_real_stat(disc->bin, &st) != 0)
        return false;
    pthread_mutex_lock(&text_lock);
    bool ok = fd_read_text(cue, text, sizeof text) && parse_cue(text, disc);
    pthread_mutex_unlock(&text_lock);
    if (!ok)
        return false;
    disc->leadout = (int32_t)(st.st_size / FD_SECTOR_BYTES);
    if (disc->leadout < disc->tracks[disc->n_tracks - 1].lsn)
        disc->leadout = disc->tracks[disc->n_tracks - 1].lsn;
    return true;
}

void fd_disc_modes(const struct fd_disc* disc, int32_t lsn, int32_t count, bool* audio, bool* data)
{
    *audio = *data = false;
    for (int i = 0; i < disc->n_tracks; ++i) {
        int32_t from = disc->tracks[i].mode_from;
        int32_t to = i + 1 < disc->n_tracks ? disc->tracks[i + 1].mode_from : disc->leadout;
        if (from < lsn + count && to > lsn) {
            *audio |= disc->tracks[i].audio;
            *data |= !disc->tracks[i].audio;
        }
    }
}

bool fd_disc_read(const struct fd_disc* disc, int32_t lsn, int32_t count, uint8_t* out)
{
    int fd = fd_real_open(disc->bin, O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    size_t want = (size_t)count * FD_SECTOR_BYTES;
    off_t at = (off_t)lsn * FD_SECTOR_BYTES;
    size_t done = 0;
    while (done < want) {
        ssize_t n = pread(fd, out + done, want - done, at + (off_t)done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += (size_t)n;
    }
    fd_real_close(fd);
    return done == want;
}
