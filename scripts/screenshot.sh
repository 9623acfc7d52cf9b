#!/usr/bin/env bash
# Starts Ripper under Xvfb at 96 dpi, waits until the first refresh has listed
# the disc's tracks, and saves a screenshot of the screen.
# Expects XDG_DATA_HOME and CDRIP_IMAGES to point at a profile and a disc
# (scripts/demo.sh sets them); writes to $1 (default docs/screenshot.png).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}
bin=$PWD/${BUILD_DIR:-build}/bin
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 800x600x24 -dpi 96" bash -c '
  "$1" & pid=$!
  sleep 6
  # The dialog is the one mapped top-level window of its size.
  win=$(xwininfo -root -children | awk "/762x538/ { print \$1; exit }")
  import -window "${win:-root}" "$2"
  kill $pid; wait $pid 2>/dev/null || true
' _ "$bin/Ripper" "$out"
echo "Screenshot: $out"
