/* The disc's CD-Text, as a drive hands it out for READ TOC format 5: packs
 * of 18 bytes (type, track, sequence number, block and character position,
 * 12 bytes of text, CRC), grouped in language blocks that each end with the
 * three packs of their size information.  The text comes from the tray's
 * cue (TITLE / PERFORMER: one English block) and from a companion file
 * TRAY.cdtext that changes that block or adds further ones (README.md). */
#include "fakedrive.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define PACK 18
#define MAX_BLOCKS 8
#define BLOCK_PACKS 256
#define TEXT_MAX 256 /* bytes of one string, as given */
#define KINDS 2      /* titles (pack type 0x80) and performers (0x81) */
#define FILE_MAX (256 * 1024)

struct block {
    uint8_t language; /* 0x09 English, 0x08 German, ... */
    uint8_t charset;  /* 0x00 ISO-8859-1, 0x01 ASCII, ... */
    bool has_text;
    char text[KINDS][FD_MAX_TRACKS + 1][TEXT_MAX]; /* [kind][0: album, else track number] */
};

struct blocks {
    int count;
    struct block block[MAX_BLOCKS];
};

static struct block* add_block(struct blocks* b, uint8_t language)
{
    if (b->count == MAX_BLOCKS)
        return NULL;
    struct block* block = &b->block[b->count++];
    block->language = language;
    return block;
}

/* Stores VALUE (up to the end of the line, without a CR) as text KIND of
 * track TRACK (0: the album). */
static void set_text(struct block* block, int kind, int track, const char* value, size_t len)
{
    if (!block || track < 0 || track > FD_MAX_TRACKS)
        return;
    while (len > 0 && value[len - 1] == '\r')
        --len;
    if (len >= TEXT_MAX)
        len = TEXT_MAX - 1;
    memcpy(block->text[kind][track], value, len);
    block->text[kind][track][len] = '\0';
    block->has_text |= len > 0;
}

/* The file's text (malloc'd), or NULL. */
static char* read_file(const char* path)
{
    char* text = malloc(FILE_MAX);
    if (text && !fd_read_text(path, text, FILE_MAX)) {
        free(text);
        return NULL;
    }
    return text;
}

/* The cue's TITLE and PERFORMER lines: before the first TRACK the album's,
 * after it the track's.  The text is quoted or runs to the end of the line. */
static void read_cue_text(const char* cue, struct block* block)
{
    char* text = read_file(cue);
    int track = 0;
    for (const char* line = text; line && *line;) {
        size_t len = strcspn(line, "\n");
        const char* p = line + strspn(line, " \t");
        int number;
        if (sscanf(p, "TRACK %d", &number) == 1) {
            track = number;
        } else if (strncmp(p, "TITLE ", 6) == 0 || strncmp(p, "PERFORMER ", 10) == 0) {
            int kind = p[0] == 'T' ? 0 : 1;
            const char* value = p + (kind == 0 ? 6 : 10);
            value += strspn(value, " \t");
            size_t value_len = (size_t)(line + len - value);
            if (*value == '"') {
                const char* close = memchr(value + 1, '"', value_len - 1);
                value_len = close ? (size_t)(close - value - 1) : value_len - 1;
                ++value;
            }
            set_text(block, kind, track, value, value_len);
        }
        line += len;
        if (*line == '\n')
            ++line;
    }
    free(text);
}

/* TRAY.cdtext: KEY=VALUE lines.  block=N starts a block of language N;
 * lines before the first block= apply to the cue's block, block 0. */
static void read_companion(const char* tray, struct blocks* b)
{
    char path[FD_PATH_MAX + 8];
    snprintf(path, sizeof path, "%s.cdtext", tray);
    char* text = read_file(path);
    struct block* block = &b->block[0];
    for (const char* line = text; line && *line;) {
        size_t len = strcspn(line, "\n");
        const char* eq = memchr(line, '=', len);
        const char* value = eq ? eq + 1 : NULL;
        size_t key_len = eq ? (size_t)(eq - line) : 0;
        size_t value_len = eq ? len - key_len - 1 : 0;
        bool hex = value && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
        long number = value ? strtol(value, NULL, hex ? 16 : 10) : 0;
        if (len == 0 || line[0] == '#' || line[0] == '\r') {
        } else if (key_len == 5 && strncmp(line, "block", 5) == 0) {
            if (!(block = add_block(b, (uint8_t)number)))
                fprintf(stderr, "fakedrive: %s: more than %d blocks\n", path, MAX_BLOCKS);
        } else if (!block) {
        } else if (key_len == 8 && strncmp(line, "language", 8) == 0) {
            block->language = (uint8_t)number;
        } else if (key_len == 7 && strncmp(line, "charset", 7) == 0) {
            block->charset = (uint8_t)number;
        } else if (key_len >= 5 && strncmp(line, "title", 5) == 0) {
            set_text(block, 0, key_len == 5 ? 0 : atoi(line + 5), value, value_len);
        } else if (key_len >= 9 && strncmp(line, "performer", 9) == 0) {
            set_text(block, 1, key_len == 9 ? 0 : atoi(line + 9), value, value_len);
        } else {
            fprintf(stderr, "fakedrive: %s: cannot use '%.*s'\n", path, (int)len, line);
        }
        line += len;
        if (*line == '\n')
            ++line;
    }
    free(text);
}

/* Whether the LEN bytes at S are well-formed UTF-8 (overlong forms aside). */
static bool is_utf8(const uint8_t* s, size_t len)
{
    for (size_t i = 0; i < len;) {
        size_t extra = s[i] < 0x80   ? 0
                       : s[i] < 0xC2 ? 9
                       : s[i] < 0xE0 ? 1
                       : s[i] < 0xF0 ? 2
                       : s[i] < 0xF5 ? 3
                                     : 9;
        if (extra == 9 || (extra > 0 && i + extra >= len))
            return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        i += extra + 1;
    }
    return true;
}

/* The bytes of TEXT in the block's character set: UTF-8 becomes ISO-8859-1
 * (what it cannot hold becomes '?'); other character sets, and text that is
 * not UTF-8, go as they are.  Returns the length written to OUT. */
static size_t encode(const char* text, uint8_t charset, uint8_t* out)
{
    const uint8_t* s = (const uint8_t*)text;
    size_t n = 0, len = strlen(text);
    if (charset != 0 || !is_utf8(s, len)) {
        memcpy(out, text, len);
        return len;
    }
    for (size_t i = 0; i < len; ++n) {
        if (s[i] < 0x80) {
            out[n] = s[i++];
        } else if (s[i] < 0xC4) { /* U+0080 .. U+00FF */
            out[n] = (uint8_t)((s[i] & 0x03) << 6 | (s[i + 1] & 0x3F));
            i += 2;
        } else {
            out[n] = '?';
            for (++i; i < len && (s[i] & 0xC0) == 0x80; ++i) {
            }
        }
    }
    return n;
}

/* CRC-16-CCITT (divisor 0x11021), inverted, over the first 16 bytes of a pack. */
static uint16_t pack_crc(const uint8_t* data)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < 16; ++i) {
        crc ^= (uint16_t)(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (uint16_t)(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return (uint16_t)~crc;
}
struct packer {
    uint8_t* out;  /* the packs of the whole reply */
    unsigned used; /* packs in out */
    unsigned start;
    int block;
    int seq;
};

static uint8_t* new_pack(struct packer* p, uint8_t type, uint8_t track, int char_pos)
{
    if (p->seq == BLOCK_PACKS - 3 && type != 0x8F)
        return NULL; /* the block is full: its size information still goes in */
    uint8_t* pack = p->out + (size_t)p->used++ * PACK;
    memset(pack, 0, PACK);
    pack[0] = type;
    pack[1] = track;
    pack[2] = (uint8_t)p->seq++;
    pack[3] = (uint8_t)(p->block << 4 | (char_pos > 15 ? 15 : char_pos));
    return pack;
}

/* The packs of one kind of text: every track's string, NUL-terminated, one
 * after the other in packs of 12 bytes.  Returns the packs written. */
static unsigned pack_texts(struct packer* p, const struct block* block, int kind, const struct fd_disc* disc)
{
    int first = disc->tracks[0].number, last = disc->tracks[disc->n_tracks - 1].number;
    bool any = block->text[kind][0][0] != '\0';
    for (int t = first; t <= last; ++t)
        any |= block->text[kind][t][0] != '\0';
    if (!any)
        return 0;
    unsigned before = p->used;
    uint8_t* pack = NULL;
    int filled = 12;
    for (int t = 0; t <= last; t = t == 0 ? first : t + 1) {
        uint8_t bytes[TEXT_MAX * 4];
        size_t len = encode(block->text[kind][t], block->charset, bytes);
        bytes[len++] = 0;
        for (size_t i = 0; i < len; ++i) {
            if (filled == 12) {
                if (!(pack = new_pack(p, (uint8_t)(0x80 + kind), (uint8_t)t, (int)i)))
                    return p->used - before;
                filled = 0;
            }
            pack[4 + filled++] = bytes[i];
        }
    }
    return p->used - before;
}

/* Builds the reply of READ TOC format 5 into OUT (FD_CDTEXT_MAX bytes):
 * the 4-byte header, then the packs.  Returns its length. */
unsigned fd_cdtext_reply(const char* tray, const struct fd_disc* disc, const struct fd_faults* faults,
                         uint8_t* out)
{
    struct blocks* b = calloc(1, sizeof *b);
    if (!b)
        return 4;
    struct block* cue = add_block(b, 0x09);
    read_cue_text(tray, cue);
    read_companion(tray, b);

    struct packer p = {out + 4, 0, 0, 0, 0};
    struct {
        unsigned start, packs[16];
        int last_seq;
        uint8_t language, charset;
    } done[MAX_BLOCKS] = {{0}};
    int blocks = 0;
    for (int i = 0; i < b->count; ++i) {
        if (!b->block[i].has_text)
            continue; /* a block needs text; numbers close up */
        p.block = blocks;
        p.seq = 0;
        done[blocks].start = p.used;
        for (int kind = 0; kind < KINDS; ++kind)
            done[blocks].packs[kind] = pack_texts(&p, &b->block[i], kind, disc);
        for (int k = 0; k < 3; ++k)
            new_pack(&p, 0x8F, (uint8_t)k, 0);
        done[blocks].packs[15] = 3;
        done[blocks].last_seq = p.seq - 1;
        done[blocks].language = b->block[i].language;
        done[blocks].charset = b->block[i].charset;
        ++blocks;
    }
    free(b);

    /* Size information, the same in every block but for the first bytes. */
    for (int k = 0; k < blocks; ++k) {
        uint8_t info[36] = {0};
        info[0] = done[k].charset;
        info[1] = (uint8_t)disc->tracks[0].number;
        info[2] = (uint8_t)disc->tracks[disc->n_tracks - 1].number;
        for (int t = 0; t < 16; ++t)
            info[4 + t] = (uint8_t)done[k].packs[t];
        for (int other = 0; other < blocks; ++other) {
            info[20 + other] = (uint8_t)done[other].last_seq;
            info[28 + other] = done[other].language;
        }
        uint8_t* size_packs = p.out + (size_t)(done[k].start + (unsigned)done[k].last_seq - 2) * PACK;
        for (int s = 0; s < 3; ++s)
            memcpy(size_packs + s * PACK + 4, info + s * 12, 12);
    }
    for (unsigned i = 0; i < p.used; ++i) {
        uint8_t* pack = p.out + (size_t)i * PACK;
        uint16_t crc = pack_crc(pack);
        for (int f = 0; f < faults->n_bad_crc; ++f)
            if (faults->bad_crc[f] == (long)i)
                crc ^= 0xFFFF;
        pack[16] = (uint8_t)(crc >> 8);
        pack[17] = (uint8_t)crc;
    }
    unsigned len = 4 + p.used * PACK;
    memset(out, 0, 4);
    out[0] = (uint8_t)((len - 2) >> 8);
    out[1] = (uint8_t)(len - 2);
    return len;
}
