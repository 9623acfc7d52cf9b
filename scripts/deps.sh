#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need.
# Does nothing when all of them are there already.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libcdio-dev libcdio-paranoia-dev libcdio-utils cd-paranoia
  libmp3lame-dev lame libsoxr-dev libjpeg62-turbo-dev libmpg123-dev
  googletest libgtest-dev libgmock-dev
  xvfb x11-apps x11-utils xdotool imagemagick fonts-dejavu-core hyperfine time
  dbus at-spi2-core python3-pyatspi
  desktop-file-utils appstream dpkg-dev groff-base
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
