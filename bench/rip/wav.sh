#!/usr/bin/env bash
# WAV rip of a 20-minute track: riptrack against cd-paranoia on the same image,
# jitter correction on (paranoia full mode) and off (cd-paranoia -Z).
# Goal: riptrack takes at most as long (ratio <= 1.0).
source "$(dirname "$0")/lib.sh"
require riptrack mkdiscimage cd-paranoia

cue=$(make_image rip20 "audio:20m:counter audio:1m:sine")
export CDRIP_IMAGES=$cue
drive=$(virtual_drive "$cue")
rip="$BIN/riptrack --drive $drive --wav"
cdp="cd-paranoia -d $cue 1"

echo "WAV rip, 20-minute track ($(basename "$cue"), drive $drive)"
compare "jitter correction vs cd-paranoia" 1.0 \
    "$rip 1 $WORK/rip.wav" "$cdp $WORK/cdp.wav"
compare "no jitter correction vs cd-paranoia -Z" 1.0 \
    "$rip --no-jitter-correct 1 $WORK/rip-z.wav" "$cdp -Z $WORK/cdp-z.wav"
echo "same PCM as cd-paranoia: $(same_pcm "$WORK/rip.wav" "$WORK/cdp.wav") (jitter on)," \
     "$(same_pcm "$WORK/rip-z.wav" "$WORK/cdp-z.wav") (off)"
rm -f "$WORK"/rip.wav "$WORK"/rip-z.wav "$WORK"/cdp-z.wav
