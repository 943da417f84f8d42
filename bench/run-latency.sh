#!/usr/bin/env bash
# Latency and CPU of the Linux player (its window shown on an Xvfb display)
# beside ffplay and mpv, on a PulseAudio server and null sink of its own.
# Takes about seven minutes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
./scripts/setup.sh
missing=()
for p in ffmpeg mpv; do dpkg-query -W -f='${Status}' $p 2>/dev/null | grep -q 'install ok installed' || missing+=($p); done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
  sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
cmake --preset linux -DSONVALE_TESTS=ON >/dev/null
cmake --build --preset linux --target sonvale latency_bench

scratch=$(mktemp -d /tmp/sonvale-bench-XXXXXX)
trap 'kill "$(cat "$scratch/runtime/pulse/pid" 2>/dev/null)" ${xvfb_pid:-} 2>/dev/null || true; rm -rf "$scratch"' EXIT
export HOME="$scratch" XDG_RUNTIME_DIR="$scratch/runtime" PULSE_SERVER="unix:$scratch/pulse.sock"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY
display=120
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
sleep 1
pulseaudio -D -n --exit-idle-time=-1 --disallow-exit -L "module-null-sink sink_name=out" \
    -L "module-native-protocol-unix socket=$scratch/pulse.sock" -L module-always-sink 2>/dev/null
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink out

# 24 clicks, one a second, and a minute of noise at 320 kbit/s.
sox -n -r 44100 -c 2 "$scratch/click.wav" synth 0.01 sine 2000 pad 0.5 0.49 repeat 23
lame --quiet -b 128 "$scratch/click.wav" "$scratch/clicks.mp3"
sox -n -r 44100 -c 2 "$scratch/minute.wav" synth 60 pinknoise gain -6
lame --quiet -b 320 "$scratch/minute.wav" "$scratch/minute.mp3"

SDL_AUDIODRIVER=pulseaudio ./build/linux/bin/latency_bench ./build/linux/bin/sonvale \
    "$scratch/clicks.mp3" "$scratch/minute.mp3"
