#!/usr/bin/env bash
# Configures and builds everything into build/ (or $BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B "$build" -G Ninja -DRIPPER_WERROR="$werror" ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"
