#!/usr/bin/env bash
# The Linux player against a sender whose clock runs 100 ppm fast, then one
# 100 ppm slow, each with the player's drift control and with it off
# (SONVALE_DRIFT_CONTROL=off): dropouts, flushes, and the latency at the start
# and the end and its drift per hour. Four runs of 10 minutes by default.
#
# usage: bench/run-drift.sh [--minutes N] [--ppm "P..."] [--player PATH]
#
# Runs in a network namespace of its own (the player's ports stay free for
# anyone else on the machine), with its own Xvfb display and PulseAudio server
# and null sink, whose monitor it records.
set -euo pipefail
minutes=10
ppms="100 -100"
player=""
while [ $# -gt 0 ]; do
  case $1 in
    --minutes) minutes=${2:?}; shift 2 ;;
    --ppm) ppms=${2:?}; shift 2 ;;
    --player) player=$(realpath "${2:?}"); shift 2 ;;
    *) echo "usage: $0 [--minutes N] [--ppm \"P...\"] [--player PATH]" >&2; exit 2 ;;
  esac
done
[[ $minutes =~ ^[1-9][0-9]*$ ]] || { echo "$0: --minutes takes a whole number" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

if [ -z "${SONVALE_DRIFT_BENCH_INSIDE:-}" ]; then
  ./scripts/setup.sh
  cmake --preset linux -DSONVALE_TESTS=ON >/dev/null
  cmake --build --preset linux --target sonvale drift_bench
  export SONVALE_DRIFT_BENCH_INSIDE=1
  # As root a plain network namespace; otherwise one inside a user namespace.
  if [ "$(id -u)" -eq 0 ]; then
    exec unshare -n "$0" --minutes "$minutes" --ppm "$ppms" ${player:+--player "$player"}
  fi
  exec unshare -rn "$0" --minutes "$minutes" --ppm "$ppms" ${player:+--player "$player"}
fi

ip link set lo up
scratch=$(mktemp -d /tmp/sonvale-drift-XXXXXX)
trap 'kill "$(cat "$scratch/runtime/pulse/pid" 2>/dev/null)" ${xvfb_pid:-} 2>/dev/null || true; rm -rf "$scratch"' EXIT
export HOME="$scratch" XDG_RUNTIME_DIR="$scratch/runtime" PULSE_SERVER="unix:$scratch/pulse.sock"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY
display=120
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
pulseaudio -D -n --exit-idle-time=-1 --disallow-exit -L "module-null-sink sink_name=out" \
    -L "module-native-protocol-unix socket=$scratch/pulse.sock" -L module-always-sink 2>/dev/null
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink out

# A quiet 1 kHz tone with a loud 10 ms marker every 5 s from 2.5 s on (the
# first frames go out ahead of time, so the first marker waits for the
# schedule), at 128 kbit/s.
seconds=$((minutes * 60))
sox -n -r 44100 -c 2 "$scratch/tone.wav" synth "$seconds" sine 1000 vol 0.1
sox -n -r 44100 -c 2 "$scratch/marker.wav" synth 0.01 sine 2000 vol 0.8 pad 2.5 2.49 repeat $((seconds / 5 - 1))
sox -m -v 1 "$scratch/tone.wav" -v 1 "$scratch/marker.wav" "$scratch/drift.wav"
lame --quiet -b 128 "$scratch/drift.wav" "$scratch/drift.mp3"
rm "$scratch"/*.wav

# shellcheck disable=SC2086  # one argument per drift
./build/linux/bin/drift_bench "${player:-./build/linux/bin/sonvale}" "$scratch/drift.mp3" $ppms
