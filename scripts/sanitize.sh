#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $ASAN_BUILD_DIR) and runs the whole test suite there.  The
# tools the tests start (mkdiscimage, riptrack) are built the same way.  Any
# report ends the program that made it, so its test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${ASAN_BUILD_DIR:-build-asan}

# The test discovery runs the test programs during the build, so the options
# hold for the build as well as for ctest.  verify_asan_link_order=0: some
# tests preload a drive emulator, which would otherwise come before the ASan
# runtime and stop the program.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:verify_asan_link_order=0:check_initialization_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0

# -O1 keeps the build short and the stacks readable; asserts stay on.
cmake -S . -B "$build" -G Ninja -DRIPPER_WERROR=ON -DRIPPER_SANITIZE=address,undefined \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
