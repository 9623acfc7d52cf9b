#!/usr/bin/env bash
# MP3 rip of a 20-minute track (128 kbit/s CBR stereo, CRC, the encoder's
# defaults) against the lame command line encoding the same PCM from a WAV
# file already on disk. Goal: ratio <= 1.03 (reading ahead hides the extraction).
source "$(dirname "$0")/lib.sh"
require riptrack mkdiscimage cd-paranoia lame

cue=$(make_image rip20 "audio:20m:counter audio:1m:sine")
export CDRIP_IMAGES=$cue
drive=$(virtual_drive "$cue")
[ -f "$WORK/cdp.wav" ] ||
    cd-paranoia -d "$cue" 1 "$WORK/cdp.wav" 2>/dev/null

# The rip encodes whole chunks of 1152 frames and drops the remainder at the
# end, so lame gets exactly that PCM: the track cut to whole chunks.
pcm_bytes=$(($(stat -c %s "$WORK/cdp.wav") - 44))
chunked=$((pcm_bytes / 4608 * 4608))
{
    wav_header "$chunked"
    tail -c +45 "$WORK/cdp.wav" | head -c "$chunked"
} >"$WORK/lame-in.wav"

echo "MP3 rip, 20-minute track ($(basename "$cue"), drive $drive)"
compare "rip to MP3 vs lame on a WAV" 1.03 \
    "$BIN/riptrack --drive $drive --mp3 1 $WORK/rip.mp3" \
    "lame --quiet -m s -b 128 -p -o -t $WORK/lame-in.wav $WORK/lame.mp3"
if cmp -s "$WORK/rip.mp3" "$WORK/lame.mp3"; then
    echo "MP3 byte-identical to lame's: yes"
else
    echo "MP3 byte-identical to lame's: no ($(stat -c %s "$WORK/rip.mp3") vs $(stat -c %s "$WORK/lame.mp3") bytes)"
fi
