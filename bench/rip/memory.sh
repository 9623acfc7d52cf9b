#!/usr/bin/env bash
# Peak resident memory of riptrack for a 74-minute track against a 5-minute
# one (GNU time, %M). Goal: flat, and at most 20 MB. cd-paranoia on the same
# images is measured alike, as a reference for what paranoia itself holds.
#   MODES     what to measure (default: "wav mp3 wav-z"; wav-z is --no-jitter-correct)
#   MEM_RUNS  runs per measurement (default 3; the median is printed)
source "$(dirname "$0")/lib.sh"
require riptrack mkdiscimage cd-paranoia /usr/bin/time
MEM_RUNS=${MEM_RUNS:-3}

short=$(make_image mem5 "audio:5m:counter")
long=$(make_image mem74 "audio:74m:counter")

# peak_kb CUE COMMAND...: median peak RSS in kB over MEM_RUNS runs of COMMAND
# with CUE in the virtual drive.
peak_kb() {
    local cue=$1 i
    shift
    for ((i = 0; i < MEM_RUNS; i++)); do
        CDRIP_IMAGES=$cue /usr/bin/time -f %M -o "$WORK/rss.txt" "$@" >/dev/null 2>&1 ||
            die "failed on $(basename "$cue"): $*"
        cat "$WORK/rss.txt"
    done | median
}

# report LABEL SHORT_KB LONG_KB [GOAL]
report() {
    awk -v label="$1" -v a="$2" -v b="$3" -v goal="${4:-}" 'BEGIN {
        r = b / a
        verdict = goal == "" ? "reference" : \
                  ((b <= 20 * 1024 && r <= 1.10) ? "goal flat, <= 20 MB: met" : "goal flat, <= 20 MB: MISSED")
        printf "%-36s  5 min %6.1f MB   74 min %6.1f MB   ratio %.3f (%s)\n", label, a / 1024, b / 1024, r, verdict
    }'
}

echo "Peak RSS, median of $MEM_RUNS runs"
for mode in ${MODES:-wav mp3 wav-z}; do
    case $mode in
    wav) args=(--wav) ;;
    mp3) args=(--mp3) ;;
    wav-z) args=(--no-jitter-correct --wav) ;;
    *) die "unknown mode $mode (wav, mp3, wav-z)" ;;
    esac
    run() { peak_kb "$1" "$BIN/riptrack" --drive "$(virtual_drive "$1")" "${args[@]}" 1 "$WORK/mem.out"; }
    report "riptrack ${args[*]}" "$(run "$short")" "$(run "$long")" goal
done
report "cd-paranoia" "$(peak_kb "$short" cd-paranoia -d "$short" 1 "$WORK/mem.out")" \
    "$(peak_kb "$long" cd-paranoia -d "$long" 1 "$WORK/mem.out")"
rm -f "$WORK/mem.out" "$WORK/rss.txt"
