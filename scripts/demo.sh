#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ripper on the demo: a demo
# profile and slideshow folder under build/demo (nothing in your own home is
# touched) and the demo disc in a virtual drive.  Without a display the dialog
# runs under Xvfb and a screenshot is saved instead.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
scripts/build.sh

demo=$root/${BUILD_DIR:-build}/demo
bin=$root/${BUILD_DIR:-build}/bin
profile=$demo/profile/NORVELA/Fotaria
mkdir -p "$profile" "$demo/Diashow" "$demo/disc"
cp demo/Language.ini demo/LanguageIsSet.ini "$profile/"
sed "s|@DIASHOW_DIR@|$demo/Diashow|" demo/Ripper.ini.in > "$profile/Ripper.ini"
if [ ! -f "$demo/disc/demo.cue" ] || [ demo/demo-disc.txt -nt "$demo/disc/demo.cue" ]; then
  "$bin/mkdiscimage" "$demo/disc/demo.cue" -f demo/demo-disc.txt
fi

export XDG_DATA_HOME=$demo/profile
export CDRIP_IMAGES=$demo/disc/demo.cue
echo "Demo profile:    $profile"
echo "Slideshow folder: $demo/Diashow"
echo "Demo disc:       $CDRIP_IMAGES"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/Ripper"
fi
echo "No display found: running the dialog under Xvfb for a few seconds."
exec scripts/screenshot.sh "$demo/screenshot.png"
