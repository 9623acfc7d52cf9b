#!/usr/bin/env bash
# The dialog's responsiveness during a rip on an emulated drive whose every
# read takes RESPONSIVE_SLOW_MS (2000): the longest gap between two passes of
# the event loop, and the time from Abort to the idle dialog (bench_responsive,
# built with the project). Goals: gap <= 0.1 s, Abort to idle <= 0.3 s.
source "$(dirname "$0")/lib.sh"
[ -x "$BIN/bench_responsive" ] || die "$BIN/bench_responsive is missing: cmake --build $BUILD --target bench_responsive"
[ -f "$BIN/libfakedrive.so" ] || die "$BIN/libfakedrive.so is missing: cmake --build $BUILD --target fakedrive"
QT_QPA_PLATFORM=offscreen "$BIN/bench_responsive" --slow-ms "${RESPONSIVE_SLOW_MS:-2000}" \
    --rip-ms "${RESPONSIVE_RIP_MS:-5000}"
