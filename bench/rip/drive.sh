#!/usr/bin/env bash
# The encoder hidden behind the drive: a 5-minute track on an emulated drive
# read at 40x (333 us per sector, the drive emulator under riptrack), ripped
# to MP3, against the longer of the WAV rip of the same track and `lame`
# encoding its PCM from a WAV file on disk. Reading ahead while encoding, the
# MP3 rip should take hardly longer than the slower of the two.
# Goal: MP3 rip <= 1.05 x max(WAV rip, lame).
# Settings (besides lib.sh's): DRIVE_SECTOR_US (333), DRIVE_TRACK (5m).
source "$(dirname "$0")/lib.sh"
require riptrack mkdiscimage lame
emulator=$BIN/libfakedrive.so
[ -f "$emulator" ] || die "$emulator is missing: cmake --build $BUILD --target fakedrive"

sector_us=${DRIVE_SECTOR_US:-333}
cue=$(make_image drive "audio:${DRIVE_TRACK:-5m}:noise=5 audio:10s:noise=6")
printf 'sector-us=%s\n' "$sector_us" >"$cue.drive"
# riptrack sees /dev/sr0 and no virtual drives; lame runs without the emulator.
unset CDRIP_IMAGES CDRIP_IMAGES_ONLY
on_drive="env LD_PRELOAD=$emulator FAKEDRIVE=/dev/sr0=$cue"
line=$($on_drive "$BIN/riptrack" --list 2>/dev/null | grep -F -m1 "(/dev/sr0)" || true)
[[ $line =~ ([0-9]+) ]] || die "riptrack --list under the emulator does not show /dev/sr0"
drive=${RIP_DRIVE:-${BASH_REMATCH[1]}}
rip="$on_drive $BIN/riptrack --drive $drive"

# lame gets the PCM the MP3 rip encodes: the track cut to whole chunks of
# 1152 frames (the rip drops the remainder).
$rip --wav 1 "$WORK/drive.wav" 2>/dev/null || die "WAV rip on the emulated drive failed"
pcm_bytes=$(($(stat -c %s "$WORK/drive.wav") - 44))
chunked=$((pcm_bytes / 4608 * 4608))
{
    wav_header "$chunked"
    tail -c +45 "$WORK/drive.wav" | head -c "$chunked"
} >"$WORK/drive-lame-in.wav"

log=$WORK/drive.times
echo "MP3 rip on an emulated drive at $sector_us us per sector ($(basename "$cue"), track 1, $((pcm_bytes / 2352)) sectors)"
rotate "$log" \
    "mp3=$rip --mp3 1 $WORK/drive.mp3" \
    "wav=$rip --wav 1 $WORK/drive.wav" \
    "lame=lame --quiet -m s -b 128 -p -o -t $WORK/drive-lame-in.wav $WORK/drive-lame.mp3"
mp3=$(median_of "$log" mp3)
wav=$(median_of "$log" wav)
lame=$(median_of "$log" lame)
awk -v m="$mp3" -v w="$wav" -v l="$lame" -v runs="$RUNS" 'BEGIN {
    peer = (w > l) ? w : l
    r = m / peer
    printf "MP3 rip %.3f s   WAV rip %.3f s   lame %.3f s   ratio to the longer %.3f (goal <= 1.05: %s)   median of %d\n",
           m / 1e9, w / 1e9, l / 1e9, r, (r <= 1.05 ? "met" : "MISSED"), runs
}'
if cmp -s "$WORK/drive.mp3" "$WORK/drive-lame.mp3"; then
    echo "MP3 byte-identical to lame's: yes"
else
    echo "MP3 byte-identical to lame's: no ($(stat -c %s "$WORK/drive.mp3") vs $(stat -c %s "$WORK/drive-lame.mp3") bytes)"
fi
rm -f "$WORK/drive.wav" "$WORK/drive.mp3" "$WORK/drive-lame.mp3"
