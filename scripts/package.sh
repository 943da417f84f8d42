#!/usr/bin/env bash
# Builds the release packages into dist/, all of one version, the one in
# CMake's project() line:
#   sonvale_<version>_amd64.deb     the Linux player and sender, built the Debian
#                                   way (dpkg-buildpackage) and checked by lintian
#   Sonvale-<version>-setup.exe     the Windows installer (NSIS)
#   Sonvale-<version>-win32.zip     the same five files, for running uninstalled
# Uses build/win32 as scripts/test.sh leaves it, or builds it from the preset.
#
#   scripts/package.sh --test-installer FILE
# builds only the installer, around the win64 preset's build instead, into
# FILE: the same script as a program that 64-bit Wine can run, for testing it
# where 32-bit programs cannot run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
jobs=$(nproc)
# Debhelper, lintian, NSIS, the cross compilers and lame_enc.dll; at once
# when scripts/test.sh has already run it.
"$here/scripts/setup.sh"

test_installer=""
if [ "${1:-}" = "--test-installer" ]; then
  test_installer=${2:?"usage: $0 [--test-installer FILE]"}
fi

# Nothing of a build outside dist/: dpkg-buildpackage writes beside its source
# folder, and its build folders into it, so it runs on a copy in here.
work=$(mktemp -d /tmp/sonvale-package-XXXXXX)
trap 'rm -rf "$work"' EXIT

# A preset's executables, configured first when the preset never was; an
# existing configuration (the test run's, with its suites) is kept.
build_windows() {
  local preset=$1
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" -DSONVALE_TESTS=OFF >/dev/null
  cmake --build --preset "$preset" --target Sonvale -j "$jobs" >/dev/null
}

# Stages the shipped files of a Windows build without their symbols, and the
# terms of the libraries in them with the licence's full text (LAME's and
# libsoxr's licences ask for it to go with every copy), with Windows line ends.
stage_windows() {
  local preset=$1 strip=$2 stage="$work/$1"
  mkdir -p "$stage"
  cp "build/$preset/bin/Sonvale.exe" "build/$preset/bin/lame_enc.dll" "build/$preset/bin/libsoxr.dll" \
      "build/$preset/bin/sonvale-help.html" "$stage/"
  cat packaging/windows/licenses.txt /usr/share/common-licenses/LGPL-2.1 | sed 's/$/\r/' >"$stage/licenses.txt"
  "$strip" --strip-all "$stage/Sonvale.exe"
  "$strip" --strip-unneeded "$stage/lame_enc.dll" "$stage/libsoxr.dll"
  echo "$stage"
}

installer() {
  local bin=$1 out=$2 target=${3:-}
  makensis -V2 -DVERSION="$version" -DBIN="$bin" -DOUTFILE="$out" ${target:+-DTARGET="$target"} \
      "$here/packaging/windows/sonvale.nsi"
}

if [ -n "$test_installer" ]; then
  build_windows win64
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win64/CMakeCache.txt)
  installer "$(stage_windows win64 x86_64-w64-mingw32-strip)" "$(realpath -m "$test_installer")" amd64-unicode
  exit 0
fi

build_windows win32
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
changelog=$(dpkg-parsechangelog -l debian/changelog -S Version)
if [ "$changelog" != "$version" ]; then
  echo "package: debian/changelog is at $changelog, CMake at $version; add an entry: dch -v $version" >&2
  exit 1
fi
mkdir -p dist
rm -f dist/sonvale_*.deb dist/Sonvale-*-setup.exe dist/Sonvale-*-win32.zip

echo "== package sonvale_${version}_amd64.deb"
source="$work/sonvale-$version"
mkdir "$source"
tar -C "$here" --exclude=./build --exclude=./dist --exclude=./third_party/build --exclude=./.git -cf - . |
  tar -C "$source" -xf -
if ! (cd "$source" && DEB_BUILD_OPTIONS="parallel=$jobs nocheck" dpkg-buildpackage -b -us -uc) >"$work/deb.log" 2>&1; then
  tail -n 60 "$work/deb.log"
  exit 1
fi
# Any error or warning fails the package; each override in debian/ says why.
lintian --fail-on error,warning "$work/sonvale_${version}_amd64.deb"
mv "$work/sonvale_${version}_amd64.deb" dist/

echo "== package Sonvale-$version-setup.exe, Sonvale-$version-win32.zip"
stage=$(stage_windows win32 i686-w64-mingw32-strip)
installer "$stage" "$here/dist/Sonvale-$version-setup.exe"
(cd "$stage" && zip -q -X -9 "$here/dist/Sonvale-$version-win32.zip" Sonvale.exe lame_enc.dll libsoxr.dll sonvale-help.html licenses.txt)
ls -l dist/
