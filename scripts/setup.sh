#!/usr/bin/env bash
# Prepares a Debian 12 machine to build, package and test both players: Debian
# packages (with deb-src and i386 enabled where missing), lame_enc.dll and
# libsoxr.dll cross-built from Debian's lame and libsoxr sources, and
# googletest built for mingw. Safe to run again.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
third=${SONVALE_THIRD_PARTY:-$here/third_party/build}
need_tests=1
[ "${1:-}" = "--run-only" ] && need_tests=0

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

run_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libasound2-dev libmp3lame-dev
              libmp3lame0 libsoxr-dev libasound2-plugins alsa-utils fonts-wqy-microhei)
test_packages=(mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 lame sox pulseaudio pulseaudio-utils
               xvfb xauth xdotool x11-utils imagemagick trayer googletest libgtest-dev
               libbenchmark-dev libfftw3-dev libkissfft-dev clang libclang-rt-14-dev dpkg-dev file binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
               procps psmisc
               build-essential debhelper lintian nsis zip p7zip-full)

# Every index apt should have after an update (binary and source, each
# architecture), as the files it would write; a mirror caught mid-sync serves
# one whose hashes disagree with the signed Release file, and apt drops it.
missing_indexes() {
  local created
  for created in Packages Sources; do
    apt-get indextargets --format '$(FILENAME) $(SITE) $(RELEASE) $(TARGET_OF) $(ARCHITECTURE)' \
        "Created-By: $created" 2>/dev/null
  done | while read -r file site release kind arch; do
    ls "$file"* >/dev/null 2>&1 || echo "$site $release $kind${arch:+ $arch}"
  done
}

# Only indexes apt has verified against the signed Release file are used: a
# mirror mid-sync is waited out a bounded number of times, then named.
update_indexes() {
  local attempt
  for attempt in 1 2 3 4 5; do
    if sudo_ apt-get update -q && [ -z "$(missing_indexes)" ]; then
      return 0
    fi
    [ "$attempt" = 5 ] && break
    echo "setup: apt-get update incomplete (attempt $attempt of 5), trying again in $((attempt * 20)) s"
    sleep $((attempt * 20))
  done
  echo "setup: these package indexes could not be fetched and verified:" >&2
  missing_indexes | sed 's/^/setup:   /' >&2
  echo "setup: the mirror is probably mid-sync; run this script again in a few minutes" >&2
  return 1
}

changed=0
if [ -f /etc/apt/sources.list.d/debian.sources ] &&
   grep -q '^Types: deb$' /etc/apt/sources.list.d/debian.sources; then
  sudo_ sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  changed=1
fi
if [ "$need_tests" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_ dpkg --add-architecture i386
  changed=1
fi

wanted=("${run_packages[@]}")
[ "$need_tests" = 1 ] && wanted+=("${test_packages[@]}")
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
stamp=/var/lib/apt/periodic/sonvale-update-stamp
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$changed" = 1 ] || [ ! -f "$stamp" ]; then
    update_indexes
    sudo_ mkdir -p "$(dirname "$stamp")" && sudo_ touch "$stamp"
  fi
  echo "setup: installing ${missing[*]}"
  sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

[ "$need_tests" = 1 ] || exit 0

mkdir -p "$third"

# Per Windows architecture: lame_enc.dll from Debian's lame 3.100 source, and
# googletest from the sources Debian installs under /usr/src/googletest. The
# product is i686; x86_64 exists so that the Windows shell can also be run under
# 64-bit Wine on machines whose kernel runs no 32-bit code.
# Debian's source package, downloaded once into a folder of its own.
fetch_source() {
  local folder
  folder=$(mktemp -d)
  ( cd "$folder"
    apt-get source --download-only "$1" >/dev/null 2>&1 ||
      { update_indexes >/dev/null && apt-get source --download-only "$1" >/dev/null; } ) || return 1
  echo "$folder"
}
lame_source=""
fetch_lame_source() {
  [ -n "$lame_source" ] && return
  lame_source=$(fetch_source lame)
}
soxr_source=""
fetch_soxr_source() {
  [ -n "$soxr_source" ] && return
  soxr_source=$(fetch_source libsoxr)
}

for arch in i686 x86_64; do
  out="$third/$arch"
  mkdir -p "$out"
  flags="-O2"
  [ "$arch" = i686 ] && flags="-O2 -msse2 -mfpmath=sse"
  if [ ! -f "$out/lame_enc.dll" ]; then
    fetch_lame_source
    work=$(mktemp -d)
    ( cd "$work"
      tar xf "$lame_source"/lame_*.orig.tar.gz
      cd lame-*/
      # The mingw linker refuses to export a symbol that does not exist.
      sed -i '/^lame_init_old$/d' include/libmp3lame.sym
      ./configure -q --host=$arch-w64-mingw32 --enable-shared --disable-static --disable-frontend \
          CFLAGS="$flags" >/dev/null
      make -s -j"$(nproc)" >/dev/null 2>&1
      cp libmp3lame/.libs/libmp3lame-0.dll "$out/lame_enc.dll" )
    rm -rf "$work"
    echo "setup: built $out/lame_enc.dll"
  fi
  # libsoxr as a DLL beside the executable, so that a user can put another
  # build of it in its place, as its licence (the LGPL) provides for:
  # single-threaded (no OpenMP, so no libgomp or pthread DLL to ship), only
  # its single-precision engines (the player uses its high-quality setting),
  # with SSE but no AVX code, and libgcc linked in. Windows gives 32-bit code
  # a stack aligned to 4 bytes only, so its SSE code realigns where it needs 16.
  if [ ! -f "$out/soxr/bin/libsoxr.dll" ]; then
    fetch_soxr_source
    rm -rf "$out/soxr"
    work=$(mktemp -d)
    soxr_flags=$flags
    [ "$arch" = i686 ] && soxr_flags="$flags -mincoming-stack-boundary=2"
    ( cd "$work"
      tar xf "$soxr_source"/libsoxr_*.orig.tar.xz
      cmake -S soxr-*/ -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$arch.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$soxr_flags" -DCMAKE_SHARED_LINKER_FLAGS="-static-libgcc" \
          -DCMAKE_INSTALL_PREFIX="$out/soxr" \
          -DBUILD_SHARED_LIBS=ON -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF -DBUILD_TESTS=OFF \
          -DBUILD_EXAMPLES=OFF -DWITH_CR64=OFF -DWITH_CR64S=OFF -DWITH_VR32=OFF -Wno-dev >/dev/null
      cmake --build build >/dev/null
      cmake --install build >/dev/null )
    rm -rf "$work"
    echo "setup: built $out/soxr/bin/libsoxr.dll"
  fi
  if [ ! -f "$out/gtest/lib/libgtest.a" ]; then
    rm -rf "$out/gtest-build"
    cmake -S /usr/src/googletest -B "$out/gtest-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$out/gtest" -DBUILD_GMOCK=OFF -DCMAKE_CXX_FLAGS="$flags" >/dev/null
    cmake --build "$out/gtest-build" >/dev/null
    cmake --install "$out/gtest-build" >/dev/null
    rm -rf "$out/gtest-build"
    echo "setup: built googletest for $arch-w64-mingw32"
  fi
done
[ -n "$lame_source" ] && rm -rf "$lame_source"
[ -n "$soxr_source" ] && rm -rf "$soxr_source"
exit 0
