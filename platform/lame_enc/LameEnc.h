/* liblame_enc: our LAME_ENC over libmp3lame.  The five calls are declared in
 * Lame_dll.h; this header says how this library reads the configuration
 * record and what it reports.
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
 * The handle table is locked; one stream must not be used by two threads at
 * the same time.
 */
#ifndef LAME_ENC_H
#define LAME_ENC_H

#include "Lame_dll.h"

/* Version of this interface layer, bytes 0 and 1 of the version record. */
#define LAME_ENC_DLL_MAJOR 1
#define LAME_ENC_DLL_MINOR 0

#endif /* LAME_ENC_H */
