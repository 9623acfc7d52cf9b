#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test without a display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)" "$@"
# On CI also the Debian package: built, installed with apt-get, run, removed
# again (the installed tree itself is checked by ctest's install_check).
if [ "${CI:-}" = "true" ]; then
  scripts/check-install.sh --package "${BUILD_DIR:-build}"
fi
