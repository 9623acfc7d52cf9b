#!/usr/bin/env bash
# Peak resident memory of riptrack for a 74-minute track against a 5-minute
# one (GNU time, %M). Goal: flat, and at most 20 MB.
#   MODES  output kinds to measure (default: "wav mp3")
source "$(dirname "$0")/lib.sh"
require riptrack mkdiscimage /usr/bin/time
MEM_RUNS=${MEM_RUNS:-3}

short=$(make_image mem5 "audio:5m:counter")
long=$(make_image mem74 "audio:74m:counter")

# peak_kb CUE MODE: median peak RSS in kB over MEM_RUNS rips of track 1.
peak_kb() {
    local cue=$1 mode=$2 drive i
    drive=$(virtual_drive "$cue")
    for ((i = 0; i < MEM_RUNS; i++)); do
        CDRIP_IMAGES=$cue /usr/bin/time -f %M -o "$WORK/rss.txt" \
            "$BIN/riptrack" --drive "$drive" "--$mode" 1 "$WORK/mem.$mode" 2>/dev/null ||
            die "riptrack --$mode failed on $(basename "$cue")"
        cat "$WORK/rss.txt"
    done | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

echo "Peak RSS of riptrack, median of $MEM_RUNS runs"
for mode in ${MODES:-wav mp3}; do
    a=$(peak_kb "$short" "$mode")
    b=$(peak_kb "$long" "$mode")
    awk -v mode="$mode" -v a="$a" -v b="$b" 'BEGIN {
        r = b / a
        ok = (b <= 20 * 1024 && r <= 1.10) ? "met" : "MISSED"
        printf "--%-4s  5 min %6.1f MB   74 min %6.1f MB   ratio %.3f (goal: flat, <= 20 MB: %s)\n",
               mode, a / 1024, b / 1024, r, ok
    }'
done
rm -f "$WORK"/mem.wav "$WORK"/mem.mp3 "$WORK/rss.txt"
