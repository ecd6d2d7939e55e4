#!/usr/bin/env bash
# Makes docs/about-box.png: the running program's about box, opened from its Help menu command,
# under a private Xvfb and Wine prefix. Needs the x86_64 build with tests (scripts/test makes it):
#   tests/about/screenshot.sh [build-dir]      (default: build/x86_64)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/x86_64}
helper="$build/tests/about/about_box_shot.exe"
program="$build/shell/Tallowbox.exe"
out="$root/docs/about-box.png"

. "$root/scripts/lib/wine-env.sh"
wine_env_start --private-display
work=$(mktemp -d /tmp/about-shot.XXXXXX)
trap 'rm -rf "$work"; wine_env_stop' EXIT
mkdir -p "$root/docs"
cp "$program" "$work/Tallowbox.exe" # backups would land beside the program: keep them out of the tree
(cd "$work" && "$WINE64" ./Tallowbox.exe >/dev/null 2>&1 &)
(cd "$work" && "$WINE64" "$helper" rect.txt)
read -r x y w h <"$work/rect.txt"
import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "wrote $out (${w}x${h})"
