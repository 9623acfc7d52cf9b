#!/usr/bin/env bash
# Builds the test programs whose code runs threads with ThreadSanitizer into
# build-tsan/ (or $TSAN_BUILD_DIR) and runs there the tests in which threads
# of ours run: all of the CDRip library's (on images and on emulated drives)
# and of the drive emulator's, and those of the ripper component and of the
# dialog that rip with the real library (riptrack included).  Any report ends
# the program that made it, so its test fails.  Suppressions, each with its
# reason: scripts/tsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${TSAN_BUILD_DIR:-build-tsan}
# Per program, an extended regular expression on the ctest command line of
# the tests that run: the others script the library or draw the dialog
# without a rip, and no thread of ours runs in them.
declare -A tests_of=(
  [cdriplib_tests]=.
  [fakedrive_tests]=.
  [cdrip_tests]='EndToEnd|Riptrack'
  [app_tests]='RipDialogTest|DataTrackTest|OverwriteThenUnfinishedTest|WriteOrderTest|EmulatedDrive'
)
programs=("${!tests_of[@]}")

# The test discovery runs the test programs during the build, so the options
# hold for the build as well as for ctest.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"

cmake -S . -B "$build" -G Ninja -DRIPPER_WERROR=ON -DRIPPER_SANITIZE=thread \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  ${CMAKE_ARGS:-} >/dev/null
# The tools the tests start and the pictures the dialog loads come along.
cmake --build "$build" -j "$(nproc)" --target "${programs[@]}" riptrack wizard_pictures

# The ctest entries chosen above, by number: the other programs are not
# built here.
selection=$(for program in "${programs[@]}"; do printf '%s\t%s\n' "$program" "${tests_of[$program]}"; done)
tests=$(ctest --test-dir "$build" -N -V 2>/dev/null | awk -v selection="$selection" '
  BEGIN {
    count = split(selection, lines, "\n")
    for (i = 1; i <= count; i++) { split(lines[i], field, "\t"); pattern[field[1]] = field[2] }
  }
  /^[0-9]+: Test command: / {
    number = $1; sub(":", "", number); program = $4; sub(".*/", "", program)
    if ((program in pattern) && $0 ~ pattern[program]) list = list "," number
  }
  END { print substr(list, 2) }')
[ -n "$tests" ] || { echo "tsan.sh: no tests found in $build"; exit 1; }
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -I "0,0,0,$tests" "$@"
