#!/usr/bin/env bash
# Peak resident memory (GNU time, %M) of riptrack against cd-paranoia on the
# same images, a 5-minute and a 74-minute track. Goal for every mode: at most
# what cd-paranoia takes on the same track (in the matching paranoia mode), at
# most 16 MB, and flat (the 74-minute track needs at most 10 % more than the
# 5-minute one).
#   MODES     what to measure (default: "wav mp3 wav-z"; wav-z is --no-jitter-correct,
#             compared with cd-paranoia -Z)
#   MEM_RUNS  runs per measurement (default 3; the median is printed)
source "$(dirname "$0")/lib.sh"
require riptrack mkdiscimage cd-paranoia /usr/bin/time
MEM_RUNS=${MEM_RUNS:-3}
GOAL_KB=$((16 * 1024))

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

# report LABEL OURS_5 OURS_74 PEER_5 PEER_74 (kB)
report() {
    awk -v label="$1" -v a="$2" -v b="$3" -v p="$4" -v q="$5" -v goal="$GOAL_KB" 'BEGIN {
        flat = b / a
        met = (a <= p && b <= q && a <= goal && b <= goal && flat <= 1.10)
        printf "%-52s %6.1f MB vs %6.1f MB   %6.1f MB vs %6.1f MB   74/5 %.3f   %s\n",
               label, a / 1024, p / 1024, b / 1024, q / 1024, flat,
               met ? "met" : "MISSED"
    }'
}

peer_full=()
peer_z=()
peer() {  # peer MODE: cd-paranoia's 5- and 74-minute peaks, measured once per mode
    local -n cache=peer_$1
    if [ ${#cache[@]} -eq 0 ]; then
        local z=()
        if [ "$1" = z ]; then z=(-Z); fi
        cache=("$(peak_kb "$short" cd-paranoia "${z[@]}" -d "$short" 1 "$WORK/mem.out")"
               "$(peak_kb "$long" cd-paranoia "${z[@]}" -d "$long" 1 "$WORK/mem.out")")
    fi
    echo "${cache[@]}"
}

echo "Peak RSS, median of $MEM_RUNS runs: riptrack vs cd-paranoia on the same track"
printf '%-52s %-28s %-28s %-11s %s\n' "" "5 minutes" "74 minutes" "flat" \
    "goal: <= cd-paranoia, <= 16 MB, 74/5 <= 1.10"
for mode in ${MODES:-wav mp3 wav-z}; do
    case $mode in
    wav) args=(--wav) paranoia=full peer_name=cd-paranoia ;;
    mp3) args=(--mp3) paranoia=full peer_name=cd-paranoia ;;
    wav-z) args=(--no-jitter-correct --wav) paranoia=z peer_name="cd-paranoia -Z" ;;
    *) die "unknown mode $mode (wav, mp3, wav-z)" ;;
    esac
    peer "$paranoia" >/dev/null
    peer_kb=$(peer "$paranoia")
    run() { peak_kb "$1" "$BIN/riptrack" --drive "$(virtual_drive "$1")" "${args[@]}" 1 "$WORK/mem.out"; }
    ours5=$(run "$short")
    ours74=$(run "$long")
    # shellcheck disable=SC2086  # two numbers
    report "riptrack ${args[*]} vs $peer_name" "$ours5" "$ours74" $peer_kb
done
rm -f "$WORK/mem.out" "$WORK/rss.txt"
