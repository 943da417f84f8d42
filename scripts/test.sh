#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds every preset and runs every suite: the
# Linux player (plain and with sanitizers) on Xvfb, the Windows player under
# Wine. Exits non-zero if anything fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

"$here/scripts/setup.sh"

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
jobs=$(nproc)

build() {
  cmake --preset "$1" -DSONVALE_WERROR=$werror -DSONVALE_TESTS=ON >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

for preset in linux linux-asan win32 win64 fuzz; do
  echo "== build $preset"
  build "$preset"
done

# One private X display, Wine prefix and runtime folder for this run.
scratch=$(mktemp -d /tmp/sonvale-test-XXXXXX)
chmod 700 "$scratch"
cleanup() {
  [ -f "$scratch/runtime/pulse/pid" ] && kill "$(cat "$scratch/runtime/pulse/pid")" 2>/dev/null || true
  [ -n "${WINEPREFIX:-}" ] && WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export WINEDEBUG=-all

# A sound server of our own with a null sink: the players' default output, and
# its monitor is what the end-to-end tests record.
export HOME="$scratch/home" PULSE_SERVER="unix:$scratch/pulse.sock"
mkdir -p "$HOME"
pulseaudio -D -n --exit-idle-time=-1 --disallow-exit --log-target=file:"$scratch/pulse.log" \
    -L "module-null-sink sink_name=out" -L "module-native-protocol-unix socket=$scratch/pulse.sock" \
    -L module-always-sink 2>/dev/null
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink out
status=0
run_suite() {
  echo "== tests $1"
  # Wine suites one test at a time (their programs share one Wine server).
  local parallel=$jobs
  case $1 in win*) parallel=1 ;; esac
  ctest --preset "$1" -j "$parallel" || status=1
}

run_suite linux
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$here/tests/lsan.supp run_suite linux-asan

# A minute of coverage-guided fuzzing of the packet handler, from the small
# corpus in the repository (new finds stay in the scratch folder).
echo "== fuzz packet handler, 60 s"
mkdir "$scratch/corpus"
cp tests/fuzz/corpus/* "$scratch/corpus/"
./build/fuzz/bin/packet_handler_fuzz -max_total_time=60 -print_final_stats=1 "$scratch/corpus" \
    >"$scratch/fuzz.log" 2>&1 || { tail -n 60 "$scratch/fuzz.log"; status=1; }
grep -E '^(Done|stat::number_of_executed_units)' "$scratch/fuzz.log" || true

# Wine: the 64-bit build of the same sources always runs; the shipped 32-bit
# build runs where the kernel executes 32-bit programs (some virtual machines
# have IA-32 emulation switched off, and wine32 cannot start there).
start_wine() {
  export WINEPREFIX="$scratch/wine-$1" WINEARCH=$1
  wineboot -i >/dev/null 2>&1
  # One server for the whole suite, started once wineboot's has gone: Wine
  # programs started together would otherwise race to start it.
  wineserver -w
  wineserver -p
  sleep 1
}
( export WINELOADER=/usr/lib/wine/wine64
  start_wine win64
  run_suite win64
  # The Windows player end to end. Wine's own mixer now and then drops a few
  # milliseconds when the machine is busy (seen in about one run in four,
  # with the samples around the hole intact), so a clean run of three will do.
  echo "== tests win64 end to end"
  passed=0
  for attempt in 1 2 3; do
    if SONVALE_E2E_PLAYER="/usr/lib/wine/wine64 $here/build/win64/bin/Sonvale.exe" SONVALE_E2E_TOLERANCE=4 \
        ./build/linux/bin/playback_e2e_tests; then
      passed=1
      break
    fi
    echo "attempt $attempt failed"
  done
  [ $passed = 1 ] || status=1
  exit $status ) || status=1

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  ( start_wine win32
    run_suite win32
    exit $status ) || status=1
else
  echo "== tests win32: this kernel runs no 32-bit code; checking the executable and its meter code only"
  ctest --preset win32 -R "executable_imports|meter_arithmetic_is_sse2" || status=1
fi

if [ $status -ne 0 ]; then
  echo "== some suites failed"
fi
exit $status
