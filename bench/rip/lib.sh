# Sourced by the rip benchmarks: tool locations, generated images, side-by-side
# comparisons. Settings (environment):
#   BUILD_DIR   build folder holding bin/riptrack and bin/mkdiscimage (default: build)
#   BENCH_WORK  folder for images and outputs (default: $TMPDIR/ripper-bench, ~1.8 GB)
#   RUNS        timed runs per command (default 7; one warm-up run comes first)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$(cd "$ROOT" && realpath -m "${BUILD_DIR:-build}")
BIN=$BUILD/bin
WORK=${BENCH_WORK:-${TMPDIR:-/tmp}/ripper-bench}
RUNS=${RUNS:-7}
mkdir -p "$WORK"

die() { echo "bench: $*" >&2; exit 1; }

require() {
    local tool
    for tool in "$@"; do
        case $tool in
        riptrack | mkdiscimage)
            [ -x "$BIN/$tool" ] || die "$BIN/$tool is missing: cmake --build $BUILD --target $tool" ;;
        *)
            command -v "$tool" >/dev/null || die "$tool is not installed (scripts/deps.sh)" ;;
        esac
    done
}

# make_image NAME DESCRIPTION: $WORK/NAME.cue + .bin, rewritten only when the
# description changed. Prints the cue's path.
make_image() {
    local name=$1 description=$2 cue=$WORK/$1.cue
    if [ ! -f "$cue" ] || [ "$(cat "$WORK/$name.desc" 2>/dev/null)" != "$description" ]; then
        # shellcheck disable=SC2086  # the description is a list of items
        "$BIN/mkdiscimage" "$cue" $description || die "mkdiscimage failed for $name"
        printf '%s' "$description" >"$WORK/$name.desc"
    fi
    echo "$cue"
}

# virtual_drive CUE: the number riptrack gives the virtual drive of CUE (the
# only entry of CDRIP_IMAGES), found in `riptrack --list` by the image's name;
# real drives come first. RIP_DRIVE overrides.
virtual_drive() {
    if [ -n "${RIP_DRIVE:-}" ]; then
        echo "$RIP_DRIVE"
        return
    fi
    local line
    line=$(CDRIP_IMAGES=$1 "$BIN/riptrack" --list 2>/dev/null | grep -F -m1 "$(basename "$1")" || true)
    if [[ $line =~ ([0-9]+) ]]; then
        echo "${BASH_REMATCH[1]}"
    else
        echo "bench: could not find $(basename "$1") in riptrack --list; using drive 0 (set RIP_DRIVE)" >&2
        echo 0
    fi
}

# run_ns COMMAND: wall-clock nanoseconds of one run, output discarded. Dirty
# pages are written back first, so one run's output is not paid by the next.
run_ns() {
    local start
    sync
    start=$(date +%s%N)
    eval "$1" >/dev/null 2>&1 || return 1
    echo $(($(date +%s%N) - start))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
minimum() { sort -n | head -1; }

# compare LABEL GOAL OURS PEER: times both commands RUNS times each, in
# alternating order (AB BA AB ...) so that a load change on this shared machine
# falls on both alike, after one warm-up run each that puts the image in the
# page cache. Prints the medians and OURS/PEER against GOAL (and the ratio of
# the fastest runs, the least disturbed estimate); the times go to WORK/*.times.
compare() {
    local label=$1 goal=$2 ours=$3 peer=$4 i log
    log=$WORK/$(echo "$label" | tr -c 'A-Za-z0-9\n' '-').times
    run_ns "$ours" >/dev/null || die "$label: failed: $ours"
    run_ns "$peer" >/dev/null || die "$label: failed: $peer"
    : >"$log"
    for ((i = 0; i < RUNS; i++)); do
        if ((i % 2 == 0)); then
            echo "ours $(run_ns "$ours")" >>"$log"
            echo "peer $(run_ns "$peer")" >>"$log"
        else
            echo "peer $(run_ns "$peer")" >>"$log"
            echo "ours $(run_ns "$ours")" >>"$log"
        fi
    done
    grep -q ' $' "$log" && die "$label: a run failed (see $log)"
    local a b amin bmin
    a=$(awk '$1 == "ours" { print $2 }' "$log" | median)
    b=$(awk '$1 == "peer" { print $2 }' "$log" | median)
    amin=$(awk '$1 == "ours" { print $2 }' "$log" | minimum)
    bmin=$(awk '$1 == "peer" { print $2 }' "$log" | minimum)
    awk -v label="$label" -v a="$a" -v b="$b" -v amin="$amin" -v bmin="$bmin" -v goal="$goal" \
        -v runs="$RUNS" 'BEGIN {
        r = a / b
        printf "%-40s riptrack %7.3f s   peer %7.3f s   ratio %.3f (goal <= %s: %s; fastest runs %.3f)   median of %d\n",
               label, a / 1e9, b / 1e9, r, goal, (r <= goal ? "met" : "MISSED"), amin / bmin, runs
    }'
}

# wav_header BYTES: a 44-byte header for BYTES of 44.1 kHz 16-bit stereo PCM.
wav_header() {
    le() {  # value, byte count
        local i out=""
        for ((i = 0; i < $2; i++)); do out+=$(printf '\\x%02x' $((($1 >> (8 * i)) & 255))); done
        printf '%b' "$out"
    }
    printf 'RIFF'; le $((36 + $1)) 4; printf 'WAVEfmt '; le 16 4; le 1 2; le 2 2
    le 44100 4; le 176400 4; le 4 2; le 16 2; printf 'data'; le "$1" 4
}

# same_pcm A B: whether two 44-byte-header WAV files carry the same PCM.
same_pcm() {
    if cmp -s <(tail -c +45 "$1") <(tail -c +45 "$2"); then echo yes; else echo NO; fi
}

# rotate LOG LABEL=COMMAND...: times every command RUNS times after one
# warm-up run each; round i starts with command i mod n (ABC BCA CAB ...), so
# load from elsewhere falls on all alike. Appends "LABEL NANOSECONDS" lines to
# LOG (emptied first).
rotate() {
    local log=$1 n i j k
    shift
    local labels=() commands=() item
    for item in "$@"; do
        labels+=("${item%%=*}")
        commands+=("${item#*=}")
    done
    n=${#commands[@]}
    for ((j = 0; j < n; j++)); do
        run_ns "${commands[j]}" >/dev/null || die "${labels[j]}: failed: ${commands[j]}"
    done
    : >"$log"
    for ((i = 0; i < RUNS; i++)); do
        for ((j = 0; j < n; j++)); do
            k=$(((i + j) % n))
            echo "${labels[k]} $(run_ns "${commands[k]}")" >>"$log"
        done
    done
    grep -q ' $' "$log" && die "a run failed (see $log)"
    return 0
}

# median_of LOG LABEL: the median of LABEL's times in LOG, in nanoseconds.
median_of() { awk -v l="$2" '$1 == l { print $2 }' "$1" | median; }
