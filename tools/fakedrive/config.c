/* FAKEDRIVE / FAKEDRIVE_LINKS and the fault items of a tray's .drive file. */
#include "fakedrive.h"

#include <ctype.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define ENV_MAX 8192

struct slot {
    bool active;
    char device[FD_PATH_MAX];
    char tray[FD_PATH_MAX];
    int minor;
};

struct link {
    char path[FD_PATH_MAX];
    char target[FD_PATH_MAX];
};

/* Guarded by cfg_lock.  Slots are never reused for another device, so a
 * drive's state in drive.c stays with its device name. */
static pthread_mutex_t cfg_lock = PTHREAD_MUTEX_INITIALIZER;
static bool env_seen;
static char drives_env[ENV_MAX];
static char links_env[ENV_MAX];
static struct slot slots[FD_MAX_DRIVES];
static struct link links[FD_MAX_LINKS];
static int n_links;

static void copy_str(char* dst, size_t size, const char* src, size_t len)
{
    if (len >= size)
        len = size - 1;
    memcpy(dst, src, len);
    dst[len] = '\0';
}

static int minor_of(const char* device, int fallback)
{
    size_t len = strlen(device);
    size_t i = len;
    while (i > 0 && isdigit((unsigned char)device[i - 1]))
        --i;
    return i < len ? atoi(device + i) : fallback;
}

static int slot_for(const char* device)
{
    int free_slot = -1;
    for (int i = 0; i < FD_MAX_DRIVES; ++i) {
        if (strcmp(slots[i].device, device) == 0)
            return i;
        if (free_slot < 0 && slots[i].device[0] == '\0')
            free_slot = i;
    }
    return free_slot;
}

/* Calls FN for each ';'-separated "NAME=VALUE" entry of TEXT. */
static void for_each_entry(const char* text, void (*fn)(const char*, size_t, const char*, size_t))
{
    const char* p = text;
    while (*p) {
        const char* end = strchr(p, ';');
        size_t len = end ? (size_t)(end - p) : strlen(p);
        const char* eq = memchr(p, '=', len);
        if (eq && eq > p)
            fn(p, (size_t)(eq - p), eq + 1, len - (size_t)(eq - p) - 1);
        else if (len > 0)
            fprintf(stderr, "fakedrive: ignoring entry '%.*s' (want NAME=VALUE)\n", (int)len, p);
        p += len;
        if (*p == ';')
            ++p;
    }
}

static void add_drive(const char* name, size_t name_len, const char* value, size_t value_len)
{
    char device[FD_PATH_MAX];
    copy_str(device, sizeof device, name, name_len);
    int i = slot_for(device);
    if (i < 0) {
        fprintf(stderr, "fakedrive: too many drives, ignoring %s\n", device);
        return;
    }
    strcpy(slots[i].device, device);
    copy_str(slots[i].tray, sizeof slots[i].tray, value, value_len);
    slots[i].minor = minor_of(device, i);
    slots[i].active = true;
}

static void add_link(const char* name, size_t name_len, const char* value, size_t value_len)
{
    if (n_links == FD_MAX_LINKS)
        return;
    copy_str(links[n_links].path, FD_PATH_MAX, name, name_len);
    copy_str(links[n_links].target, FD_PATH_MAX, value, value_len);
    ++n_links;
}

/* Re-reads the environment if it changed.  Returns false if FAKEDRIVE is unset. */
static bool refresh_locked(void)
{
    const char* drives = getenv("FAKEDRIVE");
    if (!drives) {
        env_seen = false;
        return false;
    }
    const char* link_text = getenv("FAKEDRIVE_LINKS");
    if (!link_text)
        link_text = "";
    if (env_seen && strncmp(drives, drives_env, ENV_MAX - 1) == 0 &&
        strncmp(link_text, links_env, ENV_MAX - 1) == 0)
        return true;
    copy_str(drives_env, ENV_MAX, drives, strlen(drives));
    copy_str(links_env, ENV_MAX, link_text, strlen(link_text));
    env_seen = true;
    for (int i = 0; i < FD_MAX_DRIVES; ++i)
        slots[i].active = false;
    for_each_entry(drives_env, add_drive);
    n_links = 0;
    for_each_entry(links_env, add_link);
    return true;
}

static int active_slot(const char* device)
{
    for (int i = 0; i < FD_MAX_DRIVES; ++i)
        if (slots[i].active && strcmp(slots[i].device, device) == 0)
            return i;
    return -1;
}

static bool digits(const char* s)
{
    if (!*s)
        return false;
    for (; *s; ++s)
        if (!isdigit((unsigned char)*s))
            return false;
    return true;
}

/* The names under which a real machine shows CD drives.  With FAKEDRIVE set
 * the emulated drives are the only ones, so real nodes of these names vanish
 * and a test never depends on the drives of the machine it runs on. */
static bool cd_node_name(const char* path)
{
    static const char* const names[] = {"/dev/cdrom", "/dev/dvd", "/dev/cdrw", "/dev/dvdrw"};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (strcmp(path, names[i]) == 0)
            return true;
    return (strncmp(path, "/dev/sr", 7) == 0 && digits(path + 7)) ||
           (strncmp(path, "/dev/scd", 8) == 0 && digits(path + 8));
}

static const char* link_text_for(const char* link, const char* target)
{
    const char* slash = strrchr(link, '/');
    size_t dir_len = slash ? (size_t)(slash - link + 1) : 0;
    if (dir_len > 0 && strncmp(link, target, dir_len) == 0 && !strchr(target + dir_len, '/'))
        return target + dir_len; /* udev writes "cdrom -> sr0" */
    return target;
}

bool fd_config_lookup(const char* path, struct fd_lookup* out)
{
    if (!path || strncmp(path, "/dev/", 5) != 0)
        return false; /* the fast path for every other file */
    pthread_mutex_lock(&cfg_lock);
    bool ours = false;
    if (refresh_locked()) {
        memset(out, 0, sizeof *out);
        out->drive = -1;
        const char* device = path;
        for (int i = 0; i < n_links; ++i)
            if (strcmp(links[i].path, path) == 0) {
                out->is_link = true;
                device = links[i].target;
                strcpy(out->link_text, link_text_for(path, device));
                break;
            }
        int slot = active_slot(device);
        if (slot >= 0) {
            out->drive = slot;
            strcpy(out->target, slots[slot].device);
            strcpy(out->tray, slots[slot].tray);
            out->minor = slots[slot].minor;
        }
        out->hidden = slot < 0 && !out->is_link && cd_node_name(path);
        ours = out->is_link || slot >= 0 || out->hidden;
    }
    pthread_mutex_unlock(&cfg_lock);
    return ours;
}

bool fd_config_drive(int slot, char* tray, int* minor, char* device)
{
    pthread_mutex_lock(&cfg_lock);
    bool active = refresh_locked() && slot >= 0 && slot < FD_MAX_DRIVES && slots[slot].active;
    if (active) {
        strcpy(tray, slots[slot].tray);
        strcpy(device, slots[slot].device);
        *minor = slots[slot].minor;
    }
    pthread_mutex_unlock(&cfg_lock);
    return active;
}

/* ---- fault items ---- */

static void pad(char* dst, size_t width, const char* src)
{
    size_t len = strlen(src);
    if (len > width)
        len = width;
    memcpy(dst, src, len);
    memset(dst + len, ' ', width - len);
    dst[width] = '\0';
}

void fd_faults_default(struct fd_faults* f)
{
    memset(f, 0, sizeof *f);
    f->remove_at = -1;
    f->remove_after = -1;
    pad(f->vendor, 8, "ACME");
    pad(f->model, 16, "CDR-4711");
    pad(f->revision, 4, "1.02");
}

static bool parse_long(const char* text, long* out)
{
    char* end;
    if (!isdigit((unsigned char)*text))
        return false;
    *out = strtol(text, &end, 10);
    return *end == '\0';
}

/* "A-B" or "A-BxN" */
static bool parse_range(const char* text, struct fd_range* r, bool with_tries)
{
    char* end;
    if (!isdigit((unsigned char)*text))
        return false;
    long first = strtol(text, &end, 10);
    if (*end != '-' || !isdigit((unsigned char)end[1]))
        return false;
    long last = strtol(end + 1, &end, 10);
    long tries = -1;
    if (with_tries && *end == 'x') {
        if (!isdigit((unsigned char)end[1]))
            return false;
        tries = strtol(end + 1, &end, 10);
    }
    if (*end != '\0' || last < first)
        return false;
    r->first = (int32_t)first;
    r->last = (int32_t)last;
    r->failures = (int)tries;
    return true;
}

static bool parse_item(const char* item, struct fd_faults* f)
{
    static const struct {
        const char* name;
        size_t offset;
    } flags[] = {
        {"no-disc", offsetof(struct fd_faults, no_disc)},
        {"tray-open", offsetof(struct fd_faults, tray_open)},
        {"medium-changed", offsetof(struct fd_faults, medium_changed)},
        {"eacces", offsetof(struct fd_faults, eacces)},
        {"no-audio", offsetof(struct fd_faults, no_audio)},
        {"cd-extra", offsetof(struct fd_faults, cd_extra)},
    };
    static const struct {
        const char* name;
        size_t offset;
    } numbers[] = {
        {"becoming-ready=", offsetof(struct fd_faults, becoming_ready_ms)},
        {"slow-read=", offsetof(struct fd_faults, slow_read_ms)},
        {"slow-toc=", offsetof(struct fd_faults, slow_toc_ms)},
        {"slow-inquiry=", offsetof(struct fd_faults, slow_inquiry_ms)},
        {"slow-status=", offsetof(struct fd_faults, slow_status_ms)},
        {"sector-us=", offsetof(struct fd_faults, sector_us)},
        {"remove-after=", offsetof(struct fd_faults, remove_after)},
    };
    char* base = (char*)f;
    for (size_t i = 0; i < sizeof flags / sizeof flags[0]; ++i)
        if (strcmp(item, flags[i].name) == 0) {
            *(bool*)(base + flags[i].offset) = true;
            return true;
        }
    for (size_t i = 0; i < sizeof numbers / sizeof numbers[0]; ++i) {
        size_t len = strlen(numbers[i].name);
        if (strncmp(item, numbers[i].name, len) == 0)
            return parse_long(item + len, (long*)(base + numbers[i].offset));
    }
    long value;
    if (strncmp(item, "remove-at=", 10) == 0 && parse_long(item + 10, &value)) {
        f->remove_at = (int32_t)value;
        return true;
    }
    struct fd_range range;
    if (strncmp(item, "unreadable=", 11) == 0) {
        if (f->n_unreadable == FD_MAX_RANGES || !parse_range(item + 11, &range, true))
            return false;
        f->unreadable[f->n_unreadable++] = range;
        return true;
    }
    if (strncmp(item, "eio=", 4) == 0) {
        if (f->n_eio == FD_MAX_RANGES || !parse_range(item + 4, &range, false))
            return false;
        f->eio[f->n_eio++] = range;
        return true;
    }
    if (strncmp(item, "cdtext-bad-crc=", 15) == 0) {
        if (f->n_bad_crc == FD_MAX_RANGES || !parse_long(item + 15, &value))
            return false;
        f->bad_crc[f->n_bad_crc++] = value;
        return true;
    }
    if (strncmp(item, "vendor=", 7) == 0)
        pad(f->vendor, 8, item + 7);
    else if (strncmp(item, "model=", 6) == 0)
        pad(f->model, 16, item + 6);
    else if (strncmp(item, "revision=", 9) == 0)
        pad(f->revision, 4, item + 9);
    else
        return false;
    return true;
}

void fd_faults_parse(const char* text, const char* origin, struct fd_faults* f)
{
    fd_faults_default(f);
    const char* p = text;
    while (*p) {
        size_t skip = strspn(p, ", \t\r\n");
        p += skip;
        size_t len = strcspn(p, ", \t\r\n");
        if (len == 0)
            break;
        char item[128];
        copy_str(item, sizeof item, p, len);
        if (!parse_item(item, f))
            fprintf(stderr, "fakedrive: %s: cannot use fault item '%s'\n", origin, item);
        p += len;
    }
}
