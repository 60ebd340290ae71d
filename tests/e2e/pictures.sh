#!/usr/bin/env bash
# The built program started from a terminal in a folder of the user's, far
# from where it was built: "Manuales > Imágenes" shows every equipment
# picture under the pointer, with no error box, and the picture area fills.
set -euo pipefail
app=$1

source "$(dirname "$0")/e2elib.sh"
x11_session
mkdir -p "$HOME/some/folder"
fail() { echo "FAIL: $*"; import -window root "$work/../dedizivi-e2e-pictures-failure.png" 2>/dev/null || true; exit 1; }
window() { timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1; }
pixel() { import -window "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null | sed -n 's/.*#\([0-9A-F]\{6\}\).*/\1/p'; }

(cd "$HOME/some/folder" && exec "$app") >"$work/app.out" 2>&1 &
pids+=($!)
main=$(window '^DEDIZIVI  Ver. 3.4$') || fail "main window did not appear"
sleep 0.5
xdotool mousemove --window "$main" 630 280 click 1 # the window's background: focus, nothing else
sleep 0.3
xdotool key alt+m Up Return                        # Manuales > Imágenes, the last item
pics=$(window '^Aspecto de los equipos$') || fail "the pictures window did not appear"
sleep 0.5
blank=$(pixel "$pics" 326 185)

# Ten buttons in five rows of two, 97 by 73 each, from the top left corner.
for i in $(seq 0 9); do
  x=$(((i % 2) * 97 + 48)) y=$((i / 2 * 73 + 36))
  xdotool mousemove --window "$pics" "$x" "$y" sleep 0.2 mousemove --window "$pics" $((x + 2)) $((y + 1)) sleep 0.3
  if xdotool search --onlyvisible --name '^DEDIZIVI Ver\. 3\.4$' >/dev/null 2>&1; then
    fail "an error box came up over button $((i + 1)) (a picture was not found)"
  fi
done
[ "$(pixel "$pics" 326 185)" != "$blank" ] || fail "the picture area stayed empty"
echo "equipment pictures: all ten shown from a foreign working directory"
