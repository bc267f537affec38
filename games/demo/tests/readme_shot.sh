#!/bin/sh
# Remakes docs/house.png, the README's picture of Tovi's room: builds the
# demo, plays it headless with tests/playthrough.in and converts the shot it
# takes of the room. BUILD names the build directory (build/release).
set -eu
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=${BUILD:-$root/build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

"$build/tvkit" game build "$work/game" "$root/games/demo"
mkdir "$work/run"
# The shots land in the game folder.
TARVOLIN_PLATFORM=headless TARVOLIN_DIR="$work/game" TARVOLIN_SEED=1 \
  TARVOLIN_INPUT="$root/games/demo/tests/playthrough.in" XDG_RUNTIME_DIR="$work/run" \
  "$build/tarvolin"
mkdir -p "$root/docs"
convert "$work/game/house.bmp" -strip "$root/docs/house.png"
echo "wrote $root/docs/house.png"
