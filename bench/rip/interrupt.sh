#!/usr/bin/env bash
# Ctrl-C during a read that hangs: riptrack on an image whose every read takes
# 8 s (CDRIP_FAULTS=slow=8000) gets SIGINT once its temporary output file
# exists; measured is the time from the signal to the process's exit.
# Goal: at most 0.2 s, exit status 130, no file left behind.
source "$(dirname "$0")/lib.sh"
require riptrack mkdiscimage

cue=$(make_image stop1 "audio:1m:sine")
export CDRIP_IMAGES=$cue
drive=$(virtual_drive "$cue")
out=$WORK/interrupt
echo "Ctrl-C during an 8-second read ($(basename "$cue"), drive $drive)"

times=()
for ((i = 0; i < RUNS; i++)); do
    rm -rf "$out" && mkdir -p "$out"
    CDRIP_FAULTS=slow=8000 "$BIN/riptrack" --drive "$drive" 1 "$out/Track01.wav" 2>/dev/null &
    pid=$!
    deadline=$(($(date +%s) + 60))
    until compgen -G "$out/.Track01.wav.ripper-*" >/dev/null; do
        (($(date +%s) < deadline)) || die "no temporary file appeared"
        sleep 0.01
    done
    start=$(date +%s%N)
    kill -INT "$pid"
    status=0
    wait "$pid" || status=$?
    times+=($(($(date +%s%N) - start)))
    [ "$status" = 130 ] || die "exit status $status, expected 130"
    [ -z "$(ls -A "$out")" ] || die "left behind: $(ls -A "$out")"
done
med=$(printf '%s\n' "${times[@]}" | median)
max=$(printf '%s\n' "${times[@]}" | sort -n | tail -1)
awk -v med="$med" -v max="$max" -v runs="$RUNS" 'BEGIN {
    printf "%-40s median %.3f s   slowest %.3f s   (goal <= 0.2 s: %s)   %d runs\n",
           "signal to exit", med / 1e9, max / 1e9, (max <= 2e8 ? "met" : "MISSED"), runs
}'
