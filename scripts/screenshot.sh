#!/usr/bin/env bash
# Makes docs/demo.png: the demo package in the player with the stand-in
# engine, under a private Xvfb server. Usage: scripts/screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
out="$(pwd)/docs/demo.png"

# Run from a neutral place so that the picture shows no build paths.
demo=$(mktemp -d /tmp/demo.XXXXXX)
trap 'rm -rf "$demo"' EXIT
cp -L "$build"/run/* "$demo"/
cp "$build/mervane-player" "$demo/"

env -u DISPLAY scripts/with-display.sh bash -c '
  cd "$1"
  ./mervane-player -f=0 -w=640 -h=400 Demo-1.0.mvk >/dev/null &
  player=$!
  sleep 3
  window=$(xdotool search --sync --onlyvisible --pid $player | head -1)
  import -window "$window" -colors 64 -strip "png8:$2"
  kill -TERM $player; wait $player 2>/dev/null || true
' _ "$demo" "$out"
echo "$out"
