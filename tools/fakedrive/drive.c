/* The emulated drive: its state (disc, faults, pending unit attention), the
 * kernel's CDROM ioctls with the sr driver's error and retry rules, and the
 * MMC commands that reach it through CDROM_SEND_PACKET. */
#include "fakedrive.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <scsi/scsi_ioctl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

struct file_id {
    bool exists;
    dev_t dev;
    ino_t ino;
    off_t size;
    struct timespec mtime;
};

struct drive {
    pthread_mutex_t lock; /* held for a whole command, as the kernel holds the sr lock */
    bool seen;            /* the state below belongs to `tray` */
    char tray[FD_PATH_MAX];
    char name[64]; /* "sr0", for the log */
    int minor;
    struct file_id tray_link, tray_file, faults_file;
    bool has_disc;
    struct fd_disc disc;
    struct fd_faults faults;
    int tries[FD_MAX_RANGES]; /* READ CDs that touched each unreadable range */
    long long not_ready_until;
    bool unit_attention;
    bool changed_since_asked; /* for CDROM_MEDIA_CHANGED */
    uint8_t media_event;      /* for GET EVENT STATUS NOTIFICATION: 2 new, 3 removed */
    bool removed;
    long reads;
};

static struct drive drives[FD_MAX_DRIVES];
static pthread_once_t drives_once = PTHREAD_ONCE_INIT;

static void init_drives(void)
{
    for (int i = 0; i < FD_MAX_DRIVES; ++i)
        pthread_mutex_init(&drives[i].lock, NULL);
}

/* ---- small helpers ---- */

long long fd_now_us(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

/* Sleeps the whole time even when signals arrive: a drive command cannot be
 * interrupted. */
void fd_sleep_us(long long us)
{
    if (us <= 0)
        return;
    struct timespec ts = {(time_t)(us / 1000000), (long)(us % 1000000) * 1000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void fd_log(const char* device, const char* fmt, ...)
{
    const char* path = getenv("FAKEDRIVE_LOG");
    if (!path || !*path)
        return;
    char line[256];
    int n = snprintf(line, sizeof line, "%s ", device);
    va_list ap;
    va_start(ap, fmt);
    n += vsnprintf(line + n, sizeof line - (size_t)n - 1, fmt, ap);
    va_end(ap);
    if (n > (int)sizeof line - 2)
        n = (int)sizeof line - 2;
    line[n++] = '\n';
    int saved = errno;
    int fd = fd_real_open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        if (write(fd, line, (size_t)n) != n)
            fprintf(stderr, "fakedrive: cannot write the log %s\n", path);
        fd_real_close(fd);
    }
    errno = saved;
}

static struct file_id identify(const char* path, bool follow)
{
    struct file_id id = {0};
    struct stat st;
    if ((follow ? fd_real_stat(path, &st) : fd_real_lstat(path, &st)) == 0) {
        id.exists = true;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.size = st.st_size;
        id.mtime = st.st_mtim;
    }
    return id;
}

static bool same_file(const struct file_id* a, const struct file_id* b)
{
    return a->exists == b->exists && a->dev == b->dev && a->ino == b->ino && a->size == b->size &&
           a->mtime.tv_sec == b->mtime.tv_sec && a->mtime.tv_nsec == b->mtime.tv_nsec;
}

static void load_faults(const char* tray, struct fd_faults* f)
{
    char path[FD_PATH_MAX + 8];
    snprintf(path, sizeof path, "%s.drive", tray);
    char text[4096];
    int fd = fd_real_open(path, O_RDONLY | O_CLOEXEC, 0);
    ssize_t n = fd >= 0 ? read(fd, text, sizeof text - 1) : 0;
    if (fd >= 0)
        fd_real_close(fd);
    text[n > 0 ? n : 0] = '\0';
    fd_faults_parse(text, path, f);
}

/* The drive notices a changed fault file or a changed disc before each command. */
static void refresh(struct drive* d)
{
    long long now = fd_now_us();
    char faults_path[FD_PATH_MAX + 8];
    snprintf(faults_path, sizeof faults_path, "%s.drive", d->tray);
    struct file_id faults_file = identify(faults_path, true);
    bool first = !d->seen;
    if (first || !same_file(&faults_file, &d->faults_file)) {
        d->faults_file = faults_file;
        load_faults(d->tray, &d->faults);
        d->removed = false;
        d->reads = 0;
        memset(d->tries, 0, sizeof d->tries);
        d->unit_attention |= d->faults.medium_changed;
        d->changed_since_asked |= d->faults.medium_changed;
        if (d->faults.medium_changed)
            d->media_event = 2;
        d->not_ready_until = now + d->faults.becoming_ready_ms * 1000;
    }
    struct file_id link = identify(d->tray, false);
    struct file_id file = identify(d->tray, true);
    if (first || !same_file(&link, &d->tray_link) || !same_file(&file, &d->tray_file)) {
        d->tray_link = link;
        d->tray_file = file;
        d->has_disc = file.exists && fd_disc_load(d->tray, &d->disc);
        d->removed = false;
        d->reads = 0;
        memset(d->tries, 0, sizeof d->tries);
        if (!first) {
            d->unit_attention = d->changed_since_asked = true; /* new disc (or none): 06/28/00 */
            d->media_event = d->has_disc ? 2 : 3;
        }
        if (d->has_disc)
            d->not_ready_until = now + d->faults.becoming_ready_ms * 1000;
    }
    d->seen = true;
}

/* Locks drive SLOT for one command and brings its state up to date.
 * Returns NULL if the device is no longer configured. */
static struct drive* begin(int slot)
{
    pthread_once(&drives_once, init_drives);
    char tray[FD_PATH_MAX], device[FD_PATH_MAX];
    int minor;
    if (!fd_config_drive(slot, tray, &minor, device))
        return NULL;
    struct drive* d = &drives[slot];
    pthread_mutex_lock(&d->lock);
    if (strcmp(d->tray, tray) != 0) { /* another tray: a drive just switched on */
        strcpy(d->tray, tray);
        d->seen = false;
        d->unit_attention = d->changed_since_asked = false;
        d->media_event = 0;
    }
    const char* base = strrchr(device, '/');
    snprintf(d->name, sizeof d->name, "%.63s", base ? base + 1 : device);
    d->minor = minor;
    refresh(d);
    return d;
}

static void end(struct drive* d) { pthread_mutex_unlock(&d->lock); }

static int status_of(const struct drive* d)
{
    if (d->faults.tray_open)
        return CDS_TRAY_OPEN;
    if (d->faults.no_disc || !d->has_disc)
        return CDS_NO_DISC;
    if (d->removed)
        return CDS_TRAY_OPEN; /* the user took the disc out and left the tray open */
    if (fd_now_us() < d->not_ready_until)
        return CDS_DRIVE_NOT_READY;
    return CDS_DISC_OK;
}

/* ---- the outcome of a command ---- */

struct outcome {
    bool failed;
    bool has_sense;
    uint8_t key, asc, ascq;
    bool info_valid;
    uint32_t info;
    unsigned transferred;
};

static void fail(struct outcome* o, uint8_t key, uint8_t asc, uint8_t ascq)
{
    o->failed = true;
    o->has_sense = true;
    o->key = key;
    o->asc = asc;
    o->ascq = ascq;
}

static const char* outcome_text(const struct outcome* o, char* buf, size_t size)
{
    if (!o->failed)
        return "ok";
    if (!o->has_sense)
        return "EIO";
    snprintf(buf, size, "%02X/%02X/%02X", o->key, o->asc, o->ascq);
    return buf;
}

/* Fails O as the drive does when it has no usable medium.  Returns false then. */
static bool medium_ready(struct drive* d, struct outcome* o)
{
    if (d->unit_attention) {
        d->unit_attention = false;
        fail(o, 0x06, 0x28, 0x00);
        return false;
    }
    switch (status_of(d)) {
    case CDS_TRAY_OPEN: fail(o, 0x02, 0x3A, 0x02); return false;
    case CDS_NO_DISC: fail(o, 0x02, 0x3A, 0x01); return false;
    case CDS_DRIVE_NOT_READY: fail(o, 0x02, 0x04, 0x01); return false;
    default: return true;
    }
}

static uint32_t be(const uint8_t* p, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | p[i];
    return v;
}

static void put_be(uint8_t* p, uint32_t v, int n)
{
    for (int i = n - 1; i >= 0; --i, v >>= 8)
        p[i] = (uint8_t)v;
}

static void put_address(uint8_t* p, int32_t lsn, bool msf)
{
    if (!msf) {
        put_be(p, (uint32_t)lsn, 4);
        return;
    }
    int32_t lba = lsn + 150;
    p[0] = 0;
    p[1] = (uint8_t)(lba / (60 * 75));
    p[2] = (uint8_t)(lba / 75 % 60);
    p[3] = (uint8_t)(lba % 75);
}

/* Copies REPLY (LEN bytes) to the caller's buffer, no more than it allows. */
static void reply(struct outcome* o, uint8_t* buf, unsigned buflen, unsigned alloc, const uint8_t* data,
                  unsigned len)
{
    if (len > alloc)
        len = alloc;
    if (len > buflen)
        len = buflen;
    if (buf)
        memcpy(buf, data, len);
    o->transferred = len;
}

/* ---- MMC commands ---- */

static void inquiry(struct drive* d, const uint8_t* cdb, uint8_t* buf, unsigned buflen, struct outcome* o)
{
    fd_sleep_us(d->faults.slow_inquiry_ms * 1000);
    uint8_t data[36] = {0x05, 0x80, 0x05, 0x32, 31};
    memcpy(data + 8, d->faults.vendor, 8);
    memcpy(data + 16, d->faults.model, 16);
    memcpy(data + 32, d->faults.revision, 4);
    reply(o, buf, buflen, be(cdb + 3, 2), data, sizeof data);
    fd_log(d->name, "INQUIRY ok");
}

static bool last_is_second_session(const struct drive* d)
{
    const struct fd_disc* disc = &d->disc;
    return d->faults.cd_extra && disc->n_tracks > 1 && !disc->tracks[disc->n_tracks - 1].audio;
}

static uint8_t adr_control(bool audio) { return (uint8_t)(0x10 | (audio ? 0x00 : 0x04)); }

static unsigned full_toc_entry(uint8_t* p, int session, bool audio, int point, int32_t lsn, int pmin)
{
    memset(p, 0, 11);
    p[0] = (uint8_t)session;
    p[1] = adr_control(audio);
    p[3] = (uint8_t)point;
    if (pmin >= 0) {
        p[8] = (uint8_t)pmin;
    } else {
        uint8_t msf[4];
        put_address(msf, lsn, true);
        memcpy(p + 8, msf + 1, 3);
    }
    return 11;
}

/* READ TOC format 2: the raw TOC, session by session (a CD-Extra disc has
 * the data track in session 2, after the 11400 sectors of lead-out, lead-in
 * and pregap). */
static unsigned full_toc(const struct drive* d, uint8_t* data)
{
    const struct fd_disc* disc = &d->disc;
    int n = disc->n_tracks;
    int split = last_is_second_session(d) ? n - 1 : n; /* tracks of session 1 */
    unsigned len = 4;
    for (int session = 1; session <= (split < n ? 2 : 1); ++session) {
        int from = session == 1 ? 0 : split, to = session == 1 ? split : n;
        const struct fd_track *first = &disc->tracks[from], *last = &disc->tracks[to - 1];
        int32_t leadout = disc->leadout;
        if (to < n) {
            leadout = disc->tracks[to].lsn - 11400;
            if (leadout <= last->lsn)
                leadout = disc->tracks[to].lsn;
        }
        len += full_toc_entry(data + len, session, first->audio, 0xA0, 0, first->number);
        data[len - 2] = session == 2 ? 0x20 : 0x00; /* disc type: CD-DA/CD-ROM or CD-XA */
        len += full_toc_entry(data + len, session, last->audio, 0xA1, 0, last->number);
        len += full_toc_entry(data + len, session, last->audio, 0xA2, leadout, -1);
        for (int i = from; i < to; ++i)
            len += full_toc_entry(data + len, session, disc->tracks[i].audio, disc->tracks[i].number,
                                  disc->tracks[i].lsn, -1);
    }
    data[2] = 1;
    data[3] = split < n ? 2 : 1;
    return len;
}

static void read_toc(struct drive* d, const uint8_t* cdb, uint8_t* buf, unsigned buflen, struct outcome* o)
{
    unsigned format = cdb[2] & 0x0F;
    bool msf = cdb[1] & 0x02;
    if (medium_ready(d, o)) {
        fd_sleep_us(d->faults.slow_toc_ms * 1000);
        const struct fd_disc* disc = &d->disc;
        uint8_t toc[4 + 11 * (FD_MAX_TRACKS + 6)] = {0};
        uint8_t* data = toc;
        uint8_t* text = NULL;
        unsigned len = 4;
        const struct fd_track* last = &disc->tracks[disc->n_tracks - 1];
        data[2] = (uint8_t)disc->tracks[0].number;
        data[3] = (uint8_t)last->number;
        if (format == 0) {
            int from = cdb[6];
            for (int i = 0; i < disc->n_tracks; ++i) {
                if (disc->tracks[i].number < from)
                    continue;
                uint8_t* p = data + len;
                p[1] = adr_control(disc->tracks[i].audio);
                p[2] = (uint8_t)disc->tracks[i].number;
                put_address(p + 4, disc->tracks[i].lsn, msf);
                len += 8;
            }
            if (from > last->number && from != 0xAA) {
                fail(o, 0x05, 0x24, 0x00);
            } else {
                uint8_t* p = data + len;
                p[1] = adr_control(last->audio);
                p[2] = 0xAA;
                put_address(p + 4, disc->leadout, msf);
                len += 8;
            }
        } else if (format == 1) {
            bool two = last_is_second_session(d);
            const struct fd_track* t = two ? last : &disc->tracks[0];
            data[2] = 1;
            data[3] = two ? 2 : 1;
            data[5] = adr_control(t->audio);
            data[6] = (uint8_t)t->number;
            put_address(data + 8, t->lsn, msf);
            len = 12;
        } else if (format == 2) {
            len = full_toc(d, data);
        } else if (format == 5 && (text = malloc(FD_CDTEXT_MAX)) != NULL) {
            data = text;
            len = fd_cdtext_reply(d->tray, disc, &d->faults, text);
        } else {
            fail(o, 0x05, 0x24, 0x00);
        }
        if (!o->failed) {
            put_be(data, len - 2, 2);
            reply(o, buf, buflen, be(cdb + 7, 2), data, len);
        }
        free(text);
    }
    char text[16];
    fd_log(d->name, "READTOC %u %s", format, outcome_text(o, text, sizeof text));
}

static void mode_sense(struct drive* d, const uint8_t* cdb, uint8_t* buf, unsigned buflen, struct outcome* o)
{
    unsigned page = cdb[2] & 0x3F;
    if (d->unit_attention) {
        d->unit_attention = false;
        fail(o, 0x06, 0x28, 0x00);
    } else if (page == 0x2A || page == 0x3F) {
        /* Header without block descriptor, then the CD capabilities page. */
        uint8_t data[8 + 22] = {0};
        uint8_t* p = data + 8;
        p[0] = 0x2A;
        p[1] = 20;
        p[2] = 0x03;            /* reads CD-R, CD-RW */
        p[4] = 0x71;            /* audio play, mode 2 form 1/2, multi-session */
        p[5] = 0x63;            /* CD-DA commands, accurate stream, ISRC, UPC */
        p[6] = 0x29;            /* lock, eject, tray loader */
        put_be(p + 8, 7056, 2); /* 40x */
        put_be(p + 10, 256, 2);
        put_be(p + 12, 2048, 2);
        put_be(p + 14, 7056, 2);
        put_be(data, sizeof data - 2, 2);
        reply(o, buf, buflen, be(cdb + 7, 2), data, sizeof data);
    } else {
        fail(o, 0x05, 0x24, 0x00);
    }
    char text[16];
    fd_log(d->name, "MODESENSE %02X %s", page, outcome_text(o, text, sizeof text));
}

static bool overlaps(const struct fd_range* r, int32_t lsn, int32_t count)
{
    return r->first < lsn + count && r->last >= lsn;
}

/* The faults of the medium itself, checked once the drive is ready. */
static void medium_faults(struct drive* d, int32_t lsn, int32_t count, struct outcome* o)
{
    const struct fd_faults* f = &d->faults;
    bool was_removed = d->removed;
    if (f->remove_after >= 0 && d->reads >= f->remove_after)
        d->removed = true;
    if (f->remove_at >= 0 && f->remove_at >= lsn && f->remove_at < lsn + count)
        d->removed = true;
    ++d->reads;
    if (d->removed) {
        if (!was_removed)
            d->media_event = 3; /* media removal */
        fail(o, 0x02, 0x3A, 0x02);
        return;
    }
    for (int i = 0; i < f->n_eio; ++i)
        if (overlaps(&f->eio[i], lsn, count)) {
            o->failed = true;
            return;
        }
    for (int i = 0; i < f->n_unreadable; ++i) {
        const struct fd_range* r = &f->unreadable[i];
        if (overlaps(r, lsn, count) && (r->failures < 0 || ++d->tries[i] <= r->failures)) {
            fail(o, 0x03, 0x11, 0x00);
            o->info_valid = true;
            o->info = (uint32_t)(r->first > lsn ? r->first : lsn);
            return;
        }
    }
}

/* The parts of a raw Mode 1 sector that READ CD's byte 9 selects: sync,
 * header, user data, EDC/ECC.  A CD-DA sector is all user data. */
struct sector_part {
    unsigned offset, length;
};

static int selected_parts(unsigned flags, bool audio, struct sector_part parts[4])
{
    if (audio)
        return (flags & 0xF8) ? (parts[0] = (struct sector_part){0, FD_SECTOR_BYTES}, 1) : 0;
    int n = 0;
    if (flags & 0x80)
        parts[n++] = (struct sector_part){0, 12};
    if (flags & 0x20)
        parts[n++] = (struct sector_part){12, 4};
    if (flags & 0x10)
        parts[n++] = (struct sector_part){16, 2048};
    if (flags & 0x08)
        parts[n++] = (struct sector_part){2064, 288};
    return n;
}

/* Keeps the selected parts of each of COUNT raw sectors, packed, in place.
 * Returns the bytes kept. */
static unsigned pack_parts(uint8_t* sectors, int32_t count, bool audio, unsigned flags)
{
    struct sector_part parts[4];
    int n = selected_parts(flags, audio, parts);
    unsigned used = 0;
    for (int32_t i = 0; i < count; ++i)
        for (int p = 0; p < n; ++p) {
            memmove(sectors + used, sectors + (size_t)i * FD_SECTOR_BYTES + parts[p].offset, parts[p].length);
            used += parts[p].length;
        }
    return used;
}

/* READ CD (0xBE) by LBA, the MMC address (0 = 00:02:00, libcdio's LSN). */
static void read_cd(struct drive* d, const uint8_t* cdb, uint8_t* buf, unsigned buflen, struct outcome* o)
{
    int32_t lsn = (int32_t)be(cdb + 2, 4);
    int32_t count = (int32_t)be(cdb + 6, 3);
    unsigned type = (cdb[1] >> 2) & 7, flags = cdb[9];
    const struct fd_disc* disc = &d->disc;
    long long started = fd_now_us();
    if (!medium_ready(d, o)) {
    } else if (lsn < 0 || lsn > disc->leadout - count) {
        fail(o, 0x05, 0x21, 0x00); /* logical block address out of range */
    } else if ((cdb[10] & 7) != 0 || (flags & 0x06) != 0) {
        fail(o, 0x05, 0x24, 0x00); /* sub-channel and C2 data are not emulated */
    } else {
        bool audio = false, data = false;
        fd_disc_modes(disc, lsn, count, &audio, &data);
        if ((type == 1 && data) || (type >= 2 && audio) || (audio && data)) {
            fail(o, 0x05, 0x64, 0x00); /* illegal mode for this track */
        } else if (audio && d->faults.no_audio) {
            fail(o, 0x05, 0x24, 0x00);
        } else if (count > 0) {
            medium_faults(d, lsn, count, o);
            long long busy = d->faults.slow_read_ms * 1000 + (long long)count * d->faults.sector_us;
            fd_sleep_us(started + busy - fd_now_us());
        }
        if (!o->failed && count > 0) {
            uint8_t* sectors = malloc((size_t)count * FD_SECTOR_BYTES);
            if (!sectors || !fd_disc_read(disc, lsn, count, sectors)) {
                fail(o, 0x03, 0x11, 0x00);
            } else {
                unsigned bytes = pack_parts(sectors, count, audio, flags);
                reply(o, buf, buflen, bytes, sectors, bytes);
            }
            free(sectors);
        }
    }
    char text[16];
    fd_log(d->name, "READCD %d %d %s", lsn, count, outcome_text(o, text, sizeof text));
}

/* GET EVENT STATUS NOTIFICATION, polled, media class only. */
static void event_status(struct drive* d, const uint8_t* cdb, uint8_t* buf, unsigned buflen,
                         struct outcome* o)
{
    uint8_t data[8] = {0, 2, 0x80, 0x10}; /* no event available; media class supported */
    unsigned len = 4;
    if (!(cdb[1] & 1)) {
        fail(o, 0x05, 0x24, 0x00); /* only polling is emulated */
    } else if (cdb[4] & 0x10) {
        int status = status_of(d);
        data[1] = 6;
        data[2] = 0x04;
        data[4] = d->media_event;
        data[5] = (uint8_t)((status == CDS_TRAY_OPEN ? 0x01 : 0x00) |
                            (status == CDS_DISC_OK || status == CDS_DRIVE_NOT_READY ? 0x02 : 0x00));
        d->media_event = 0;
        len = 8;
    }
    if (!o->failed)
        reply(o, buf, buflen, be(cdb + 7, 2), data, len);
    char text[16];
    fd_log(d->name, "EVENTSTATUS %u %s", data[4], outcome_text(o, text, sizeof text));
}

static void test_unit_ready(struct drive* d, struct outcome* o)
{
    fd_sleep_us(d->faults.slow_status_ms * 1000);
    medium_ready(d, o);
    char text[16];
    fd_log(d->name, "TUR %s", outcome_text(o, text, sizeof text));
}

static void run_packet(struct drive* d, struct cdrom_generic_command* cgc, struct outcome* o)
{
    const uint8_t* cdb = cgc->cmd;
    uint8_t* buf = cgc->buffer;
    unsigned len = cgc->buffer ? cgc->buflen : 0;
    char text[16];
    switch (cdb[0]) {
    case GPCMD_TEST_UNIT_READY: test_unit_ready(d, o); break;
    case GPCMD_INQUIRY: inquiry(d, cdb, buf, len, o); break;
    case GPCMD_READ_CD: read_cd(d, cdb, buf, len, o); break;
    case GPCMD_READ_TOC_PMA_ATIP: read_toc(d, cdb, buf, len, o); break;
    case GPCMD_MODE_SENSE_10: mode_sense(d, cdb, buf, len, o); break;
    case GPCMD_GET_EVENT_STATUS_NOTIFICATION: event_status(d, cdb, buf, len, o); break;
    case GPCMD_SET_SPEED:
    case GPCMD_PREVENT_ALLOW_MEDIUM_REMOVAL:
    case GPCMD_MODE_SELECT_10: fd_log(d->name, "CMD %02X ok", cdb[0]); break;
    default:
        fail(o, 0x05, 0x20, 0x00); /* invalid command operation code */
        fd_log(d->name, "CMD %02X %s", cdb[0], outcome_text(o, text, sizeof text));
        break;
    }
}

/* CDROM_SEND_PACKET as the kernel passes it through: any failure is EIO, the
 * drive's sense data (fixed format) lands in cgc->sense, buflen becomes the
 * residual count. */
static int send_packet(struct drive* d, struct cdrom_generic_command* cgc)
{
    struct outcome o = {0};
    run_packet(d, cgc, &o);
    unsigned len = cgc->buffer ? cgc->buflen : 0;
    if (o.failed && o.has_sense && cgc->sense) {
        uint8_t sense[sizeof(struct request_sense)] = {0};
        sense[0] = (uint8_t)(0x70 | (o.info_valid ? 0x80 : 0));
        sense[2] = o.key;
        put_be(sense + 3, o.info, 4);
        sense[7] = 10;
        sense[12] = o.asc;
        sense[13] = o.ascq;
        memcpy(cgc->sense, sense, sizeof sense);
    }
    cgc->buflen = len - o.transferred;
    cgc->stat = o.failed ? -EIO : 0;
    if (o.failed) {
        errno = EIO;
        return -1;
    }
    return 0;
}

/* ---- the kernel's own CDROM ioctls ---- */

/* The sr driver retries a command while the drive is becoming ready (every
 * 2 s, 10 times) and after a unit attention; no medium is ENOMEDIUM. */
static int kernel_ready(struct drive* d)
{
    for (int retries = 0, attentions = 0;;) {
        if (d->unit_attention && attentions++ < 10) {
            d->unit_attention = false;
            continue;
        }
        int status = status_of(d);
        if (status == CDS_DISC_OK)
            return 0;
        if (status != CDS_DRIVE_NOT_READY || retries++ >= 10)
            return ENOMEDIUM;
        fd_sleep_us(2000000);
        refresh(d);
    }
}

static int toc_header(struct drive* d, struct cdrom_tochdr* h)
{
    int err = kernel_ready(d);
    if (!err) {
        fd_sleep_us(d->faults.slow_toc_ms * 1000);
        h->cdth_trk0 = (uint8_t)d->disc.tracks[0].number;
        h->cdth_trk1 = (uint8_t)d->disc.tracks[d->disc.n_tracks - 1].number;
    }
    fd_log(d->name, "TOCHDR %s", err ? strerrorname_np(err) : "ok");
    return err;
}

static int toc_entry(struct drive* d, struct cdrom_tocentry* e)
{
    int err = kernel_ready(d);
    if (!err) {
        fd_sleep_us(d->faults.slow_toc_ms * 1000);
        const struct fd_disc* disc = &d->disc;
        const struct fd_track* t = NULL;
        for (int i = 0; i < disc->n_tracks; ++i)
            if (disc->tracks[i].number == e->cdte_track)
                t = &disc->tracks[i];
        bool leadout = e->cdte_track == CDROM_LEADOUT;
        if (!t && !leadout) {
            err = EIO; /* the drive rejects the track number: 05/24/00 */
        } else {
            const struct fd_track* last = &disc->tracks[disc->n_tracks - 1];
            int32_t lsn = leadout ? disc->leadout : t->lsn;
            e->cdte_adr = 1;
            e->cdte_ctrl = (leadout ? last->audio : t->audio) ? 0 : CDROM_DATA_TRACK;
            e->cdte_datamode = 0;
            if (e->cdte_format == CDROM_MSF) {
                int32_t lba = lsn + 150;
                e->cdte_addr.msf.minute = (uint8_t)(lba / (60 * 75));
                e->cdte_addr.msf.second = (uint8_t)(lba / 75 % 60);
                e->cdte_addr.msf.frame = (uint8_t)(lba % 75);
            } else {
                e->cdte_format = CDROM_LBA;
                e->cdte_addr.lba = lsn;
            }
        }
    }
    fd_log(d->name, "TOCENTRY %d %s", e->cdte_track, err ? strerrorname_np(err) : "ok");
    return err;
}

/* The kernel answers from what it learned at the last disc change. */
static int multisession(struct drive* d, struct cdrom_multisession* ms)
{
    if (ms->addr_format != CDROM_LBA && ms->addr_format != CDROM_MSF)
        return EINVAL;
    bool two = status_of(d) == CDS_DISC_OK && last_is_second_session(d);
    int32_t lsn = two ? d->disc.tracks[d->disc.n_tracks - 1].lsn : 0;
    ms->xa_flag = two;
    if (ms->addr_format == CDROM_MSF) {
        int32_t lba = lsn + 150;
        ms->addr.msf.minute = (uint8_t)(lba / (60 * 75));
        ms->addr.msf.second = (uint8_t)(lba / 75 % 60);
        ms->addr.msf.frame = (uint8_t)(lba % 75);
    } else {
        ms->addr.lba = lsn;
    }
    fd_log(d->name, "MULTISESSION %d ok", lsn);
    return 0;
}

static int drive_status(struct drive* d)
{
    fd_sleep_us(d->faults.slow_status_ms * 1000);
    d->unit_attention = false; /* TEST UNIT READY in the kernel swallows it */
    int status = status_of(d);
    fd_log(d->name, "STATUS %d", status);
    return status;
}

static int disc_status(struct drive* d)
{
    int err = kernel_ready(d);
    int result = err == ENOMEDIUM ? CDS_NO_DISC : CDS_NO_INFO;
    if (!err) {
        bool audio = false, data = false;
        for (int i = 0; i < d->disc.n_tracks; ++i) {
            audio |= d->disc.tracks[i].audio;
            data |= !d->disc.tracks[i].audio;
        }
        result = audio ? (data ? CDS_MIXED : CDS_AUDIO) : CDS_DATA_1;
    }
    fd_log(d->name, "DISCSTATUS %d", result);
    return result;
}

#define CAPABILITIES                                                                                         \
    (CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MULTI_SESSION | CDC_MCN |            \
     CDC_MEDIA_CHANGED | CDC_PLAY_AUDIO | CDC_RESET | CDC_DRIVE_STATUS | CDC_GENERIC_PACKET | CDC_CD_R |     \
     CDC_CD_RW)

int fd_drive_ioctl(int slot, unsigned long request, void* arg)
{
    struct drive* d = begin(slot);
    if (!d) {
        errno = ENXIO; /* the device went away */
        return -1;
    }
    int result = 0, err = 0;
    switch (request) {
    case CDROM_GET_CAPABILITY:
        result = CAPABILITIES;
        fd_log(d->name, "CAPABILITY ok");
        break;
    case CDROM_DRIVE_STATUS: result = drive_status(d); break;
    case CDROM_DISC_STATUS: result = disc_status(d); break;
    case CDROMREADTOCHDR: err = toc_header(d, arg); break;
    case CDROMREADTOCENTRY: err = toc_entry(d, arg); break;
    case CDROMMULTISESSION: err = multisession(d, arg); break;
    case CDROM_SEND_PACKET: result = send_packet(d, arg); break;
    case SCSI_IOCTL_GET_BUS_NUMBER:
        *(int*)arg = d->minor;
        fd_log(d->name, "BUS ok");
        break;
    case SCSI_IOCTL_GET_IDLUN: {
        int* idlun = arg; /* dev_id: id | lun << 8 | channel << 16 | host << 24 */
        idlun[0] = (int)((unsigned)(d->minor & 0xFF) << 24);
        idlun[1] = d->minor;
        fd_log(d->name, "IDLUN ok");
        break;
    }
    case CDROM_MEDIA_CHANGED:
        result = d->changed_since_asked;
        d->changed_since_asked = false;
        fd_log(d->name, "MEDIACHANGED %d", result);
        break;
    case DVD_READ_STRUCT:
        err = EIO; /* a CD drive: READ DVD STRUCTURE is an invalid command */
        fd_log(d->name, "DVDSTRUCT EIO");
        break;
    case CDROM_LOCKDOOR:
    case CDROM_SELECT_SPEED:
    case CDROM_SET_OPTIONS:
    case CDROM_CLEAR_OPTIONS: fd_log(d->name, "IOCTL %04lX ok", request); break;
    default:
        err = ENOTTY;
        fd_log(d->name, "IOCTL %04lX ENOTTY", request);
        break;
    }
    end(d);
    if (err) {
        errno = err;
        return -1;
    }
    return result;
}

int fd_drive_open_error(int slot, int flags)
{
    struct drive* d = begin(slot);
    if (!d)
        return ENOENT;
    int err = 0;
    if (d->faults.eacces)
        err = EACCES;
    else if (!(flags & O_NONBLOCK) && status_of(d) != CDS_DISC_OK)
        err = ENOMEDIUM;
    else if (!(flags & O_NONBLOCK) && (flags & O_ACCMODE) != O_RDONLY)
        err = EROFS;
    fd_log(d->name, "OPEN %s", err ? strerrorname_np(err) : "ok");
    end(d);
    return err;
}

bool fd_drive_permitted(int slot)
{
    char tray[FD_PATH_MAX], device[FD_PATH_MAX];
    int minor;
    if (!fd_config_drive(slot, tray, &minor, device))
        return false;
    struct fd_faults f;
    load_faults(tray, &f);
    return !f.eacces;
}
