#!/usr/bin/env bash
# Checks the installed product of a build.
#
#   scripts/check-install.sh [BUILD_DIR]             the installed tree (no root needed)
#   scripts/check-install.sh --package [BUILD_DIR]   the Debian package (root or sudo)
#
# The tree: installs into a staging folder, checks the files and validates the
# desktop entry, the AppStream data and the man pages, moves the tree
# elsewhere, and there runs riptrack on an image made by the moved
# mkdiscimage (the PCM must equal the image), starts Ripper offscreen on a
# demo profile (it must find its pictures in the moved share/ripper/), and
# builds and runs a C program against the installed headers and libraries
# through pkg-config.  ctest runs this as `install_check`.
#
# The package: builds the .deb with cpack, prints its contents and control
# data, installs it with apt-get, runs the installed programs, and removes the
# package again.  scripts/test.sh runs this when CI=true.
set -euo pipefail

mode=tree
if [ "${1:-}" = "--package" ]; then
  mode=package
  shift
fi
cd "$(dirname "$0")/.."
source_dir=$PWD
build=$(cd "${1:-${BUILD_DIR:-build}}" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
app_id=de.norvela.Ripper
[ -n "$version" ] || { echo "check-install: no project version in $build/CMakeCache.txt" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check-install: FAILED: $*" >&2
  exit 1
}
step() { echo "== $*"; }

# expect_output EXPECTED COMMAND...: the command succeeds and prints exactly EXPECTED.
expect_output() {
  local expected=$1 got
  shift
  got=$("$@") || fail "$* exited with $?"
  [ "$got" = "$expected" ] || fail "$* printed '$got', expected '$expected'"
}

# A demo profile (the slideshow's per-user files) in language $2 under $1.
make_profile() {
  local profile=$1/NORVELA/Fotaria
  mkdir -p "$profile" "$1/Diashow"
  cp "$source_dir/demo/Language.ini" "$profile/"
  printf '%s\r\n' "$2" > "$profile/LanguageIsSet.ini"
  sed "s|@DIASHOW_DIR@|$1/Diashow|" "$source_dir/demo/Ripper.ini.in" > "$profile/Ripper.ini"
}

# check_start RIPPER PICTURE_DIR: Ripper starts offscreen without an error in
# both languages and shows the pictures of PICTURE_DIR.
check_start() {
  local ripper=$1 pictures=$2 language folder log
  for language in GERMAN ENGLISH; do
    folder=recom_EN
    [ "$language" = GERMAN ] && folder=recom_GR
    rm -rf "$work/profile-$language"
    make_profile "$work/profile-$language" "$language"
    log=$work/start-$language.log
    XDG_DATA_HOME=$work/profile-$language QT_QPA_PLATFORM=offscreen CDRIP_IMAGES= CDRIP_IMAGES_ONLY=1 \
      "$ripper" --check-start 2> "$log" || { cat "$log" >&2; fail "$ripper did not start cleanly ($language)"; }
    grep -qxF "Ripper: wizard picture $pictures/$folder/wizard.jpg" "$log" \
      || { cat "$log" >&2; fail "$ripper ($language) did not show $pictures/$folder/wizard.jpg"; }
  done
}

check_tree() {
  local stage=$work/stage moved=$work/elsewhere/ripper
  step "install into a staging folder"
  cmake --install "$build" --prefix "$stage" > "$work/install.log"

  step "installed files"
  local f
  for f in bin/Ripper bin/riptrack bin/mkdiscimage \
           lib/ripper/libCDRip.so.1 lib/ripper/liblame_enc.so.1 lib/ripper/libcddrives.so.1 \
           lib/ripper/libCDRip.so lib/ripper/liblame_enc.so \
           include/ripper/CDRip.h include/ripper/LameEnc.h \
           lib/pkgconfig/ripper-cdrip.pc lib/pkgconfig/ripper-lame_enc.pc \
           share/ripper/recom_GR/wizard.jpg share/ripper/recom_EN/wizard.jpg \
           share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
           share/icons/hicolor/scalable/apps/$app_id.svg share/icons/hicolor/48x48/apps/$app_id.png \
           share/man/man1/Ripper.1.gz share/man/man1/riptrack.1.gz; do
    [ -f "$stage/$f" ] || fail "$f is not installed"
  done
  for f in bin/Ripper bin/riptrack; do
    readelf -d "$stage/$f" | grep 'R.*PATH.*\[\$ORIGIN/../lib/ripper\]' > /dev/null \
      || fail "$f does not look for its libraries in \$ORIGIN/../lib/ripper"
  done
  for f in 48 64 128 256; do
    # PNG: width and height are big-endian words at bytes 16 and 20.
    local size
    size=$(od -An -tu1 -j16 -N8 "$stage/share/icons/hicolor/${f}x${f}/apps/$app_id.png" \
           | awk '{ print $1*16777216 + $2*65536 + $3*256 + $4 "x" $5*16777216 + $6*65536 + $7*256 + $8 }')
    [ "$size" = "${f}x${f}" ] || fail "the ${f}x${f} icon is $size"
  done

  step "desktop entry, AppStream data, man pages"
  desktop-file-validate "$stage/share/applications/$app_id.desktop" || fail "desktop-file-validate"
  appstreamcli validate --no-net "$stage/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
  for f in Ripper riptrack; do
    local warnings
    warnings=$(zcat "$stage/share/man/man1/$f.1.gz" | groff -man -ww -z 2>&1)
    [ -z "$warnings" ] || fail "man page $f.1: $warnings"
  done

  step "move the tree"
  mkdir -p "$(dirname "$moved")"
  mv "$stage" "$moved"
  expect_output "riptrack $version" "$moved/bin/riptrack" --version
  expect_output "Ripper $version" env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$moved/bin/Ripper" --version
  ldd "$moved/bin/riptrack" | grep -F "$moved/bin/../lib/ripper/libCDRip.so.1" > /dev/null \
    || { ldd "$moved/bin/riptrack" >&2; fail "the moved riptrack does not load the moved libCDRip"; }
  # libCDRip finds the drive list beside itself, also for a program that names only libCDRip.
  ldd "$moved/lib/ripper/libCDRip.so.1" | grep -F "$moved/lib/ripper/libcddrives.so.1" > /dev/null \
    || { ldd "$moved/lib/ripper/libCDRip.so.1" >&2; fail "the moved libCDRip does not load the moved libcddrives"; }

  step "moved riptrack on an image made by the moved mkdiscimage"
  "$moved/bin/mkdiscimage" "$work/disc.cue" audio:2s:sine=440 audio:1s:noise=7 > /dev/null
  local drive
  drive=$(CDRIP_IMAGES=$work/disc.cue "$moved/bin/riptrack" --list | sed -n 's/^\([0-9][0-9]*\): Virtual CD drive.*/\1/p' | head -n 1)
  [ -n "$drive" ] || fail "the moved riptrack lists no virtual drive"
  CDRIP_IMAGES=$work/disc.cue "$moved/bin/riptrack" --drive "$drive" --raw 1 "$work/t1.pcm" 2> /dev/null
  CDRIP_IMAGES=$work/disc.cue "$moved/bin/riptrack" --drive "$drive" --raw 2 "$work/t2.pcm" 2> /dev/null
  cat "$work/t1.pcm" "$work/t2.pcm" | cmp -s - "$work/disc.bin" || fail "the PCM riptrack wrote differs from the image"

  step "moved Ripper finds its pictures"
  check_start "$moved/bin/Ripper" "$moved/share/ripper"

  step "a C program against the installed headers through pkg-config"
  local flags
  flags=$(PKG_CONFIG_PATH=$moved/lib/pkgconfig pkg-config --cflags --libs ripper-cdrip ripper-lame_enc) \
    || fail "pkg-config does not find ripper-cdrip and ripper-lame_enc"
  local module library modversion
  for module in ripper-cdrip:libCDRip ripper-lame_enc:liblame_enc; do
    library=${module#*:}
    modversion=$(PKG_CONFIG_PATH=$moved/lib/pkgconfig pkg-config --modversion "${module%%:*}")
    [ -f "$moved/lib/ripper/$library.so.$modversion" ] || fail "${module%%:*}.pc says $modversion, but there is no $library.so.$modversion"
  done
  # The build's C compiler; a sanitizer build's libraries need its runtime.
  local compiler sanitize=""
  compiler=$(sed -n 's/^CMAKE_C_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
  [ -x "$compiler" ] || compiler=cc
  nm -D "$moved/lib/ripper/libCDRip.so.1" | grep -F __asan_ > /dev/null && sanitize+=" -fsanitize=address"
  nm -D "$moved/lib/ripper/libCDRip.so.1" | grep -F __ubsan_ > /dev/null && sanitize+=" -fsanitize=undefined"
  # shellcheck disable=SC2086
  "$compiler" -std=c11 -Wall -Wextra -Wpedantic -Werror $sanitize -o "$work/installed_libs" \
    "$source_dir/dist/check/installed_libs.c" $flags || fail "the C program does not build against the installed tree"
  CDRIP_IMAGES=$work/disc.cue "$work/installed_libs" "$work/disc.bin" || fail "the C program failed"
  # Plain C99 sees the same declarations (no C11 layout checks there).
  # shellcheck disable=SC2086
  "$compiler" -std=c99 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -x c - \
    $(PKG_CONFIG_PATH=$moved/lib/pkgconfig pkg-config --cflags ripper-cdrip ripper-lame_enc) <<< '#include <ripper/CDRip.h>
#include <ripper/LameEnc.h>
int main(void) { return CR_GetCDRipVersion() == CDRIP_API_VERSION ? 0 : 1; }' || fail "the headers are not C99"

  echo "check-install: the installed tree works ($version)"
}

check_package() {
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  if dpkg-query -W -f='${Status}' ripper 2> /dev/null | grep "install ok installed" > /dev/null; then
    fail "a ripper package is installed already; remove it first (this check installs and removes its own)"
  fi
  step "build the Debian package"
  (cd "$build" && cpack -G DEB -B "$work/deb" > "$work/cpack.log") || { cat "$work/cpack.log" >&2; fail "cpack"; }
  local deb
  deb=$(ls "$work"/deb/ripper_*.deb)
  dpkg-deb -I "$deb"
  dpkg-deb -c "$deb"
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  # Computed from the shared libraries: the libraries we link, by their
  # soname-versioned package names; never our own private ones.
  for f in 'libc6' 'libcdio[0-9]+' 'libcdio-paranoia[0-9]+' 'libcdio-cdda[0-9]+' 'libmp3lame0' 'libsoxr0' \
           'libjpeg62-turbo' 'libqt6widgets6'; do
    grep -E "(^|, )$f( |,|$)" <<< "$depends" > /dev/null || fail "Depends lacks $f: $depends"
  done
  if grep -Ei 'ripper|cdrip|lame_enc' <<< "$depends" > /dev/null; then
    fail "Depends names our own libraries: $depends"
  fi
  [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"

  step "install it with apt-get"
  trap 'DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq ripper > /dev/null 2>&1 || true; rm -rf "$work"' EXIT
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" > "$work/apt.log" \
    || { cat "$work/apt.log" >&2; fail "apt-get install $deb"; }
  expect_output "riptrack $version" /usr/bin/riptrack --version
  expect_output "Ripper $version" env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/Ripper --version
  check_start /usr/bin/Ripper /usr/share/ripper
  [ -f /usr/share/man/man1/riptrack.1.gz ] || fail "no man page riptrack(1)"

  step "remove it again"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq ripper > /dev/null
  [ ! -e /usr/bin/riptrack ] || fail "/usr/bin/riptrack is still there after the removal"
  if dpkg-query -W -f='${Status}' ripper 2> /dev/null | grep -v "not-installed" > /dev/null; then
    fail "ripper is still known to dpkg after the purge"
  fi
  echo "check-install: the package installs, runs and goes again ($(basename "$deb"))"
}

if [ "$mode" = package ]; then
  check_package
else
  check_tree
fi
