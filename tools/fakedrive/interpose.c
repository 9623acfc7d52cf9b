/* The libc calls libcdio makes on a drive, answered for the emulated device
 * nodes and passed on to libc for everything else.  A descriptor of an
 * emulated drive is a real one (a memfd), so close, dup and fork work; a
 * table maps it to its drive, checked against the memfd's inode so that a
 * descriptor closed behind our back is never mistaken for a drive. */
#include "fakedrive.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>
#include <unistd.h>

/* ---- the next definitions of the calls we replace ---- */

#define NEXT(name, type)                                                                                     \
    static type next_##name(void)                                                                            \
    {                                                                                                        \
        static type fn;                                                                                      \
        type f = __atomic_load_n(&fn, __ATOMIC_ACQUIRE);                                                     \
        if (!f) {                                                                                            \
            void* p = dlsym(RTLD_NEXT, #name);                                                               \
            memcpy(&f, &p, sizeof f); /* POSIX: object to function pointer */                                \
            __atomic_store_n(&fn, f, __ATOMIC_RELEASE);                                                      \
        }                                                                                                    \
        return f;                                                                                            \
    }

typedef int (*stat_fn)(const char*, struct stat*);
typedef int (*fstat_fn)(int, struct stat*);
typedef int (*fstatat_fn)(int, const char*, struct stat*, int);
typedef int (*xstat_fn)(int, const char*, struct stat*);
typedef int (*fxstat_fn)(int, int, struct stat*);
typedef int (*fxstatat_fn)(int, int, const char*, struct stat*, int);
typedef int (*statx_fn)(int, const char*, int, unsigned, struct statx*);
typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);
typedef int (*close_fn)(int);
typedef int (*dup_fn)(int);
typedef int (*dup2_fn)(int, int);
typedef int (*dup3_fn)(int, int, int);
typedef int (*access_fn)(const char*, int);
typedef int (*faccessat_fn)(int, const char*, int, int);
typedef ssize_t (*readlink_fn)(const char*, char*, size_t);
typedef ssize_t (*readlinkat_fn)(int, const char*, char*, size_t);
typedef char* (*realpath_fn)(const char*, char*);
typedef int (*ioctl_fn)(int, unsigned long, ...);

NEXT(stat, stat_fn)
NEXT(lstat, stat_fn)
NEXT(fstat, fstat_fn)
NEXT(fstatat, fstatat_fn)
NEXT(__xstat, xstat_fn)
NEXT(__lxstat, xstat_fn)
NEXT(__fxstat, fxstat_fn)
NEXT(__fxstatat, fxstatat_fn)
NEXT(statx, statx_fn)
NEXT(open, open_fn)
NEXT(openat, openat_fn)
NEXT(close, close_fn)
NEXT(dup, dup_fn)
NEXT(dup2, dup2_fn)
NEXT(dup3, dup3_fn)
NEXT(access, access_fn)
NEXT(faccessat, faccessat_fn)
NEXT(readlink, readlink_fn)
NEXT(readlinkat, readlinkat_fn)
NEXT(realpath, realpath_fn)
NEXT(ioctl, ioctl_fn)

int fd_real_open(const char* path, int flags, int mode) { return next_open()(path, flags, mode); }
int fd_real_close(int fd) { return next_close()(fd); }
int fd_real_stat(const char* path, struct stat* st) { return next_stat()(path, st); }
int fd_real_lstat(const char* path, struct stat* st) { return next_lstat()(path, st); }
int fd_real_fstat(int fd, struct stat* st) { return next_fstat()(fd, st); }
char* fd_real_realpath(const char* path, char* resolved) { return next_realpath()(path, resolved); }

/* ---- descriptors of emulated drives ---- */

#define MAX_FDS 256

struct open_drive {
    int fd;
    int slot;
    ino_t ino;
};

static pthread_mutex_t fd_lock = PTHREAD_MUTEX_INITIALIZER;
static struct open_drive fds[MAX_FDS];
static int n_fds; /* read without the lock as a fast path */

static void forget_locked(int fd)
{
    for (int i = 0; i < n_fds; ++i)
        if (fds[i].fd == fd) {
            fds[i] = fds[n_fds - 1];
            __atomic_store_n(&n_fds, n_fds - 1, __ATOMIC_RELEASE);
            return;
        }
}

/* Returns false when the table is full. */
static bool remember(int fd, int slot, ino_t ino)
{
    pthread_mutex_lock(&fd_lock);
    forget_locked(fd);
    bool room = n_fds < MAX_FDS;
    if (room) {
        fds[n_fds] = (struct open_drive){fd, slot, ino};
        __atomic_store_n(&n_fds, n_fds + 1, __ATOMIC_RELEASE);
    }
    pthread_mutex_unlock(&fd_lock);
    return room;
}

static void forget(int fd)
{
    if (__atomic_load_n(&n_fds, __ATOMIC_ACQUIRE) == 0)
        return;
    pthread_mutex_lock(&fd_lock);
    forget_locked(fd);
    pthread_mutex_unlock(&fd_lock);
}

/* The drive slot behind FD, or -1. */
static int drive_of(int fd, ino_t* ino)
{
    if (fd < 0 || __atomic_load_n(&n_fds, __ATOMIC_ACQUIRE) == 0)
        return -1;
    int slot = -1;
    pthread_mutex_lock(&fd_lock);
    for (int i = 0; i < n_fds; ++i)
        if (fds[i].fd == fd) {
            struct stat st;
            if (next_fstat()(fd, &st) == 0 && st.st_ino == fds[i].ino) {
                slot = fds[i].slot;
                if (ino)
                    *ino = fds[i].ino;
            } else {
                forget_locked(fd);
            }
            break;
        }
    pthread_mutex_unlock(&fd_lock);
    return slot;
}

/* ---- what the file system shows ---- */

/* Only absolute paths can name a device node of ours; relative ones and
 * descriptor-relative calls go to libc. */
static bool is_absolute(const char* path) { return path && path[0] == '/'; }
static bool is_empty(const char* path) { return path && path[0] == '\0'; }

static void device_stat(const struct fd_lookup* l, struct stat* st)
{
    memset(st, 0, sizeof *st);
    st->st_dev = makedev(0, 5); /* devtmpfs */
    st->st_ino = 0xFD00 + (ino_t)l->drive;
    st->st_mode = S_IFBLK | 0660;
    st->st_nlink = 1;
    st->st_uid = 0;
    st->st_gid = 24; /* cdrom */
    st->st_rdev = makedev(FD_CD_MAJOR, (unsigned)l->minor);
    st->st_blksize = 2048;
}

static void link_stat(const struct fd_lookup* l, struct stat* st)
{
    memset(st, 0, sizeof *st);
    st->st_dev = makedev(0, 5);
    st->st_ino = 0xFE00 + (ino_t)l->drive;
    st->st_mode = S_IFLNK | 0777;
    st->st_nlink = 1;
    st->st_size = (off_t)strlen(l->link_text);
    st->st_blksize = 4096;
}

/* Answers a stat of PATH if it is ours: 0 or -1 with errno.  Returns 1 if
 * the call belongs to libc. */
static int fake_stat(const char* path, struct stat* st, bool follow)
{
    struct fd_lookup l;
    if (!fd_config_lookup(path, &l))
        return 1;
    if (l.is_link && !follow) {
        link_stat(&l, st);
        return 0;
    }
    if (l.drive < 0) {
        errno = ENOENT;
        return -1;
    }
    device_stat(&l, st);
    return 0;
}

static int fake_fstat(int fd, struct stat* st)
{
    struct fd_lookup l;
    memset(&l, 0, sizeof l);
    l.drive = drive_of(fd, NULL);
    if (l.drive < 0)
        return 1;
    char tray[FD_PATH_MAX], device[FD_PATH_MAX];
    if (!fd_config_drive(l.drive, tray, &l.minor, device)) {
        errno = ENXIO;
        return -1;
    }
    device_stat(&l, st);
    return 0;
}

int stat(const char* path, struct stat* st)
{
    int r = fake_stat(path, st, true);
    return r <= 0 ? r : next_stat()(path, st);
}

int lstat(const char* path, struct stat* st)
{
    int r = fake_stat(path, st, false);
    return r <= 0 ? r : next_lstat()(path, st);
}

int fstat(int fd, struct stat* st)
{
    int r = fake_fstat(fd, st);
    return r <= 0 ? r : next_fstat()(fd, st);
}

int fstatat(int dirfd, const char* path, struct stat* st, int flags)
{
    int r = 1;
    if (is_empty(path) && (flags & AT_EMPTY_PATH))
        r = fake_fstat(dirfd, st);
    else if (is_absolute(path))
        r = fake_stat(path, st, !(flags & AT_SYMLINK_NOFOLLOW));
    return r <= 0 ? r : next_fstatat()(dirfd, path, st, flags);
}

/* Binaries built against glibc before 2.33 call these. */
int __xstat(int ver, const char* path, struct stat* st)
{
    int r = fake_stat(path, st, true);
    return r <= 0 ? r : next___xstat()(ver, path, st);
}

int __lxstat(int ver, const char* path, struct stat* st)
{
    int r = fake_stat(path, st, false);
    return r <= 0 ? r : next___lxstat()(ver, path, st);
}

int __fxstat(int ver, int fd, struct stat* st)
{
    int r = fake_fstat(fd, st);
    return r <= 0 ? r : next___fxstat()(ver, fd, st);
}

int __fxstatat(int ver, int dirfd, const char* path, struct stat* st, int flags)
{
    int r = 1;
    if (is_absolute(path))
        r = fake_stat(path, st, !(flags & AT_SYMLINK_NOFOLLOW));
    return r <= 0 ? r : next___fxstatat()(ver, dirfd, path, st, flags);
}

/* On x86-64 the 64-bit variants share the layout of struct stat. */
int stat64(const char* path, struct stat64* st) { return stat(path, (struct stat*)st); }
int lstat64(const char* path, struct stat64* st) { return lstat(path, (struct stat*)st); }
int fstat64(int fd, struct stat64* st) { return fstat(fd, (struct stat*)st); }
int fstatat64(int dirfd, const char* path, struct stat64* st, int flags)
{
    return fstatat(dirfd, path, (struct stat*)st, flags);
}
int __xstat64(int ver, const char* path, struct stat64* st) { return __xstat(ver, path, (struct stat*)st); }
int __lxstat64(int ver, const char* path, struct stat64* st) { return __lxstat(ver, path, (struct stat*)st); }
int __fxstat64(int ver, int fd, struct stat64* st) { return __fxstat(ver, fd, (struct stat*)st); }
int __fxstatat64(int ver, int dirfd, const char* path, struct stat64* st, int flags)
{
    return __fxstatat(ver, dirfd, path, (struct stat*)st, flags);
}

/* Qt and newer code ask statx. */
int statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out)
{
    struct stat st;
    int r = 1;
    if (is_empty(path) && (flags & AT_EMPTY_PATH))
        r = fake_fstat(dirfd, &st);
    else if (is_absolute(path))
        r = fake_stat(path, &st, !(flags & AT_SYMLINK_NOFOLLOW));
    if (r > 0)
        return next_statx()(dirfd, path, flags, mask, out);
    if (r < 0)
        return r;
    memset(out, 0, sizeof *out);
    out->stx_mask = STATX_BASIC_STATS;
    out->stx_blksize = (uint32_t)st.st_blksize;
    out->stx_nlink = (uint32_t)st.st_nlink;
    out->stx_uid = st.st_uid;
    out->stx_gid = st.st_gid;
    out->stx_mode = (uint16_t)st.st_mode;
    out->stx_ino = st.st_ino;
    out->stx_size = (uint64_t)st.st_size;
    out->stx_rdev_major = major(st.st_rdev);
    out->stx_rdev_minor = minor(st.st_rdev);
    out->stx_dev_major = major(st.st_dev);
    out->stx_dev_minor = minor(st.st_dev);
    return 0;
}

/* ---- open and friends ---- */

/* Opens PATH if it is ours: an fd, or -1 with errno.  Returns -2 if the call
 * belongs to libc. */
static int fake_open(const char* path, int flags)
{
    struct fd_lookup l;
    if (!fd_config_lookup(path, &l))
        return -2;
    if (l.is_link && (flags & O_NOFOLLOW)) {
        errno = ELOOP;
        return -1;
    }
    if (l.drive < 0) {
        errno = ENOENT;
        return -1;
    }
    int err = fd_drive_open_error(l.drive, flags);
    if (err) {
        errno = err;
        return -1;
    }
    int fd = memfd_create(l.target, (flags & O_CLOEXEC) ? MFD_CLOEXEC : 0);
    if (fd < 0)
        return -1;
    struct stat st;
    if (next_fstat()(fd, &st) != 0 || !remember(fd, l.drive, st.st_ino)) {
        next_close()(fd);
        errno = EMFILE;
        return -1;
    }
    return fd;
}

static int mode_arg(int flags, va_list ap) { return (flags & (O_CREAT | __O_TMPFILE)) ? va_arg(ap, int) : 0; }

int open(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    int fd = fake_open(path, flags);
    return fd != -2 ? fd : next_open()(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    int fd = is_absolute(path) ? fake_open(path, flags) : -2;
    return fd != -2 ? fd : next_openat()(dirfd, path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    return open(path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    return openat(dirfd, path, flags, mode);
}

/* The _FORTIFY_SOURCE entry points. */
int __open_2(const char* path, int flags) { return open(path, flags); }
int __open64_2(const char* path, int flags) { return open(path, flags); }
int __openat_2(int dirfd, const char* path, int flags) { return openat(dirfd, path, flags); }
int __openat64_2(int dirfd, const char* path, int flags) { return openat(dirfd, path, flags); }

int close(int fd)
{
    forget(fd);
    return next_close()(fd);
}

int dup(int fd)
{
    ino_t ino;
    int slot = drive_of(fd, &ino);
    int copy = next_dup()(fd);
    if (copy >= 0 && slot >= 0 && !remember(copy, slot, ino)) {
        next_close()(copy);
        errno = EMFILE;
        return -1;
    }
    return copy;
}

static int after_dup(int oldfd, int newfd, int result, int slot, ino_t ino)
{
    if (result >= 0 && oldfd != newfd) {
        forget(newfd);
        if (slot >= 0)
            remember(newfd, slot, ino); /* a full table leaves NEWFD a plain descriptor */
    }
    return result;
}

int dup2(int oldfd, int newfd)
{
    ino_t ino = 0;
    int slot = drive_of(oldfd, &ino);
    return after_dup(oldfd, newfd, next_dup2()(oldfd, newfd), slot, ino);
}

int dup3(int oldfd, int newfd, int flags)
{
    ino_t ino = 0;
    int slot = drive_of(oldfd, &ino);
    return after_dup(oldfd, newfd, next_dup3()(oldfd, newfd, flags), slot, ino);
}

/* ---- access, links, real paths ---- */

/* 0 / -1 with errno for a path of ours; 1 for libc. */
static int fake_access(const char* path, int mode)
{
    struct fd_lookup l;
    if (!fd_config_lookup(path, &l))
        return 1;
    if (l.drive < 0) {
        errno = ENOENT;
        return -1;
    }
    if ((mode & X_OK) || ((mode & (R_OK | W_OK)) && !fd_drive_permitted(l.drive))) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

int access(const char* path, int mode)
{
    int r = fake_access(path, mode);
    return r <= 0 ? r : next_access()(path, mode);
}

int faccessat(int dirfd, const char* path, int mode, int flags)
{
    int r = is_absolute(path) ? fake_access(path, mode) : 1;
    return r <= 0 ? r : next_faccessat()(dirfd, path, mode, flags);
}

int euidaccess(const char* path, int mode) { return faccessat(AT_FDCWD, path, mode, AT_EACCESS); }
int eaccess(const char* path, int mode) { return faccessat(AT_FDCWD, path, mode, AT_EACCESS); }

/* Bytes copied, or -1 with errno, for a path of ours; -2 for libc. */
static ssize_t fake_readlink(const char* path, char* buf, size_t size)
{
    struct fd_lookup l;
    if (!fd_config_lookup(path, &l))
        return -2;
    if (!l.is_link) {
        errno = l.drive >= 0 ? EINVAL : ENOENT;
        return -1;
    }
    size_t len = strlen(l.link_text);
    if (len > size)
        len = size;
    memcpy(buf, l.link_text, len);
    return (ssize_t)len;
}

ssize_t readlink(const char* path, char* buf, size_t size)
{
    ssize_t r = fake_readlink(path, buf, size);
    return r != -2 ? r : next_readlink()(path, buf, size);
}

ssize_t readlinkat(int dirfd, const char* path, char* buf, size_t size)
{
    ssize_t r = is_absolute(path) ? fake_readlink(path, buf, size) : -2;
    return r != -2 ? r : next_readlinkat()(dirfd, path, buf, size);
}

ssize_t __readlink_chk(const char* path, char* buf, size_t size, size_t buflen)
{
    if (size > buflen)
        abort(); /* what the fortified libc does on a buffer overflow */
    return readlink(path, buf, size);
}

/* libc resolves links with internal calls we cannot see, so a path of ours
 * is answered here outright. */
char* realpath(const char* path, char* resolved)
{
    struct fd_lookup l;
    if (!fd_config_lookup(path, &l))
        return next_realpath()(path, resolved);
    if (l.drive < 0) {
        errno = ENOENT;
        return NULL;
    }
    if (!resolved)
        return strdup(l.target);
    strcpy(resolved, l.target);
    return resolved;
}

char* canonicalize_file_name(const char* path) { return realpath(path, NULL); }

char* __realpath_chk(const char* path, char* resolved, size_t resolvedlen)
{
    if (resolvedlen < PATH_MAX)
        abort();
    return realpath(path, resolved);
}

/* ---- ioctl ---- */

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    int slot = drive_of(fd, NULL);
    if (slot < 0)
        return next_ioctl()(fd, request, arg);
    return fd_drive_ioctl(slot, request, arg);
}
