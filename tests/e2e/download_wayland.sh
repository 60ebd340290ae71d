#!/usr/bin/env bash
# A first download under Wayland, as a newcomer makes it: the program started
# with the simulator as its port for this run (no setup dialog), a model, open
# and close the download, save the data file, leave. The saved file must equal
# the command-line conversion of the same stream, the stored port settings must
# stay byte for byte as they were, and no window may offer a maximise that ends
# the program.
#
# The compositor is weston's kiosk shell inside a private Xvfb: it centres each
# window in its 1000x700 output, so the program's client coordinates are
# known, and xdotool's clicks and keys on that X display reach the Wayland
# client. Needs Xvfb, weston, xdotool, ImageMagick and Qt's Wayland plugin
# (qt6-wayland); skips only without the tools, and never in CI.
set -euo pipefail
app=$1 sim=$2 cli=$3

for tool in Xvfb weston xdotool import; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing: no Wayland end-to-end run (tools/run-tests installs it)"
    # CI installs everything: there a missing tool is a failure, not a skip.
    [ "${CI:-}" = "true" ] && exit 1
    exit 77
  fi
done
if ! dpkg-query -W -f='${Status}' qt6-wayland 2>/dev/null | grep -q "install ok installed"; then
  echo "Qt's Wayland plugin (qt6-wayland) is missing: no Wayland end-to-end run"
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
fi

work=$(mktemp -d)
run=$work/run
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$run
mkdir -p "$HOME" "$XDG_CONFIG_HOME/dedizivi" "$run" && chmod 700 "$run"
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
shots=${DZ_E2E_SHOTS:-}
shot() { [ -n "$shots" ] && import -window root "$shots/wayland-$1.png" 2>/dev/null || true; }
fail() {
  echo "FAIL: $*"
  import -window root "$work/../dedizivi-e2e-wayland-failure.png" 2>/dev/null || true
  sed 's/^/  program: /' "$work/app.out" 2>/dev/null | tail -n 20 || true
  exit 1
}

# A display of our own, on the first free number of the list.
display=
for n in ${DZ_E2E_WAYLAND_DISPLAYS:-$(seq 180 219)}; do
  [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    [ -S "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$xvfb" 2>/dev/null && [ -S "/tmp/.X11-unix/X$n" ]; then
    pids+=("$xvfb")
    display=:$n
    break
  fi
done
[ -n "$display" ] || fail "no free X display for the compositor"
export DISPLAY=$display

socket=wayland-dz-$$
weston --backend=x11-backend.so --shell=kiosk-shell.so --use-pixman --width=1000 --height=700 \
  --socket="$socket" >"$work/weston.out" 2>&1 &
pids+=($!)
for _ in $(seq 200); do [ -S "$run/$socket" ] && break; sleep 0.05; done
[ -S "$run/$socket" ] || { cat "$work/weston.out"; fail "weston did not start"; }

# Stored settings of another port, to be left exactly as they are.
store=$XDG_CONFIG_HOME/dedizivi/HKEY_LOCAL_MACHINE.reg
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\vexa\\ComPort]\r\n"Port"="/dev/ttyUSB7"\r\n"BaudRate"="9600"\r\n' >"$store"
cp "$store" "$work/store.before"

source "$(dirname "$0")/e2elib.sh"
stream=$work/card.txt
write_card "$stream"
start_logger "$stream" "$run/logger"

(cd "$(dirname "$app")" && WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland exec "$app" --port "$run/logger") \
  >"$work/app.out" 2>&1 &
app_pid=$!
pids+=($app_pid)

# The kiosk shell centres the main window: 639 wide, and 26 (the program's own
# title bar) + the menu bar + 412 high. Its top left is found on the screen.
pixel() { import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | sed -n 's/.*#\([0-9A-F]\{6\}\).*/\1/p'; }
x0=$(((1000 - 639) / 2))
y0=
for _ in $(seq 200); do
  kill -0 "$app_pid" 2>/dev/null || fail "the program ended at start-up"
  for y in $(seq 100 140); do
    if [ "$(pixel $((x0 + 320)) "$y")" != 000000 ]; then y0=$y; break; fi
  done
  [ -n "$y0" ] && break
  sleep 0.1
done
[ -n "$y0" ] || fail "no window on the screen"
sleep 1 # the first frame is drawn
shot main
top=$((y0 + 26)) # client coordinates as under X11: menu bar first
click() { xdotool mousemove $((x0 + $1)) $((top + $2)) sleep 0.2 click 1; }
menu() { click "$1" 8; sleep 0.5; xdotool key "$2"; }

# Model 0, then open and close the download.
click 450 30
sleep 0.5
xdotool key Home Return
sleep 0.3
click 100 30
sleep 3
shot downloading
click 100 30
sleep 1
kill -0 "$app_pid" 2>/dev/null || fail "the program ended during the download"
shot converted

# Archivos > Guardar datos descargados.
save_and_compare "$stream"
shot saved

# A double click on the title bar, where Qt's own bar would maximise: the
# program stays, and its window keeps its place and size.
xdotool mousemove $((x0 + 320)) $((y0 + 12)) click --repeat 2 --delay 80 1
sleep 1
kill -0 "$app_pid" 2>/dev/null || fail "the program ended after a double click on its title bar"
[ "$(pixel $((x0 + 320)) $((y0 - 2)))" = 000000 ] || fail "the window grew"

# Archivos > Salir ends the program; the stored settings are as they were.
menu 30 s
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "program still running after Salir"
wait "$app_pid" || fail "program ended with status $? after Salir"
cmp "$store" "$work/store.before" || fail "the stored port settings changed"
grep -q 'protocol error\|Protocol error' "$work/app.out" && fail "Wayland protocol error"
echo "end-to-end download under Wayland: saved file equals the conversion of the stream, settings untouched"
