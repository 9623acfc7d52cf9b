#!/usr/bin/env bash
# Our liblame_enc against the lame command line on the same 10 minutes of
# stereo 44.1 kHz PCM, with the encoder component's defaults (CBR 128 kbit/s,
# true stereo, CRC, no tag).  The two encoders take turns, so that load from
# elsewhere falls on both alike; prints both medians (wall and CPU time) and
# their ratios.
#
#   bench/lame/bench_lame.sh [BUILD_DIR]     (RUNS=7 SECONDS_OF_PCM=600 by default)
# Without the argument the build folder is $BUILD_DIR, as for the rip
# benchmarks, taken from the top of the source tree (default: build).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(cd "$here/../.." && realpath -m "${BUILD_DIR:-build}")}
runs=${RUNS:-7}
seconds=${SECONDS_OF_PCM:-600}
driver=$build/bin/bench_lame_enc

command -v lame >/dev/null || { echo "lame is not on PATH" >&2; exit 1; }
[ -x "$driver" ] || cmake --build "$build" --target bench_lame_enc >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$driver" --make-pcm "$work/in.raw" "$seconds"

ours() { "$driver" "$work/in.raw" "$work/ours.mp3"; }
cli() {
    lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m s -b 128 -p -o -t \
        "$work/in.raw" "$work/cli.mp3" 2>/dev/null
}
# Prints "wall cpu" seconds of one run; CPU time (user + system) is what the
# encoders spend themselves, wall time also holds what other processes take.
seconds_of() {
    local TIMEFORMAT='%R %U %S' t
    t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<<"$t"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ours && cli   # warm-up, and the outputs must agree
cmp -s "$work/ours.mp3" "$work/cli.mp3" || { echo "outputs differ" >&2; exit 1; }

: >"$work/ours.txt"
: >"$work/cli.txt"
for ((i = 0; i < runs; i++)); do
    seconds_of ours >>"$work/ours.txt"
    seconds_of cli >>"$work/cli.txt"
done

median_of() { awk -v c="$1" '{ print $c }' "$2" | median; }
printf '%d s of stereo 44.1 kHz PCM, %d runs each, identical MP3 (%d bytes)\n' \
    "$seconds" "$runs" "$(stat -c %s "$work/ours.mp3")"
printf '%-12s %10s %10s\n' "" "wall (s)" "cpu (s)"
for who in ours cli; do
    printf '%-12s %10.3f %10.3f\n' "$([ $who = ours ] && echo liblame_enc || echo "lame CLI")" \
        "$(median_of 1 "$work/$who.txt")" "$(median_of 2 "$work/$who.txt")"
done
awk -v a="$(median_of 1 "$work/ours.txt")" -v b="$(median_of 1 "$work/cli.txt")" \
    -v c="$(median_of 2 "$work/ours.txt")" -v d="$(median_of 2 "$work/cli.txt")" \
    'BEGIN { printf "%-12s %10.3f %10.3f\n", "ratio", a / b, c / d }'
