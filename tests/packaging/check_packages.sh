#!/usr/bin/env bash
# Checks what scripts/package.sh left in dist/: one version in all of it, the
# .deb holding what it should and nothing else, its player playing a stream
# end to end headless from an unpacked copy, and the Windows installer and zip
# holding the shipped files. The installer's own run under Wine is in test.sh,
# which has the Wine prefixes. Needs build/linux (the end-to-end test) and, as
# that test does, a PulseAudio server of the run's own in PULSE_SERVER.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
cd "$here"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)
deb=dist/sonvale_${version}_amd64.deb
setup=dist/Sonvale-$version-setup.exe
zip=dist/Sonvale-$version-win32.zip
work=$(mktemp -d /tmp/sonvale-packages-XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "packages: $*" >&2; status=1; }

for file in "$deb" "$setup" "$zip"; do
  [ -f "$file" ] || { echo "packages: no $file; run scripts/package.sh" >&2; exit 1; }
done

# The version of CMake's project() line in the package, in the installer's
# version record and in that of the program it installs.
7z e -o"$work/setup" "$setup" Sonvale.exe lame_enc.dll libsoxr.dll sonvale-help.html licenses.txt uninstall.exe >/dev/null
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb is version $(dpkg-deb -f "$deb" Version)"
for exe in "$setup" "$work/setup/Sonvale.exe"; do
  for field in FileVersion ProductVersion; do
    found=$(7z l -tPE "$exe" | sed -n "s/^$field: //p")
    [ "$found" = "$version" ] || fail "$exe: $field is '$found'"
  done
done
# The zip holds exactly what the installer installs.
7z e -o"$work/zip" "$zip" >/dev/null
[ "$(LC_ALL=C ls "$work/zip")" = "$(printf 'Sonvale.exe\nlame_enc.dll\nlibsoxr.dll\nlicenses.txt\nsonvale-help.html')" ] || fail "$zip holds: $(ls "$work/zip")"
for file in Sonvale.exe lame_enc.dll libsoxr.dll sonvale-help.html licenses.txt; do
  cmp -s "$work/zip/$file" "$work/setup/$file" || fail "$file differs between the zip and the installer"
done
# The licence's whole text goes with the libraries it covers.
for text in lame_enc.dll libsoxr.dll "GNU LESSER GENERAL PUBLIC LICENSE" "END OF TERMS AND CONDITIONS"; do
  grep -q "$text" "$work/zip/licenses.txt" || fail "licenses.txt lacks \"$text\""
done

# Every file the .deb installs, and nothing beside them.
expected="/usr/bin/sonvale
/usr/bin/sonvale-send
/usr/lib/systemd/user/sonvale.service
/usr/share/applications/sonvale.desktop
/usr/share/doc/sonvale/changelog.gz
/usr/share/doc/sonvale/copyright
/usr/share/doc/sonvale/sonvale-help.html
/usr/share/icons/hicolor/128x128/apps/sonvale.png
/usr/share/icons/hicolor/16x16/apps/sonvale.png
/usr/share/icons/hicolor/32x32/apps/sonvale.png
/usr/share/icons/hicolor/48x48/apps/sonvale.png
/usr/share/icons/hicolor/64x64/apps/sonvale.png
/usr/share/man/man1/sonvale-send.1.gz
/usr/share/man/man1/sonvale.1.gz"
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | LC_ALL=C sort)
if [ "$listed" != "$(LC_ALL=C sort <<<"$expected")" ]; then
  fail "$deb holds other files than expected:"
  diff <(LC_ALL=C sort <<<"$expected") <(echo "$listed") >&2 || true
fi
root="$work/root"
dpkg -x "$deb" "$root"
# Built in a folder of package.sh's own, whose path must not end up in it.
if grep -rlF -e /tmp/sonvale-package- -e "$here" "$root"; then
  fail "files above hold the build's path"
fi

# The unpacked player, on the system's libraries alone, end to end.
SONVALE_E2E_LINUX_PLAYER="$root/usr/bin/sonvale" timeout --kill-after=10 120 build/linux/bin/playback_e2e_tests \
    --gtest_filter=RecordedPlayback.PlaysWhatWasSentBitForBitThenSilence ||
  fail "the packaged player did not play the streams"

[ $status = 0 ] && echo "packages: sonvale_${version}_amd64.deb, Sonvale-$version-setup.exe and Sonvale-$version-win32.zip checked"
exit $status
