#!/usr/bin/env bash
# Sets everything up on a fresh machine and runs the player on the demo
# package with the stand-in engine. With a display it opens a window; without
# one it runs under Xvfb for a few seconds and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target mervane-player standin

cd build/run
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec ../mervane-player -f=0 -w=800 -h=600 Demo-1.0.mvk
fi

shot="$(pwd)/demo-screenshot.png"
../../scripts/with-display.sh bash -c '
  ../mervane-player -f=0 -w=800 -h=600 Demo-1.0.mvk &
  player=$!
  sleep 4
  import -window root "$1"
  kill -TERM $player 2>/dev/null; wait $player 2>/dev/null || true
' _ "$shot"
echo "No display: ran the demo under Xvfb. Screenshot: $shot"
