#!/usr/bin/env bash
# Runs every rip benchmark: bench/rip/all.sh  (BUILD_DIR=build-img RUNS=5 ...)
set -euo pipefail
here=$(dirname "$0")
"$here/wav.sh"
echo
"$here/mp3.sh"
echo
"$here/drive.sh"
echo
"$here/memory.sh"
echo
"$here/interrupt.sh"
echo
"$here/responsive.sh"
