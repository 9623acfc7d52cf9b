#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test without a display.
# Under CI=true (or with RIPPER_FULL_CHECK=1) the whole suite then runs a
# second time under AddressSanitizer + UndefinedBehaviorSanitizer
# (scripts/sanitize.sh, build-asan/), the tests in which our threads run
# under ThreadSanitizer (scripts/tsan.sh, build-tsan/), and then the fuzzers
# run (scripts/fuzz.sh, build-fuzz/).
set -euo pipefail
cd "$(dirname "$0")/.."
phase() { echo "== $1 done after $((SECONDS - $2)) s"; }

start=$SECONDS
scripts/deps.sh
scripts/build.sh
phase "build" "$start"

start=$SECONDS
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)" "$@"
phase "tests" "$start"

# On CI also the Debian package: built, installed with apt-get, run, removed
# again (the installed tree itself is checked by ctest's install_check).
if [ "${CI:-}" = "true" ]; then
  start=$SECONDS
  scripts/check-install.sh --package "${BUILD_DIR:-build}"
  phase "package" "$start"
fi

if [ "${CI:-}" = "true" ] || [ "${RIPPER_FULL_CHECK:-}" = "1" ]; then
  start=$SECONDS
  scripts/sanitize.sh "$@"
  phase "sanitizer build and tests" "$start"
  start=$SECONDS
  scripts/tsan.sh "$@"
  phase "thread sanitizer build and tests" "$start"
  start=$SECONDS
  scripts/fuzz.sh
  phase "fuzzers" "$start"
fi
