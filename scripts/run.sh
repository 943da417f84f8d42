#!/usr/bin/env bash
# Installs what the Linux player needs, builds it and starts it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" --run-only
cd "$here"
cmake --preset linux -DSONVALE_TESTS=OFF >/dev/null
cmake --build --preset linux --target sonvale
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: Sonvale runs without a window; Ctrl+C ends it."
fi
exec "$here/build/linux/bin/sonvale"
