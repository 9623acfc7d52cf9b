#!/usr/bin/env bash
# Starts Ripper under Xvfb at 96 dpi, waits for its window and for the first
# refresh that lists the disc's tracks, points at the fourth line of the track list, so that its
# tooltip shows the line whole, and saves a screenshot of the dialog.
# Expects XDG_DATA_HOME and CDRIP_IMAGES to point at a profile and a disc
# (scripts/demo.sh sets them); writes to $1 (default docs/screenshot.png).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}
bin=$PWD/${BUILD_DIR:-build}/bin
mkdir -p "$(dirname "$out")"
# The dialog must reach the X server, whatever QT_QPA_PLATFORM the caller has.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 800x600x24 -dpi 96" bash -c '
  "$1" & pid=$!
  # The dialog is the one mapped top-level window of its size; on a busy
  # machine it may take a while to show.
  win=
  for _ in $(seq 60); do
    win=$(xwininfo -root -children | awk "/762x538/ { print \$1; exit }")
    [ -n "$win" ] && break
    sleep 0.5
  done
  sleep 5  # the first refresh lists the tracks 3 s after the start
  if [ -n "$win" ]; then
    # The tooltip is a window of its own: the screen is taken where the dialog is.
    x=$(xwininfo -id "$win" | awk "/Absolute upper-left X/ { print \$4 }")
    y=$(xwininfo -id "$win" | awk "/Absolute upper-left Y/ { print \$4 }")
    # Qt shows tooltips in the active window only.
    xdotool windowfocus "$win" mousemove --window "$win" 140 254 sleep 0.3 mousemove --window "$win" 150 254
    sleep 1  # on the track list'"'"'s fourth line
    import -window root -crop "762x538+$x+$y" +repage "$2"
  else
    import -window root "$2"
  fi
  kill $pid; wait $pid 2>/dev/null || true
' _ "$bin/Ripper" "$out"
echo "Screenshot: $out"
